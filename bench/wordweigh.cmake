# Wordweigh beside the peer keyphrase analysis: bench/wordweigh/run.sh builds
# the page set, installs the peer with npm and runs bench_wordweigh.
add_executable(bench_wordweigh ${CMAKE_CURRENT_LIST_DIR}/wordweigh/CompareBench.cpp)
target_compile_definitions(bench_wordweigh PRIVATE
  VANTORA_PEER_DIR="${CMAKE_CURRENT_LIST_DIR}/wordweigh")
target_link_libraries(bench_wordweigh PRIVATE vantora_server_core)
