// One conversion on the file system: what it reads, the lines it prints, the JPEG it writes whole or not at all, and
// the names it gives.
#include "conversion/core/metadata/exif_metadata.h"
#include "conversion/core/output/destination_names.h"
#include "conversion/core/output/jpeg_output.h"

#include "jpeg_readback.h"
#include "sample_files.h"
#include "scratch_dir.h"
#include "test_mounts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

using namespace tessavo;
using namespace tessavo::testsupport;
namespace fs = std::filesystem;

const fs::path kData = TESSAVO_TEST_DATA;

// What had the JPEG's name stays when the conversion fails, nothing hidden is left, the source is never written over,
// and a failure says where and why. What is no readable file fails at the read step, at once, and makes no folder.
TEST(ConvertFile, TheJpegTakesItsNameWholeOrNotAtAll)
{
    ScratchDir dir;
    fs::create_directory(dir / "folder.heic");
    ASSERT_EQ(::mkfifo((dir / "fifo.heic").c_str(), 0644), 0);
    writeFile(dir / "sparse.heic", {});
    fs::resize_file(dir / "sparse.heic", uintmax_t(2) << 30);
    const fs::path photo = dir / "IMG_7.HEIC", broken = dir / "broken.heic";
    fs::copy_file(kData / "orientation-6-icc.heic", photo);
    fs::copy_file(kData / "broken-tile.heic", broken);
    const fs::path odd = dir / "-odd\n\xff\x01.HEIC"; // the lines give the name byte for byte
    fs::copy_file(photo, odd);
    fs::copy_file(kData / "grid-16385-ispe-16384.heic", dir / "wide.heic");
    const std::vector<uint8_t> old{1, 2, 3};
    writeFile(dir / "elsewhere", old);
    const auto folderWith = [&](const char* name, const std::function<void(const fs::path&)>& fill) {
        return [name, fill](const fs::path& folder) {
            fs::create_directory(folder);
            fill(folder / name);
        };
    };
    const auto keep = [&](const fs::path& at) { writeFile(at, old); };
    const std::string notMade = "Failed to create output directory: ", notCreated = "Failed to create CGImageDestination.";
    const std::string notRead = "Failed to read HEIC data.";
    const struct {
        const char* what;
        fs::path source;
        std::function<void(const fs::path&)> makeFolder;
        ConversionStep step;
        std::string line; // the last one when it fails
        std::vector<std::string> left;
    } cases[] = {
        // A block would hit the test's timeout; 2 GiB of hole is no photo, and reading it whole would take that much.
        {"a missing source", dir / "missing.heic", {}, ConversionStep::Read, notRead, {}},
        {"a folder as the source", dir / "folder.heic", {}, ConversionStep::Read, notRead, {}},
        {"a fifo as the source", dir / "fifo.heic", {}, ConversionStep::Read, notRead, {}},
        {"a device as the source", "/dev/zero", {}, ConversionStep::Read, notRead, {}},
        {"a sparse source", dir / "sparse.heic", {}, ConversionStep::Read, notRead, {}},
        {"a folder made, parents and all/a/b", odd, {}, ConversionStep::Done, "", {"-odd\n\xff\x01.jpg"}},
        {"a JPEG of its name is replaced", photo, folderWith("IMG_7.jpg", keep), ConversionStep::Done, "", {"IMG_7.jpg"}},
        {"a link of its name is replaced, not followed", photo,
            folderWith("IMG_7.jpg", [&](const fs::path& at) { fs::create_symlink(dir / "elsewhere", at); }), ConversionStep::Done, "",
            {"IMG_7.jpg"}},
        {"a JPEG of its name stays when the decode fails", broken, folderWith("broken.jpg", keep), ConversionStep::Decode,
            "Failed to create CGImage.", {"broken.jpg"}},
        // Its ispe hides the size from our check; libheif's own limit stops it.
        {"libheif refuses a grid wider than 16384", dir / "wide.heic", folderWith("wide.jpg", keep), ConversionStep::Decode,
            "Failed to create CGImage.", {"wide.jpg"}},
        {"a folder of its name stays", photo, folderWith("IMG_7.jpg", [](const fs::path& at) { fs::create_directory(at); }),
            ConversionStep::Finalize, "Failed to finalize the image destination.", {"IMG_7.jpg"}},
        {"the destination is a hard link of the source", photo,
            folderWith("IMG_7.jpg", [&](const fs::path& at) { fs::create_hard_link(photo, at); }), ConversionStep::CreateDestination,
            notCreated, {"IMG_7.jpg"}},
        // Found out before the decode, which here would fail.
        {"the destination is the source", dir / "same" / "broken.jpg",
            folderWith("broken.jpg", [&](const fs::path& at) { fs::copy_file(broken, at); }), ConversionStep::CreateDestination, notCreated,
            {"broken.jpg"}},
        {"the output folder is a file", photo, keep, ConversionStep::CreateFolder, notMade + std::strerror(ENOTDIR), {}},
        {"the output folder is a dangling link", photo, [&](const fs::path& at) { fs::create_symlink(dir / "gone", at); },
            ConversionStep::CreateFolder, notMade + std::strerror(ENOENT), {}},
    };
    const mode_t previousMask = ::umask(022);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path output = c.source.parent_path() == dir / "same" ? dir / "same" : dir / c.what;
        if (c.makeFolder)
            c.makeFolder(output);
        const fs::path jpeg = output / (c.source.stem().string() + ".jpg");
        const std::vector<uint8_t> before = fs::is_regular_file(jpeg) ? readFile(jpeg) : std::vector<uint8_t>{};
        const CapturedConversion result = convertCapturing(c.source, output);
        const Failure failure = result.outcome.failure.value_or(Failure{ConversionStep::Done, {}});
        EXPECT_EQ(failure.step, c.step) << failure.reason;
        EXPECT_EQ(entriesOf(output), c.left);
        EXPECT_EQ(fs::exists(fs::symlink_status(output)), c.makeFolder || c.step == ConversionStep::Done);
        std::vector<std::string> lines{"Converting file: " + c.source.filename().string()};
        if (c.step > ConversionStep::Decode)
            lines.push_back("Destination URL: " + jpeg.string());
        lines.push_back(c.step == ConversionStep::Done
                ? "Successfully converted " + c.source.filename().string() + " to " + jpeg.filename().string()
                : c.line);
        EXPECT_EQ(result.lines, lines);
        EXPECT_EQ(failure.reason.empty(), c.step == ConversionStep::Done) << "people are told why";
        if (c.step == ConversionStep::Done) {
            EXPECT_GT(readJpeg(jpeg).stored.width, 0);
            struct stat info { };
            EXPECT_EQ(::stat(jpeg.c_str(), &info) == 0 ? info.st_mode & 0777 : 0, 0644u);
        } else {
            EXPECT_EQ(fs::is_regular_file(jpeg) ? readFile(jpeg) : before, before);
        }
    }
    ::umask(previousMask);
    EXPECT_EQ(readFile(dir / "elsewhere"), old);
    EXPECT_EQ(readFile(photo), readFile(kData / "orientation-6-icc.heic"));
    EXPECT_EQ(readFile(dir / "same" / "broken.jpg"), readFile(kData / "broken-tile.heic"));
}

