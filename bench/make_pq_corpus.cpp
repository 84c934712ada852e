// Writes 12-megapixel 10-bit HDR HEICs (nclx BT.2020 primaries and matrix,
// PQ transfer) like an HDR phone photo: a sky and textured ground around
// reference white, and highlights up to about 1000 cd/m2.
//
// usage: make_pq_corpus OUT_DIR COUNT [FIRST_SEED]
#include "conversion/core/base/owners.h"
#include "transfer_curves.h"

#include <libheif/heif.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

constexpr int kWidth = 4032, kHeight = 3024;

// Display light in cd/m2 to a 10-bit PQ code.
uint16_t pqCode(double nits) { return uint16_t(std::lround(1023 * tessavo::testsupport::pqSignal(nits / 203))); }

// The scene's light at (x, y) in cd/m2, per channel.
void scene(int x, int y, int seed, double out[3])
{
    const double u = double(x) / kWidth, v = double(y) / kHeight;
    const double texture = 0.5 + 0.25 * std::sin(x * 0.05 + seed) * std::sin(y * 0.07) + 0.25 * std::sin((x + 2 * y) * 0.011 * seed);
    const double sun = 900 * std::exp(-(std::pow(u - 0.3 - 0.05 * seed, 2) + std::pow(v - 0.2, 2)) * 200);
    const double sky = v < 0.45 ? 120 + 200 * (0.45 - v) : 0;
    const double ground = v >= 0.45 ? 20 + 150 * texture * (1 - v) : 0;
    const double glints = (x * 7 + y * 13 + seed) % 997 == 0 ? 600 : 0;
    out[0] = sky * 0.8 + ground * 1.1 + sun + glints;
    out[1] = sky * 0.9 + ground * 0.9 + sun * 0.95 + glints;
    out[2] = sky * 1.2 + ground * 0.6 + sun * 0.8 + glints;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: make_pq_corpus OUT_DIR COUNT [FIRST_SEED]\n");
        return 2;
    }
    using namespace tessavo;
    const std::filesystem::path dir = argv[1];
    std::filesystem::create_directories(dir);
    const int count = std::atoi(argv[2]), first = argc > 3 ? std::atoi(argv[3]) : 1;
    heif_init(nullptr);
    for (int seed = first; seed < first + count; ++seed) {
        Owned<heif_image> image;
        heif_image_create(kWidth, kHeight, heif_colorspace_RGB, heif_chroma_interleaved_RRGGBB_LE, into(image));
        heif_image_add_plane(image.get(), heif_channel_interleaved, kWidth, kHeight, 10);
        int stride = 0;
        uint8_t* plane = heif_image_get_plane(image.get(), heif_channel_interleaved, &stride);
        for (int y = 0; y < kHeight; ++y) {
            auto* row = reinterpret_cast<uint16_t*>(plane + size_t(y) * size_t(stride));
            for (int x = 0; x < kWidth; ++x) {
                double light[3];
                scene(x, y, seed, light);
                for (int c = 0; c < 3; ++c)
                    row[x * 3 + c] = pqCode(light[c]);
            }
        }
        const Owned<heif_color_profile_nclx> nclx = heifNclxProfile();
        nclx->color_primaries = heif_color_primaries_ITU_R_BT_2020_2_and_2100_0;
        nclx->transfer_characteristics = heif_transfer_characteristic_ITU_R_BT_2100_0_PQ;
        nclx->matrix_coefficients = heif_matrix_coefficients_ITU_R_BT_2020_2_non_constant_luminance;
        nclx->full_range_flag = 1;
        heif_image_set_nclx_color_profile(image.get(), nclx.get());
        const Owned<heif_context> context = heifContext();
        Owned<heif_encoder> encoder;
        heif_context_get_encoder_for_format(context.get(), heif_compression_HEVC, into(encoder));
        heif_encoder_set_lossy_quality(encoder.get(), 60);
        heif_encoder_set_parameter(encoder.get(), "preset", "fast");
        heif_encoder_set_parameter(encoder.get(), "chroma", "420");
        char name[32];
        std::snprintf(name, sizeof name, "PQ_%04d.HEIC", seed);
        const Owned<heif_encoding_options> options = heifEncodingOptions();
        // libheif leaves the nclx box out by default, for old Apple readers.
        options->macOS_compatibility_workaround_no_nclx_profile = 0;
        options->output_nclx_profile = nclx.get();
        if (heif_context_encode_image(context.get(), image.get(), encoder.get(), options.get(), nullptr).code ||
            heif_context_write_to_file(context.get(), (dir / name).c_str()).code) {
            std::fprintf(stderr, "make_pq_corpus: %s not written\n", name);
            return 1;
        }
        std::printf("%s\n", (dir / name).c_str());
    }
    return 0;
}
