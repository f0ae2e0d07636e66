# Link scores of a large site beside a peer PageRank (networkx, when python3
# has it): bench/health/run.sh.
add_executable(bench_link_score ${CMAKE_CURRENT_LIST_DIR}/health/LinkScoreBench.cpp)
target_compile_definitions(bench_link_score PRIVATE
  VANTORA_PEER_SCRIPT="${CMAKE_CURRENT_LIST_DIR}/health/peer_pagerank.py")
target_link_libraries(bench_link_score PRIVATE vantora_health)