TEST(DestinationNames, PhotosOfOneNameKeepApart)
{
    const struct {
        std::vector<fs::path> sources;
        bool caseSensitive;
        std::vector<fs::path> names;
        size_t nameMax = 255;
    } cases[] = {
        {{"a/IMG_0001.HEIC", "b/IMG_0001.HEIC", "c/IMG_0001.heic", "IMG_0002.heic"}, true,
            {"IMG_0001.jpg", "IMG_0001 (2).jpg", "IMG_0001 (3).jpg", "IMG_0002.jpg"}},
        // A later source's own name is kept; the clash counts on past it.
        {{"a/X.heic", "b/X.heic", "X (2).heic"}, true, {"X.jpg", "X (3).jpg", "X (2).jpg"}},
        {{"IMG_1.HEIC", "img_1.heic", "trip.day1.heic", "b/Trip.Day1.heic"}, true,
            {"IMG_1.jpg", "img_1.jpg", "trip.day1.jpg", "Trip.Day1.jpg"}},
        {{"IMG_1.HEIC", "img_1.heic", "trip.day1.heic", "b/Trip.Day1.heic"}, false,
            {"IMG_1.jpg", "img_1 (2).jpg", "trip.day1.jpg", "Trip.Day1 (2).jpg"}},
        {{"\u00c4pfel.heic", "\u00e4pfel.heic"}, false, {"\u00c4pfel.jpg", "\u00e4pfel (2).jpg"}},
        // No JPEG comes out hidden.
        {{".heic", "a/heic.heic", "..heic", ".x.heic", "..."}, true, {"heic.jpg", "heic (2).jpg", "heic (3).jpg", "x.jpg", "photo.jpg"}},
        // Too long a name loses the end of its stem, never half a character.
        {{"abcdefgh.heic", "b/abcdefgh.heic", "a\u00e4\u00e4\u00e4.heic", "b/a\u00e4\u00e4\u00e4.heic", "abcdefghijk"}, true,
            {"abcdefgh.jpg", "abcd (2).jpg", "a\u00e4\u00e4\u00e4.jpg", "a\u00e4 (2).jpg", "abcd (3).jpg"}, 12},
    };
    for (const auto& c : cases)
        EXPECT_EQ(planDestinationNames(c.sources, "/nonexistent", c.caseSensitive, c.nameMax), c.names)
            << ::testing::PrintToString(c.sources);
}

