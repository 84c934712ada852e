// Writes the samples of tests/data: flat 16x16 patches coded with libheif's
// encoder, described only by an nclx colour box,
//   make_colour_samples OUTPUT_DIR
// or with Exif and XMP (from files, as `exiftool -b -Exif` and `-XMP` give
// them) and an orientation (EXIF numbering) written as irot/imir:
//   make_colour_samples OUTPUT.heic ORIENTATION EXIF [XMP]
#include "conversion/core/owners.h"

#include <libheif/heif.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace tessavo;

using Patch = std::array<double, 3>; // signal values 0..1

void check(heif_error error, const char* what)
{
    if (error.code != heif_error_Ok)
        throw std::runtime_error(std::string(what) + ": " + error.message);
}

heif_error append(heif_context*, const void* data, size_t size, void* target)
{
    auto* out = static_cast<std::ofstream*>(target);
    out->write(static_cast<const char*>(data), std::streamsize(size));
    return {heif_error_Ok, heif_suberror_Unspecified, "ok"};
}

struct Extras {
    int orientation = 1;
    std::vector<char> exif, xmp;
};

std::vector<char> readFile(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes{std::istreambuf_iterator<char>(in), {}};
    if (!in.good() && !in.eof())
        throw std::runtime_error(std::string("cannot read ") + path);
    return bytes;
}

// Four patches a row.
void write(const std::filesystem::path& path, const std::vector<Patch>& patches, int bitDepth, int primaries,
           int transfer, int matrix, const Extras& extras = {})
{
    const int columns = 4, rows = int(patches.size() + 3) / 4, side = 16;
    const int width = columns * side, height = rows * side, top = (1 << bitDepth) - 1;
    Owned<heif_image> image;
    check(heif_image_create(width, height, heif_colorspace_RGB, heif_chroma_444, into(image)), "create");
    const heif_channel channels[] = {heif_channel_R, heif_channel_G, heif_channel_B};
    for (int c = 0; c < 3; ++c) {
        check(heif_image_add_plane(image.get(), channels[c], width, height, bitDepth), "plane");
        int stride = 0;
        uint8_t* plane = heif_image_get_plane(image.get(), channels[c], &stride);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const size_t index = size_t(y / side * columns + x / side);
                const double value = index < patches.size() ? patches[index][size_t(c)] : 0.0;
                const int level = int(std::lround(value * top));
                if (bitDepth > 8)
                    reinterpret_cast<uint16_t*>(plane + size_t(y) * size_t(stride))[x] = uint16_t(level);
                else
                    plane[size_t(y) * size_t(stride) + size_t(x)] = uint8_t(level);
            }
        }
    }
    const Owned<heif_color_profile_nclx> nclx = heifNclxProfile();
    check(heif_nclx_color_profile_set_color_primaries(nclx.get(), uint16_t(primaries)), "primaries");
    check(heif_nclx_color_profile_set_transfer_characteristics(nclx.get(), uint16_t(transfer)), "transfer");
    check(heif_nclx_color_profile_set_matrix_coefficients(nclx.get(), uint16_t(matrix)), "matrix");
    nclx->full_range_flag = 1;
    check(heif_image_set_nclx_color_profile(image.get(), nclx.get()), "nclx");

    const Owned<heif_context> context = heifContext();
    Owned<heif_encoder> encoder;
    check(heif_context_get_encoder_for_format(context.get(), heif_compression_HEVC, into(encoder)), "encoder");
    check(heif_encoder_set_lossy_quality(encoder.get(), 95), "quality");
    const Owned<heif_encoding_options> options = heifEncodingOptions();
    // libheif leaves the nclx box out by default, for old Apple readers.
    options->macOS_compatibility_workaround_no_nclx_profile = 0;
    options->output_nclx_profile = nclx.get();
    options->image_orientation = heif_orientation(extras.orientation);
    Owned<heif_image_handle> handle;
    check(heif_context_encode_image(context.get(), image.get(), encoder.get(), options.get(), into(handle)), "encode");
    if (!extras.exif.empty())
        check(heif_context_add_exif_metadata(context.get(), handle.get(), extras.exif.data(), int(extras.exif.size())),
              "exif");
    if (!extras.xmp.empty())
        check(heif_context_add_XMP_metadata(context.get(), handle.get(), extras.xmp.data(), int(extras.xmp.size())),
              "xmp");

    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    heif_writer writer{1, append};
    check(heif_context_write(context.get(), &writer, &file), "write");
    if (!file.flush())
        throw std::runtime_error("cannot write " + path.string());
}

double pqSignal(double nits)
{
    const double m1 = 2610.0 / 16384, m2 = 2523.0 / 4096 * 128;
    const double c1 = 3424.0 / 4096, c2 = 2413.0 / 4096 * 32, c3 = 2392.0 / 4096 * 32;
    const double y = std::pow(nits / 10000, m1);
    return std::pow((c1 + c2 * y) / (1 + c3 * y), m2);
}

Patch pq(double nits, Patch ratio = {1, 1, 1})
{
    return {pqSignal(nits * ratio[0]), pqSignal(nits * ratio[1]), pqSignal(nits * ratio[2])};
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2 && argc != 4 && argc != 5) {
        std::fprintf(stderr, "usage: make_colour_samples OUTPUT_DIR\n"
                             "       make_colour_samples OUTPUT.heic ORIENTATION EXIF [XMP]\n");
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    try {
        heif_init(nullptr);
        if (argc > 2) {
            const Extras extras{std::stoi(argv[2]), readFile(argv[3]), argc > 4 ? readFile(argv[4]) : std::vector<char>{}};
            write(argv[1], {{0.9, 0.2, 0.1}, {0.2, 0.7, 0.2}, {0.1, 0.3, 0.8}, {0.9, 0.9, 0.9}, {0.5, 0.5, 0.5}}, 8, 1,
                  13, 6, extras);
            heif_deinit();
            return 0;
        }
        // Saturated primaries and secondaries, a skin tone, greys.
        const std::vector<Patch> colours{{1, 0, 0},          {0, 1, 0},          {0, 0, 1},     {1, 0.63, 0.16},
                                         {0.16, 0.75, 0.67}, {0.78, 0.2, 0.47}, {0.5, 0.5, 0.5}, {0.9, 0.9, 0.9}};
        write(dir / "nclx-p3.heic", colours, 8, 12, 13, 6);
        write(dir / "nclx-bt2020.heic", colours, 10, 9, 14, 9);
        // Greys in cd/m2, then colours below and above the roll-off.
        write(dir / "pq-bt2020.heic",
              {pq(1), pq(10), pq(30), pq(60), pq(100), pq(203), pq(400), pq(1000), pq(4000),
               pq(60, {1, 0.4, 0.1}), pq(600, {0.1, 0.5, 1}), pq(30, {0.2, 1, 0.3})},
              10, 9, 16, 9);
        // Grey signal levels, then colours.
        write(dir / "hlg-bt2020.heic",
              {{0.05, 0.05, 0.05}, {0.15, 0.15, 0.15}, {0.3, 0.3, 0.3}, {0.5, 0.5, 0.5}, {0.6, 0.6, 0.6},
               {0.75, 0.75, 0.75}, {0.85, 0.85, 0.85}, {0.95, 0.95, 0.95}, {1, 1, 1},
               {0.6, 0.4, 0.2}, {0.2, 0.4, 0.9}, {0.3, 0.7, 0.35}},
              10, 9, 18, 9);
        heif_deinit();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "make_colour_samples: %s\n", error.what());
        return 1;
    }
    return 0;
}
