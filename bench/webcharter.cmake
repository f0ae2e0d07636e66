# Crawler benchmark against wget and linkchecker: run bench/webcharter/run.sh by hand,
# or build the target below, which runs it with the sm of this build.
if(TARGET sm)
  add_custom_target(bench_webcharter
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/webcharter/run.sh $<TARGET_FILE:sm>
    DEPENDS sm USES_TERMINAL)
endif()
