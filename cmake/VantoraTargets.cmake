# Helpers for the subsystem folders.

# A fuzzing build instruments everything it compiles, not only the harnesses:
# coverage counters for libFuzzer and the address and undefined-behaviour
# checks in the libraries under test, with assertions left on. Only the
# harness programs link libFuzzer's main.
if(VANTORA_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "VANTORA_FUZZ needs clang (CMAKE_CXX_COMPILER=clang++)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -UNDEBUG)
  add_link_options(-fsanitize=address,undefined)
  foreach(config RELEASE RELWITHDEBINFO MINSIZEREL)
    string(REPLACE "-DNDEBUG" "" CMAKE_CXX_FLAGS_${config} "${CMAKE_CXX_FLAGS_${config}}")
    string(REPLACE "-DNDEBUG" "" CMAKE_C_FLAGS_${config} "${CMAKE_C_FLAGS_${config}}")
  endforeach()
endif()

# vantora_qt_subsystem(name LOGIC_LIBS ... UI_LIBS ...)
# The folder's *.cpp/*.h become the logic library vantora_<name> (no widgets);
# its ui/*.cpp/*.h, when there are any, the widgets library vantora_<name>_ui
# on top of it.
function(vantora_qt_subsystem name)
  cmake_parse_arguments(S "" "" "LOGIC_LIBS;UI_LIBS" ${ARGN})
  file(GLOB logic CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  add_library(vantora_${name} STATIC ${logic})
  set_target_properties(vantora_${name} PROPERTIES AUTOMOC ON)
  target_include_directories(vantora_${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(vantora_${name} PUBLIC ${S_LOGIC_LIBS})
  file(GLOB ui CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/ui/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/ui/*.h)
  if(ui)
    add_library(vantora_${name}_ui STATIC ${ui})
    set_target_properties(vantora_${name}_ui PROPERTIES AUTOMOC ON)
    target_include_directories(vantora_${name}_ui PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/ui)
    target_link_libraries(vantora_${name}_ui PUBLIC vantora_${name} Qt6::Widgets ${S_UI_LIBS})
  endif()
endfunction()

# vantora_fuzz_target(name source LIBS ...): a libFuzzer program, built only
# with -DVANTORA_FUZZ=ON and clang; the libraries it links are instrumented
# by the options above.
function(vantora_fuzz_target name source)
  if(NOT VANTORA_FUZZ)
    return()
  endif()
  cmake_parse_arguments(F "" "" "LIBS" ${ARGN})
  add_executable(${name} ${source})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE ${F_LIBS})
endfunction()