// Names differing in case alone are one where the folder folds case (FAT and exFAT through FUSE give the other name
// an inode of its own); no JPEG takes the name of a source of the run, in any case or by a hard link; names fit the
// folder; the probe leaves nothing.
TEST(DestinationNames, ComparedAsTheFolderDoes)
{
    ScratchDir dir;
    const TestMount fat = TestMount::fat(dir / "fat.img", dir / "fat", false);
    const TestMount exfat = TestMount::fat(dir / "exfat.img", dir / "exfat", true);
    if (!(fat.mounted() && exfat.mounted()) && ::geteuid() != 0)
        GTEST_SKIP() << "mounting FAT and exFAT needs root";
    ASSERT_TRUE(fat.mounted() && exfat.mounted())
        << "cannot mount FAT or exFAT: scripts/install-deps.sh installs fusefat, exfat-fuse, dosfstools, exfatprogs";
    fs::create_directory(dir / "local");
    const std::string longStem(250, 'x');
    for (const std::string folder : {"local", "fat", "exfat"}) {
        SCOPED_TRACE(folder);
        const fs::path out = dir / folder;
        const bool apart = folder == "local";
        writeFile(out / "PHOTO.JPG", {1});
        EXPECT_EQ(folderTellsCaseApart(out), apart);
        EXPECT_EQ(folderTellsCaseApart(out / "not" / "yet"), apart);
        std::vector<fs::path> sources{"a/IMG_1.heic", "b/img_1.HEIC", out / "PHOTO.JPG", "c/photo.heic",
            fs::path("a") / (longStem + ".heic"), fs::path("b") / (longStem + ".heic")};
        std::vector<fs::path> names{"IMG_1.jpg", "img_1.jpg", "PHOTO.jpg", "photo.jpg"};
        if (!apart)
            names = {"IMG_1.jpg", "img_1 (2).jpg", "PHOTO (2).jpg", "photo (3).jpg"};
        names.insert(names.end(), {longStem + ".jpg", std::string(247, 'x') + " (2).jpg"});
        if (apart) {
            writeFile(dir / "other.heic", {2});
            fs::create_hard_link(dir / "other.heic", out / "linked.jpg");
            sources.insert(sources.end(), {"c/linked.heic", dir / "other.heic"});
            names.insert(names.end(), {"linked (2).jpg", "other.jpg"});
        }
        EXPECT_EQ(planDestinationNames(sources, out), names);
        fs::remove(out / "linked.jpg");
        EXPECT_EQ(entriesOf(out), std::vector<std::string>{"PHOTO.JPG"});
    }
}

