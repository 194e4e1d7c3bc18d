# kmr-broker-sim, run as a real process, against a QuickFIX initiator inside the test.
file(GLOB KMR_SIM_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/sim_*_test.cpp)
add_executable(sim_tests ${KMR_SIM_TEST_SOURCES} ${CMAKE_CURRENT_SOURCE_DIR}/sim_peer.cpp
               ${CMAKE_CURRENT_SOURCE_DIR}/sim_peer_tls.cpp)
target_link_libraries(sim_tests PRIVATE kmr_sim GTest::gtest_main)
add_dependencies(sim_tests kmr-broker-sim)
target_compile_definitions(sim_tests PRIVATE
  KMR_BROKER_SIM_PROGRAM="$<TARGET_FILE:kmr-broker-sim>"
  KMR_FIX44_XML="${KMR_FIX44_DICTIONARY}")
gtest_discover_tests(sim_tests PROPERTIES ENVIRONMENT "TZ=Europe/Zurich" DISCOVERY_TIMEOUT 30)
