# Tests of the fast path: FFmpeg's decoder inside libheif, and the direct
# YCbCr route from HEVC tiles into the JPEG against libheif's RGB route.
tessavo_add_gtest(test_avcodec_decoder test_avcodec_decoder.cpp)
target_link_libraries(test_avcodec_decoder PRIVATE PkgConfig::LIBHEIF)

tessavo_add_gtest(test_route_fidelity test_route_fidelity.cpp)
target_compile_definitions(test_route_fidelity PRIVATE TESSAVO_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data")
