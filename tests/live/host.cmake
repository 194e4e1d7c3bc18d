# kmr-live: its core without a session, and end to end against kmr-broker-sim.
if(TARGET kmr_live_host)
  add_executable(live_host_tests ${CMAKE_CURRENT_LIST_DIR}/host_core_test.cpp)
  target_include_directories(live_host_tests PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(live_host_tests PRIVATE kmr_live_host GTest::gtest_main)
  gtest_discover_tests(live_host_tests DISCOVERY_TIMEOUT 30)
endif()

if(TARGET kmr-live AND TARGET kmr-broker-sim)
  add_executable(live_run_tests ${CMAKE_CURRENT_LIST_DIR}/live_run_test.cpp
                                ${CMAKE_CURRENT_LIST_DIR}/live_process.cpp)
  target_include_directories(live_run_tests PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(live_run_tests PRIVATE GTest::gtest_main)
  add_dependencies(live_run_tests kmr-live kmr-broker-sim kmr-replay KMRLibrary)
  target_compile_definitions(live_run_tests PRIVATE
    KMR_LIVE_PROGRAM="$<TARGET_FILE:kmr-live>"
    KMR_BROKER_SIM_PROGRAM="$<TARGET_FILE:kmr-broker-sim>"
    KMR_REPLAY_PROGRAM="$<TARGET_FILE:kmr-replay>"
    KMR_ENGINE_LIBRARY="$<TARGET_FILE:KMRLibrary>"
    KMR_FIX44="${KMR_FIX44_DICTIONARY}"
    KMR_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data")
  gtest_discover_tests(live_run_tests PROPERTIES ENVIRONMENT "TZ=Europe/Zurich;KMR_NO_WINDOW=1"
                       DISCOVERY_TIMEOUT 30)
endif()
