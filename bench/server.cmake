# Wordweigh answers per second through vantora-server beside the bare fetch.
add_executable(bench_server ${CMAKE_CURRENT_LIST_DIR}/server/ServerBench.cpp)
target_link_libraries(bench_server PRIVATE vantora_server_core PkgConfig::HTTPLIB Threads::Threads)
add_dependencies(bench_server vantora-server)
target_compile_definitions(bench_server PRIVATE
  VANTORA_PEER_DIR="${CMAKE_CURRENT_LIST_DIR}/wordweigh")
