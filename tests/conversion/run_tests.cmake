include(${CMAKE_CURRENT_LIST_DIR}/../support_qt/support_qt.cmake)

tessavo_add_qtest(test_conversion_run test_conversion_run.cpp)
target_link_libraries(test_conversion_run PRIVATE tessavo_testsupport_qt)
