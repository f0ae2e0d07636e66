# Link scores of a large site beside a peer PageRank (networkx, when python3
# has it): bench/health/run.sh.
add_executable(bench_link_score ${CMAKE_CURRENT_LIST_DIR}/health/LinkScoreBench.cpp)
target_compile_definitions(bench_link_score PRIVATE
  VANTORA_PEER_SCRIPT="${CMAKE_CURRENT_LIST_DIR}/health/peer_pagerank.py")
target_link_libraries(bench_link_score PRIVATE vantora_health)

# The site-health checks over the facts of a generated 1,000,000-page crawl,
# beside python3 reading the same file: bench/health/run.sh checks.
add_executable(bench_health_checks ${CMAKE_CURRENT_LIST_DIR}/health/ChecksBench.cpp)
target_link_libraries(bench_health_checks PRIVATE vantora_health)
