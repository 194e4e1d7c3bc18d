# kmr-live: its core without a session, and end to end against kmr-broker-sim.
if(TARGET kmr_live_host)
  add_executable(live_host_tests ${CMAKE_CURRENT_LIST_DIR}/host_core_test.cpp)
  target_include_directories(live_host_tests PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(live_host_tests PRIVATE kmr_live_host GTest::gtest_main)
  gtest_discover_tests(live_host_tests DISCOVERY_TIMEOUT 30)
endif()
