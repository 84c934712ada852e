tessavo_add_gtest(test_heif_properties test_heif_properties.cpp)
tessavo_add_gtest(test_convert_file test_convert_file.cpp)

tessavo_add_gtest(test_tessavo_convert test_tessavo_convert.cpp)
add_dependencies(test_tessavo_convert tessavo-convert)
target_compile_definitions(test_tessavo_convert PRIVATE
  TESSAVO_CONVERT="$<TARGET_FILE:tessavo-convert>" TESSAVO_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data")

tessavo_add_gtest(test_colour test_colour.cpp)
target_link_libraries(test_colour PRIVATE PkgConfig::LCMS2)
target_compile_definitions(test_colour PRIVATE TESSAVO_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data")
