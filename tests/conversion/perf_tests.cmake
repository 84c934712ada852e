# Tests of the fast path: FFmpeg's decoder inside libheif, and the direct
# YCbCr route from HEVC tiles into the JPEG.
tessavo_add_gtest(test_avcodec_decoder test_avcodec_decoder.cpp)
target_link_libraries(test_avcodec_decoder PRIVATE PkgConfig::LIBHEIF)

tessavo_add_gtest(test_direct_ycbcr test_direct_ycbcr.cpp ${CMAKE_SOURCE_DIR}/tests/support/grid_heic.cpp)
