# Fakes of the platform seams and helpers shared by the Qt tests; included by
# each test folder that needs them.
include_guard(GLOBAL)

add_library(tessavo_testsupport_qt STATIC
  ${CMAKE_CURRENT_LIST_DIR}/fake_platform.h ${CMAKE_CURRENT_LIST_DIR}/file_list_columns.h ${CMAKE_CURRENT_LIST_DIR}/held_pool.h
  ${CMAKE_CURRENT_LIST_DIR}/stdout_capture.h ${CMAKE_CURRENT_LIST_DIR}/stdout_capture.cpp
  ${CMAKE_CURRENT_LIST_DIR}/bookmark_rows.h ${CMAKE_CURRENT_LIST_DIR}/bookmark_rows.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_files.h ${CMAKE_CURRENT_LIST_DIR}/test_files.cpp
)
target_include_directories(tessavo_testsupport_qt PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(tessavo_testsupport_qt PUBLIC tessavo_gui tessavo_testsupport tessavo_console Qt6::Test)
