# Rendering benchmark (script-built site with --render=on beside the same site
# pre-rendered, and --render=auto on an ordinary site beside off): run
# bench/render/run.py by hand, or build the target below.
if(TARGET sm)
  add_custom_target(bench_render
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/render/run.py $<TARGET_FILE:sm> 1000
    DEPENDS sm USES_TERMINAL)
endif()
