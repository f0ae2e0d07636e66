# Report writing: lines appended into a shown report view.
if(TARGET vantora_reports_ui)
  add_executable(bench_report_view ${CMAKE_CURRENT_LIST_DIR}/reports/BenchReportView.cpp)
  target_link_libraries(bench_report_view PRIVATE vantora_reports_ui)
endif()
