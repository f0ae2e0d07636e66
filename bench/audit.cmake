# Audit: the whole report over a large project beside the plain index build
# and the plain latest-record scan.
if(TARGET vantora_audit)
  add_executable(bench_audit ${CMAKE_CURRENT_LIST_DIR}/audit/BenchAudit.cpp)
  target_link_libraries(bench_audit PRIVATE vantora_audit)
endif()
