# Project file write and read throughput on a large project.
add_executable(bench_project ${CMAKE_CURRENT_LIST_DIR}/project/BenchProjectFile.cpp)
target_link_libraries(bench_project PRIVATE vantora_project)
