#include "conversion/core/owners.h"

#include "heic_fixture.h"
#include "scratch_dir.h"

#include <gtest/gtest.h>
#include <libheif/heif.h>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <vector>

using namespace tessavo::testsupport;
namespace fs = std::filesystem;

namespace {

struct Outcome {
    int exitCode = -1;
    std::vector<std::string> out;
    std::vector<std::string> err;
};

std::vector<std::string> linesOf(const fs::path& file)
{
    std::ifstream in(file);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::string quoted(const std::string& arg)
{
    std::string out = "'";
    for (char c : arg)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

Outcome run(const ScratchDir& dir, const std::vector<std::string>& args)
{
    std::string command = "cd " + quoted(dir.path().string()) + " && " + quoted(TESSAVO_CONVERT);
    for (const auto& arg : args)
        command.append(" ").append(quoted(arg));
    command += " >stdout.txt 2>stderr.txt </dev/null";
    const int status = std::system(command.c_str());
    Outcome result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = linesOf(dir / "stdout.txt");
    result.err = linesOf(dir / "stderr.txt");
    fs::remove(dir / "stdout.txt");
    fs::remove(dir / "stderr.txt");
    return result;
}

bool before(const std::vector<std::string>& lines, const std::string& first, const std::string& second)
{
    const auto a = std::find(lines.begin(), lines.end(), first);
    const auto b = std::find(lines.begin(), lines.end(), second);
    return a != lines.end() && b != lines.end() && a < b;
}

} // namespace

TEST(TessavoConvert, HelpVersionAndUsageErrors)
{
    ScratchDir dir;
    const Outcome version = run(dir, {"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, std::vector<std::string>{"tessavo-convert 1.0"});

    const Outcome help = run(dir, {"--help"});
    EXPECT_EQ(help.exitCode, 0);
    ASSERT_FALSE(help.out.empty());
    EXPECT_EQ(help.out[0], "usage: tessavo-convert [-o DIR] [-j N] [--keep-metadata] FILE...");

    for (const auto& args : std::vector<std::vector<std::string>>{
             {}, {"-o", "out"}, {"-j", "0", "a.heic"}, {"-j", "two", "a.heic"}, {"-j2x", "a.heic"},
             {"--frobnicate", "a.heic"}, {"a.heic", "-o"}}) {
        const Outcome bad = run(dir, args);
        EXPECT_EQ(bad.exitCode, 2) << ::testing::PrintToString(args);
        EXPECT_EQ(bad.err.size(), 1u) << ::testing::PrintToString(args);
        EXPECT_TRUE(bad.out.empty());
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 0);
}

TEST(TessavoConvert, ConvertsEveryFileAndReportsFailures)
{
    ScratchDir dir;
    fs::copy_file(fs::path(TESSAVO_TEST_DATA) / "orientation-6-icc.heic", dir / "a.heic");
    fs::copy_file(fs::path(TESSAVO_TEST_DATA) / "orientation-1.heic", dir / "B.HEIC");
    writeFile(dir / "bad.heic", {1, 2, 3});

    const Outcome good = run(dir, {"-o", "OUT", "-j", "2", "a.heic", "B.HEIC"});
    EXPECT_EQ(good.exitCode, 0);
    EXPECT_TRUE(good.err.empty());
    EXPECT_EQ(good.out.size(), 6u);
    for (const std::string stem : {"a", "B"}) {
        const std::string source = stem == "a" ? "a.heic" : "B.HEIC", jpeg = stem + ".jpg";
        EXPECT_TRUE(before(good.out, "Converting file: " + source, "Destination URL: OUT/" + jpeg)) << stem;
        EXPECT_TRUE(before(good.out, "Destination URL: OUT/" + jpeg, "Successfully converted " + source + " to " + jpeg));
    }
    EXPECT_EQ(readJpeg(dir / "OUT" / "a.jpg").orientation, 6);
    EXPECT_EQ(readJpeg(dir / "OUT" / "B.jpg").orientation, 1);

    const Outcome mixed = run(dir, {"--output=OUT2", "bad.heic", "missing.heic", "a.heic"});
    EXPECT_EQ(mixed.exitCode, 1);
    EXPECT_TRUE(before(mixed.out, "Converting file: bad.heic", "Failed to create CGImageSource."));
    EXPECT_TRUE(before(mixed.out, "Converting file: missing.heic", "Failed to read HEIC data."));
    EXPECT_TRUE(before(mixed.out, "Converting file: a.heic", "Successfully converted a.heic to a.jpg"));
    // One line per failure on stderr, with its reason.
    std::vector<std::string> reasons = mixed.err;
    std::sort(reasons.begin(), reasons.end());
    EXPECT_EQ(reasons, (std::vector<std::string>{
                           "tessavo-convert: bad.heic: Invalid input: No 'ftyp' box (decoding bad.heic)",
                           "tessavo-convert: missing.heic: No such file or directory (reading missing.heic)"}));
    std::vector<std::string> written;
    for (const auto& entry : fs::directory_iterator(dir / "OUT2"))
        written.push_back(entry.path().filename().string());
    EXPECT_EQ(written, std::vector<std::string>{"a.jpg"});

    // The default output folder is the current one.
    const Outcome here = run(dir, {"B.HEIC"});
    EXPECT_EQ(here.exitCode, 0);
    EXPECT_TRUE(fs::is_regular_file(dir / "B.jpg"));
}

namespace {

// Every tag exiftool (an independent reader) finds, as "Group:Tag" -> value.
std::map<std::string, std::string> exiftoolTags(const fs::path& file)
{
    std::map<std::string, std::string> tags;
    const tessavo::Pipe pipe =
        tessavo::openPipe(("exiftool -args -G1 -n -a -all -validate " + quoted(file.string()) + " 2>/dev/null").c_str(), "r");
    char line[4096];
    while (pipe && std::fgets(line, sizeof line, pipe.get())) {
        std::string text(line);
        const size_t eq = text.find('=');
        if (text.size() > 1 && text[0] == '-' && eq != std::string::npos)
            tags[text.substr(1, eq - 1)] = text.substr(eq + 1, text.find_last_not_of('\n') - eq);
    }
    return tags;
}

bool anyInGroup(const std::map<std::string, std::string>& tags, const std::string& group)
{
    return std::any_of(tags.begin(), tags.end(), [&](const auto& tag) { return tag.first.starts_with(group + ":"); });
}

timespec modificationTime(const fs::path& file)
{
    struct stat info {};
    ::stat(file.c_str(), &info);
    return info.st_mtim;
}

} // namespace

TEST(TessavoConvert, KeepMetadataCopiesExifAndXmpMadeTrueForTheJpeg)
{
    const struct {
        const char* file;
        int orientation; // from irot/imir; the Exif inside says 1 or nothing
        const char* model;
        const char* taken;
        const char* latitude;
        const char* xmpTitle;
    } cases[] = {
        {"exif-mm-orientation-6.heic", 6, "Phone 1", "2023:07:14 18:02:11", "48.8584", "Sample"},
        {"exif-ii-orientation-3.heic", 3, "Phone 2", "2024:01:02 03:04:05", "35.6586", nullptr},
    };
    ScratchDir dir;
    const timespec taken[2] = {{0, UTIME_OMIT}, {1600000000, 123456789}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        fs::copy_file(fs::path(TESSAVO_TEST_DATA) / c.file, dir / c.file);
        ASSERT_EQ(::utimensat(AT_FDCWD, (dir / c.file).c_str(), taken, 0), 0);
        ASSERT_EQ(run(dir, {"--keep-metadata", "-o", "kept", c.file}).exitCode, 0);
        ASSERT_EQ(run(dir, {"-o", "plain", c.file}).exitCode, 0);
        const fs::path jpegName = fs::path(c.file).replace_extension(".jpg");

        const JpegFile kept = readJpeg(dir / "kept" / jpegName);
        auto tags = exiftoolTags(dir / "kept" / jpegName);
        EXPECT_EQ(kept.orientation, c.orientation);
        EXPECT_EQ(tags["IFD0:Orientation"], std::to_string(c.orientation));
        EXPECT_EQ(tags["IFD0:Model"], c.model);
        EXPECT_EQ(tags["ExifIFD:DateTimeOriginal"], c.taken);
        EXPECT_EQ(tags["GPS:GPSLatitude"], c.latitude);
        EXPECT_EQ(tags["ExifIFD:ExifImageWidth"], std::to_string(kept.stored.width));
        EXPECT_EQ(tags["ExifIFD:ExifImageHeight"], std::to_string(kept.stored.height));
        EXPECT_FALSE(anyInGroup(tags, "IFD1")) << "the thumbnail is the original's";
        const auto bytes = readFile(dir / "kept" / jpegName);
        const uint8_t start[] = {0xFF, 0xD8};
        EXPECT_EQ(std::search(bytes.begin() + 2, bytes.end(), start, start + 2), bytes.end()) << "thumbnail bytes left";
        EXPECT_EQ(tags["XMP-dc:Title"], c.xmpTitle ? c.xmpTitle : "");
        EXPECT_EQ(tags["XMP-tiff:Orientation"], c.xmpTitle ? std::to_string(c.orientation) : "");
        EXPECT_EQ(tags["ExifTool:Validate"], "0 0 0") << "errors, warnings, minor warnings: " << tags["ExifTool:Warning"];
        const timespec keptTime = modificationTime(dir / "kept" / jpegName);
        EXPECT_EQ(keptTime.tv_sec, taken[1].tv_sec);
        EXPECT_EQ(keptTime.tv_nsec, taken[1].tv_nsec);

        const JpegFile plain = readJpeg(dir / "plain" / jpegName);
        tags = exiftoolTags(dir / "plain" / jpegName);
        EXPECT_EQ(plain.orientation, c.orientation);
        EXPECT_EQ(plain.exifEntries, 1);
        EXPECT_FALSE(anyInGroup(tags, "GPS") || anyInGroup(tags, "ExifIFD") || anyInGroup(tags, "XMP-dc"));
        EXPECT_NE(modificationTime(dir / "plain" / jpegName).tv_sec, taken[1].tv_sec);
    }
}

TEST(TessavoConvert, MetadataTooLargeForOneSegmentIsLeftOutWithANote)
{
    // A big-endian TIFF structure whose one IFD 0 entry, an ASCII
    // ImageDescription, holds 70,000 bytes; an XMP packet as large.
    std::vector<uint8_t> exif{'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1, 0x01, 0x0e, 0, 2, 0, 1, 0x11, 0x70, 0, 0, 0, 26, 0, 0, 0, 0};
    exif.resize(exif.size() + 70000, 'a');
    const std::string xmp =
        "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
        "<rdf:Description xmlns:dc='http://purl.org/dc/elements/1.1/' dc:format='" +
        std::string(70000, 'b') + "'/></rdf:RDF></x:xmpmeta>";
    ScratchDir dir;
    {
        // A sample re-encoded by libheif, turned (orientation 8), with both blocks.
        const auto sample = readFile(fs::path(TESSAVO_TEST_DATA) / "orientation-1.heic");
        const tessavo::Owned<heif_context> in = tessavo::heifContext(), out = tessavo::heifContext();
        tessavo::Owned<heif_image_handle> handle, encoded;
        tessavo::Owned<heif_image> image;
        tessavo::Owned<heif_encoder> encoder;
        heif_context_read_from_memory_without_copy(in.get(), sample.data(), sample.size(), nullptr);
        heif_context_get_primary_image_handle(in.get(), tessavo::into(handle));
        heif_decode_image(handle.get(), tessavo::into(image), heif_colorspace_RGB, heif_chroma_interleaved_RGB, nullptr);
        heif_context_get_encoder_for_format(out.get(), heif_compression_HEVC, tessavo::into(encoder));
        const tessavo::Owned<heif_encoding_options> options = tessavo::heifEncodingOptions();
        options->image_orientation = heif_orientation_rotate_270_cw;
        heif_context_encode_image(out.get(), image.get(), encoder.get(), options.get(), tessavo::into(encoded));
        heif_context_add_exif_metadata(out.get(), encoded.get(), exif.data(), int(exif.size()));
        heif_context_add_XMP_metadata(out.get(), encoded.get(), xmp.data(), int(xmp.size()));
        heif_context_write_to_file(out.get(), (dir / "big.heic").c_str());
    }
    const Outcome outcome = run(dir, {"--keep-metadata", "big.heic"});
    EXPECT_EQ(outcome.exitCode, 0);
    ASSERT_EQ(outcome.err.size(), 2u);
    EXPECT_NE(outcome.err[0].find("Exif"), std::string::npos);
    EXPECT_NE(outcome.err[1].find("XMP"), std::string::npos);
    const JpegFile jpeg = readJpeg(dir / "big.jpg");
    EXPECT_GT(jpeg.stored.width, 0);
    EXPECT_EQ(jpeg.orientation, 8);
    EXPECT_EQ(jpeg.exifEntries, 1);
    EXPECT_FALSE(anyInGroup(exiftoolTags(dir / "big.jpg"), "XMP-dc"));
}

TEST(TessavoConvert, PhotosOfOneNameKeepApartAndNoSourceIsWrittenOver)
{
    ScratchDir dir;
    fs::create_directories(dir / "a");
    fs::create_directories(dir / "b");
    fs::copy_file(fs::path(TESSAVO_TEST_DATA) / "orientation-1.heic", dir / "a" / "IMG_0001.HEIC");
    fs::copy_file(fs::path(TESSAVO_TEST_DATA) / "orientation-6-icc.heic", dir / "b" / "IMG_0001.HEIC");

    const Outcome clash = run(dir, {"-j", "2", "-o", "out", "a/IMG_0001.HEIC", "b/IMG_0001.HEIC"});
    EXPECT_EQ(clash.exitCode, 0);
    for (const std::string jpeg : {"IMG_0001.jpg", "IMG_0001 (2).jpg"}) {
        EXPECT_NE(std::find(clash.out.begin(), clash.out.end(), "Destination URL: out/" + jpeg), clash.out.end());
        EXPECT_NE(std::find(clash.out.begin(), clash.out.end(), "Successfully converted IMG_0001.HEIC to " + jpeg),
                  clash.out.end());
    }
    // The first in the list keeps the name.
    EXPECT_EQ(readJpeg(dir / "out" / "IMG_0001.jpg").orientation, 1);
    EXPECT_EQ(readJpeg(dir / "out" / "IMG_0001 (2).jpg").orientation, 6);

    // A HEIC named photo.jpg, converted into its own folder.
    fs::copy_file(dir / "a" / "IMG_0001.HEIC", dir / "photo.jpg");
    const Outcome self = run(dir, {"-o", ".", "photo.jpg"});
    EXPECT_EQ(self.exitCode, 1);
    EXPECT_EQ(self.out, (std::vector<std::string>{"Converting file: photo.jpg", "Destination URL: ./photo.jpg",
                                                  "Failed to create CGImageDestination."}));
    EXPECT_EQ(self.err, std::vector<std::string>{
                            "tessavo-convert: photo.jpg: the destination is the source file itself (writing ./photo.jpg)"});
    EXPECT_EQ(readFile(dir / "photo.jpg"), readFile(dir / "a" / "IMG_0001.HEIC"));
}
