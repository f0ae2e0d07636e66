# Site map tree: build times of large maps and a large selection change.
if(TARGET vantora_sitemap_ui)
  add_executable(bench_sitemap ${CMAKE_CURRENT_LIST_DIR}/sitemap/BenchSiteMap.cpp)
  target_link_libraries(bench_sitemap PRIVATE vantora_sitemap_ui)
endif()
