# Wordweigh answers per second through vantora-server beside the bare fetch.
add_executable(bench_server ${CMAKE_CURRENT_LIST_DIR}/server/ServerBench.cpp)
target_link_libraries(bench_server PRIVATE vantora_server_core PkgConfig::HTTPLIB Threads::Threads)
add_dependencies(bench_server vantora-server)
target_compile_definitions(bench_server PRIVATE
  VANTORA_PEER_DIR="${CMAKE_CURRENT_LIST_DIR}/wordweigh")

# The costly pages: each answer's time and the server's peak memory.
add_executable(bench_server_limits ${CMAKE_CURRENT_LIST_DIR}/server/LimitsBench.cpp)
target_include_directories(bench_server_limits PRIVATE ${PROJECT_SOURCE_DIR}/tests/server)
target_link_libraries(bench_server_limits PRIVATE vantora_server_core PkgConfig::HTTPLIB
  Threads::Threads)
add_dependencies(bench_server_limits vantora-server)

# The server's resident memory over a long run with a hostile share.
add_executable(bench_server_memory ${CMAKE_CURRENT_LIST_DIR}/server/MemoryBench.cpp)
target_link_libraries(bench_server_memory PRIVATE PkgConfig::HTTPLIB Threads::Threads)
add_dependencies(bench_server_memory vantora-server)

# A team's deployment: one server alone, one and two behind nginx, sharing
# a PostgreSQL link index, in the same run.
add_executable(bench_server_team ${CMAKE_CURRENT_LIST_DIR}/server/TeamBench.cpp)
target_include_directories(bench_server_team PRIVATE ${PROJECT_SOURCE_DIR}/tests/server)
target_link_libraries(bench_server_team PRIVATE Qt6::Core PkgConfig::HTTPLIB Threads::Threads)
add_dependencies(bench_server_team vantora-server)
target_compile_definitions(bench_server_team PRIVATE VANTORA_BIN_DIR="${VANTORA_BIN_DIR}"
  VANTORA_NGINX_SITE="${PROJECT_SOURCE_DIR}/server/vantora-nginx.conf")