// A folder removed before the JPEG has its name (so it is empty) fails the job at its last step and leaves nothing.
TEST(ConvertFile, FolderRemovedBeforeTheJpegIsNamed)
{
    ScratchDir dir;
    fs::create_directories(dir / "out");
    auto output = JpegOutput::open(dir / "out", {}, "IMG_7.jpg", {});
    ASSERT_TRUE(output) << output.failure().reason;
    ASSERT_EQ(::write((*output)->fd(), "jpeg", 4), 4);
    fs::remove(dir / "out");
    const Result<void> published = (*output)->publish();
    ASSERT_FALSE(published);
    EXPECT_EQ(published.failure().step, ConversionStep::Finalize);
    EXPECT_EQ(published.failure().reason, std::strerror(ENOENT));
    EXPECT_EQ(entriesOf(dir.path()), std::vector<std::string>{});
}

// Both routes code at quality 90 with 4:2:0 chroma, as libjpeg does for that setting.
TEST(ConvertFile, JpegIsCodedAtQuality90With420Chroma)
{
    ScratchDir dir;
    for (const char* sample : {"orientation-1.heic", "phone-grid.heic"}) // libheif's RGB, the direct route
        EXPECT_EQ(readJpeg(convertCapturing(kData / sample, dir.path()).outcome.destination).coding, libjpegCoding(90)) << sample;
}

// Blocks within one JPEG segment but of many entries: an IFD 1 of nested ranges is erased whole while the value IFD 0
// keeps stays; every well-formed property is rewritten, however many ill-formed ones share its element.
TEST(ExifMetadata, ManyEntriesWithinOneSegment)
{
    std::vector<uint8_t> tiff(60000, 0x55);
    const auto put = [&](size_t at, uint32_t value) {
        for (int i = 0; i < 4; ++i)
            tiff[at + size_t(i)] = uint8_t(value >> (8 * i));
    };
    std::copy_n("II*\0\x08\0\0\0\x01\0\x0f\x01\x02\0\x08\0\0\0", 18, tiff.begin()); // IFD 0: a Make...
    put(18, 59992), put(22, 32); // ...at the end; IFD 1
    put(32, 4000);
    for (uint32_t i = 0, j = 3999; i < 4000; ++i, --j) // BYTE values, the later the wider
        put(34 + i * 12, 0x00010100), put(38 + i * 12, 11954 - 2 * j), put(42 + i * 12, 48038 + j);
    const std::vector<uint8_t> exif = *rewriteExif(tiff, 3, 640, 480);
    ASSERT_EQ(exif.size(), 60030u);
    EXPECT_EQ(std::count(exif.begin() + 32, exif.begin() + 59992, 0), 59960);
    EXPECT_EQ(std::count(exif.begin() + 59992, exif.begin() + 60000, 0x55), 8);

    std::string xmp;
    for (int i = 0; i < 3000; ++i)
        xmp += "<tiff:Orientation tiff:Orientation=\"x\" ";
    const std::string after = ">n<x tiff:Orientation = '1' <tiff:Orientation>  8 </tiff:Orientation> tiff:Orientation=\"2\"/>";
    const std::string whole = xmp + after;
    const auto rewritten = rewriteXmp({reinterpret_cast<const uint8_t*>(whole.data()), whole.size()}, 6, 640, 480);
    EXPECT_EQ(std::string(rewritten.begin(), rewritten.end()),
        xmp + ">n<x tiff:Orientation = '6' <tiff:Orientation>  6 </tiff:Orientation> tiff:Orientation=\"6\"/>");
}
