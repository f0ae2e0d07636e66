# The whole program on a large site: crawl, keep, show, select, save, open.
if(TARGET vantora_app)
  add_executable(bench_program ${CMAKE_CURRENT_LIST_DIR}/program/BenchProgram.cpp)
  target_link_libraries(bench_program PRIVATE vantora_app)
endif()
