#include "conversion/core/convert_file.h"
#include "conversion/core/destination_names.h"
#include "conversion/core/jpeg_output.h"
#include "conversion/core/owners.h"

#include "captured_conversion.h"
#include "heic_fixture.h"
#include "scratch_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <future>
#include <random>
#include <string>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <thread>
#include <vector>

using namespace tessavo;
using namespace tessavo::testsupport;
namespace fs = std::filesystem;

namespace {

using Result = CapturedConversion;

Result convert(const fs::path& source, const fs::path& output) { return convertCapturing(source, output); }

std::vector<std::string> successLines(const fs::path& source, const fs::path& output, const std::string& jpegName)
{
    return {"Converting file: " + source.filename().string(),
            "Destination URL: " + (output / jpegName).string(),
            "Successfully converted " + source.filename().string() + " to " + jpegName};
}

struct FidelityCase {
    const char* kind;
    FixtureOptions options;
};

std::vector<FidelityCase> fidelityCases()
{
    std::vector<FidelityCase> cases;
    for (int orientation = 1; orientation <= 8; ++orientation) {
        FixtureOptions o;
        o.width = 64;
        o.height = 40;
        o.orientation = orientation;
        cases.push_back({"orientation", o});
    }
    FixtureOptions icc;
    icc.icc = sampleIccProfile(7);
    icc.orientation = 6;
    cases.push_back({"icc", icc});
    FixtureOptions alpha;
    alpha.alpha = true;
    alpha.orientation = 3;
    cases.push_back({"alpha", alpha});
    FixtureOptions deep;
    deep.bitDepth = 10;
    deep.orientation = 8;
    cases.push_back({"10-bit", deep});
    for (auto [w, h, orientation] : {std::tuple{1, 1, 1}, {3, 5, 6}, {17, 33, 5}, {33, 17, 2}, {2, 1, 7}}) {
        FixtureOptions odd;
        odd.width = w;
        odd.height = h;
        odd.orientation = orientation;
        cases.push_back({"odd size", odd});
    }
    FixtureOptions grid;
    grid.width = 37;
    grid.height = 21;
    grid.gridCrop = true;
    grid.orientation = 6;
    cases.push_back({"grid crop", grid});
    return cases;
}

} // namespace

TEST(ConvertFile, ShownJpegMatchesLibheifView)
{
    ScratchDir dir;
    for (const auto& [kind, options] : fidelityCases()) {
        const std::string name = std::string(kind) + "-" + std::to_string(options.width) + "x" +
                                 std::to_string(options.height) + "-o" + std::to_string(options.orientation);
        SCOPED_TRACE(name);
        const auto heic = makeHeic(options);
        const fs::path source = dir / (name + ".heic");
        writeFile(source, heic);

        const Result result = convert(source, dir / "out");
        ASSERT_TRUE(result.outcome.succeeded());
        EXPECT_EQ(result.lines, successLines(source, dir / "out", name + ".jpg"));

        const JpegFile jpeg = readJpeg(dir / "out" / (name + ".jpg"));
        ASSERT_GT(jpeg.stored.width, 0) << "no complete JPEG";
        EXPECT_EQ(jpeg.orientation, options.orientation);
        EXPECT_EQ(jpeg.exifEntries, 1);
        EXPECT_EQ(jpeg.icc, options.icc);
        // Stored unrotated: the size the encoder was given.
        EXPECT_EQ(jpeg.stored.width, options.width);
        EXPECT_EQ(jpeg.stored.height, options.height);

        const RgbImage libheifView = decodeHeifShown(heic);
        const double db = psnr(applyExifOrientation(jpeg.stored, jpeg.orientation), libheifView);
        EXPECT_GE(db, 35.0);
        std::printf("PSNR %-12s %-22s %6.2f dB\n", kind, name.c_str(), db);
    }
}

// The EXIF numbering is only meaningful if libheif shows orientation k the
// way EXIF k is defined; check libheif's writer and reader agree with it.
TEST(ConvertFile, LibheifShowsEncodedOrientationAsExifDefinesIt)
{
    FixtureOptions upright;
    upright.width = 48;
    upright.height = 32;
    const RgbImage reference = decodeHeifShown(makeHeic(upright));
    for (int orientation = 2; orientation <= 8; ++orientation) {
        FixtureOptions turned = upright;
        turned.orientation = orientation;
        EXPECT_GE(psnr(decodeHeifShown(makeHeic(turned)), applyExifOrientation(reference, orientation)), 40.0)
            << "orientation " << orientation;
    }
}

TEST(ConvertFile, UnreadableSourcesFailAtTheirStepAndWriteNothing)
{
    ScratchDir dir;
    FixtureOptions options;
    const auto heic = makeHeic(options);
    std::mt19937 random(42);
    std::vector<uint8_t> noise(4096);
    for (auto& byte : noise)
        byte = uint8_t(random());

    writeFile(dir / "empty.heic", {});
    writeFile(dir / "noise.heic", noise);
    writeFile(dir / "truncated.heic", std::vector<uint8_t>(heic.begin(), heic.end() - 200));
    writeFile(dir / "header-only.heic", std::vector<uint8_t>(heic.begin(), heic.begin() + 40));
    {
        // A real JPEG under a HEIC name.
        writeFile(dir / "photo.heic", heic);
        ASSERT_TRUE(convert(dir / "photo.heic", dir / "jpegs").outcome.succeeded());
        fs::rename(dir / "jpegs" / "photo.jpg", dir / "renamed-jpeg.heic");
    }
    fs::create_directory(dir / "folder.heic");
    ASSERT_EQ(::mkfifo((dir / "fifo.heic").c_str(), 0644), 0);

    const std::string readLine = "Failed to read HEIC data.";
    const std::string sourceLine = "Failed to create CGImageSource.";
    const std::vector<std::pair<fs::path, std::string>> cases{
        {dir / "missing.heic", readLine},
        {dir / "folder.heic", readLine},
        {dir / "fifo.heic", readLine},
        {"/dev/zero", readLine},
        {dir / "empty.heic", sourceLine},
        {dir / "noise.heic", sourceLine},
        {dir / "header-only.heic", sourceLine},
        {dir / "renamed-jpeg.heic", sourceLine},
        // libheif checks the data extents when reading, before decoding.
        {dir / "truncated.heic", sourceLine},
    };
    for (const auto& [source, line] : cases) {
        SCOPED_TRACE(source.string());
        const fs::path output = dir / "out";
        auto job = std::async(std::launch::async, [&] { return convert(source, output); });
        ASSERT_EQ(job.wait_for(std::chrono::seconds(20)), std::future_status::ready) << "conversion blocked";
        const Result result = job.get();
        EXPECT_FALSE(result.outcome.succeeded());
        EXPECT_EQ(result.lines, (std::vector<std::string>{"Converting file: " + source.filename().string(), line}));
        EXPECT_FALSE(fs::exists(output)) << "the output folder is made only after decoding";
    }
}

namespace {
// Rewrites the output size in the grid description stored in the idat box.
std::vector<uint8_t> withGridSize(std::vector<uint8_t> heic, uint16_t width, uint16_t height)
{
    const uint8_t tag[] = {'i', 'd', 'a', 't'};
    auto at = std::search(heic.begin(), heic.end(), std::begin(tag), std::end(tag));
    if (at == heic.end() || heic.end() - at < 12)
        throw std::runtime_error("fixture has no grid");
    uint8_t* grid = &*at + 4; // version, flags, rows-1, columns-1, width, height
    if (grid[1] & 1)
        throw std::runtime_error("unexpected 32-bit grid fields");
    grid[4] = uint8_t(width >> 8);
    grid[5] = uint8_t(width);
    grid[6] = uint8_t(height >> 8);
    grid[7] = uint8_t(height);
    return heic;
}
} // namespace

TEST(ConvertFile, EnormousClaimedSizeFailsAtDecodeWithoutTheMemory)
{
    ScratchDir dir;
    FixtureOptions options;
    options.width = 17;
    options.height = 33;
    options.gridCrop = true;
    const auto heic = makeHeic(options);
    for (uint16_t side : {uint16_t(30000), uint16_t(65535)}) {
        SCOPED_TRACE(side);
        writeFile(dir / "huge.heic", withGridSize(heic, side, side));
        const auto started = std::chrono::steady_clock::now();
        const Result result = convert(dir / "huge.heic", dir / "out");
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
        EXPECT_FALSE(result.outcome.succeeded());
        EXPECT_EQ(result.lines, (std::vector<std::string>{"Converting file: huge.heic", "Failed to create CGImage."}));
    }
}

class ConvertFileOutput : public ::testing::Test {
protected:
    void SetUp() override
    {
        FixtureOptions options;
        options.orientation = 6;
        heic_ = makeHeic(options);
        writeFile(source(), heic_);
    }
    fs::path source() const { return dir_ / "IMG_7.HEIC"; }
    fs::path out() const { return dir_ / "out"; }

    ScratchDir dir_;
    std::vector<uint8_t> heic_;
};

TEST_F(ConvertFileOutput, OutputFolderThatCannotBeMadeFailsAfterDestinationLine)
{
    writeFile(dir_ / "plain-file", {1, 2, 3});
    const fs::path output = dir_ / "plain-file" / "sub";
    const Result result = convert(source(), output);
    EXPECT_FALSE(result.outcome.succeeded());
    ASSERT_EQ(result.lines.size(), 3u);
    EXPECT_EQ(result.lines[0], "Converting file: IMG_7.HEIC");
    EXPECT_EQ(result.lines[1], "Destination URL: " + (output / "IMG_7.jpg").string());
    const std::string prefix = "Failed to create output directory: ";
    EXPECT_EQ(result.lines[2].substr(0, prefix.size()), prefix);
    EXPECT_GT(result.lines[2].size(), prefix.size()) << "the reason is given";
    EXPECT_EQ(readFile(dir_ / "plain-file"), (std::vector<uint8_t>{1, 2, 3}));
}

TEST_F(ConvertFileOutput, FolderRefusingNewFilesFailsBeforeTheDecode)
{
    // procfs exists but refuses new files, even to root. The photo cannot be
    // decoded either, which is never found out: the folder is tried first.
    FixtureOptions options;
    options.gridCrop = true;
    writeFile(dir_ / "huge.heic", withGridSize(makeHeic(options), 30000, 30000));
    const Result result = convert(dir_ / "huge.heic", "/proc");
    EXPECT_EQ(result.outcome.step, ConversionStep::CreateDestination);
    EXPECT_EQ(result.lines, (std::vector<std::string>{"Converting file: huge.heic", "Destination URL: /proc/huge.jpg",
                                                      "Failed to create CGImageDestination."}));
}

TEST_F(ConvertFileOutput, ExistingJpegAndSymlinkAreReplacedNotFollowed)
{
    fs::create_directories(out());
    writeFile(out() / "IMG_7.jpg", std::vector<uint8_t>(10, 1));
    ASSERT_TRUE(convert(source(), out()).outcome.succeeded());
    EXPECT_GT(readJpeg(out() / "IMG_7.jpg").stored.width, 0);

    const std::vector<uint8_t> target{9, 9, 9};
    writeFile(dir_ / "elsewhere.bin", target);
    fs::remove(out() / "IMG_7.jpg");
    fs::create_symlink(dir_ / "elsewhere.bin", out() / "IMG_7.jpg");
    ASSERT_TRUE(convert(source(), out()).outcome.succeeded());
    EXPECT_FALSE(fs::is_symlink(out() / "IMG_7.jpg"));
    EXPECT_GT(readJpeg(out() / "IMG_7.jpg").stored.width, 0);
    EXPECT_EQ(readFile(dir_ / "elsewhere.bin"), target);
    EXPECT_EQ(entriesOf(out()), std::vector<std::string>{"IMG_7.jpg"});
}

TEST_F(ConvertFileOutput, JpegGetsTheUsualFileMode)
{
    const mode_t previous = ::umask(022);
    ASSERT_TRUE(convert(source(), out()).outcome.succeeded());
    ::umask(previous);
    struct stat info {};
    ASSERT_EQ(::stat((out() / "IMG_7.jpg").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
}

TEST_F(ConvertFileOutput, NamesAndNestedOutputFolder)
{
    EXPECT_EQ(destinationPath("/a/trip.day1.heic", "/o"), fs::path("/o/trip.day1.jpg"));
    EXPECT_EQ(destinationPath("/a/IMG_1.HEIC", "/o"), fs::path("/o/IMG_1.jpg"));
    EXPECT_EQ(destinationPath("/a/noext", "/o"), fs::path("/o/noext.jpg"));

    const fs::path nested = out() / "a" / "b" / "c";
    for (const char* name : {"trip.day1.heic", "IMG_1.HEIC", "noext"}) {
        fs::copy_file(source(), dir_ / name);
        const Result result = convert(dir_ / name, nested);
        EXPECT_TRUE(result.outcome.succeeded()) << name;
        EXPECT_EQ(result.lines, successLines(dir_ / name, nested, destinationPath(name, "").string()));
    }
    EXPECT_EQ(entriesOf(nested), (std::vector<std::string>{"IMG_1.jpg", "noext.jpg", "trip.day1.jpg"}));
}

TEST(DestinationNames, PhotosOfOneNameKeepApart)
{
    struct Case {
        std::vector<fs::path> sources;
        bool caseSensitive;
        std::vector<fs::path> names;
    };
    const std::vector<Case> cases{
        {{"a/IMG_0001.HEIC", "b/IMG_0001.HEIC", "c/IMG_0001.heic", "IMG_0002.heic"}, true,
         {"IMG_0001.jpg", "IMG_0001 (2).jpg", "IMG_0001 (3).jpg", "IMG_0002.jpg"}},
        // A later source's own name is kept; the clash counts on past it.
        {{"a/X.heic", "b/X.heic", "X (2).heic"}, true, {"X.jpg", "X (3).jpg", "X (2).jpg"}},
        {{"IMG_1.HEIC", "img_1.heic", "trip.day1.heic", "b/Trip.Day1.heic"}, true,
         {"IMG_1.jpg", "img_1.jpg", "trip.day1.jpg", "Trip.Day1.jpg"}},
        {{"IMG_1.HEIC", "img_1.heic", "trip.day1.heic", "b/Trip.Day1.heic"}, false,
         {"IMG_1.jpg", "img_1 (2).jpg", "trip.day1.jpg", "Trip.Day1 (2).jpg"}},
        {{"\u00c4pfel.heic", "\u00e4pfel.heic"}, false, {"\u00c4pfel.jpg", "\u00e4pfel (2).jpg"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(planDestinationNames(c.sources, c.caseSensitive), c.names) << ::testing::PrintToString(c.sources);
}

TEST(DestinationNames, CaseIsProbedInTheFolderOrWhereItWillBe)
{
    // This machine's file systems tell case apart; the probe leaves nothing.
    ScratchDir dir;
    EXPECT_TRUE(folderTellsCaseApart(dir.path()));
    EXPECT_TRUE(folderTellsCaseApart(dir / "not" / "yet"));
    EXPECT_EQ(entriesOf(dir.path()), std::vector<std::string>{});
    writeFile(dir / "Photo.jpg", {1});
    EXPECT_TRUE(folderTellsCaseApart(dir.path()));
}

TEST_F(ConvertFileOutput, FailuresSayWhyAndWhere)
{
    struct Case {
        const char* what;
        std::function<fs::path()> setUp; // returns the output folder
        ConversionStep step;
        std::string reason;
    };
    fs::create_directories(dir_ / "plain");
    writeFile(dir_ / "a-file", {1});
    const std::vector<Case> cases{
        {"folder is a file", [&] { return dir_ / "a-file"; }, ConversionStep::CreateFolder, std::strerror(ENOTDIR)},
        {"folder is a dangling link",
         [&] {
             fs::create_symlink(dir_ / "gone", dir_ / "link");
             return dir_ / "link";
         },
         ConversionStep::CreateFolder, std::strerror(ENOENT)},
        {"folder in the way of the JPEG",
         [&] {
             fs::create_directories(dir_ / "plain" / "IMG_7.jpg");
             return dir_ / "plain";
         },
         ConversionStep::Finalize, std::strerror(EISDIR)},
        {"destination is the source itself", [&] { return dir_.path(); }, ConversionStep::CreateDestination, ""},
        {"destination is a hard link of the source",
         [&] {
             fs::create_directories(dir_ / "linked");
             fs::create_hard_link(source(), dir_ / "linked" / "IMG_7.jpg");
             return dir_ / "linked";
         },
         ConversionStep::CreateDestination, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path folder = c.setUp();
        ConversionOptions options;
        options.destinationName = "IMG_7.jpg";
        if (c.step == ConversionStep::CreateDestination && folder == dir_.path())
            options.destinationName = "IMG_7.HEIC";
        const ConversionResult result = convertFile(source(), folder, options, [](std::string_view) {});
        EXPECT_EQ(result.step, c.step);
        if (!c.reason.empty()) {
            EXPECT_EQ(result.reason, c.reason);
        }
        EXPECT_EQ(result.destination, folder / options.destinationName);
    }
    EXPECT_EQ(readFile(source()), heic_) << "the source was written over";
    EXPECT_TRUE(fs::is_directory(dir_ / "plain" / "IMG_7.jpg"));
    EXPECT_EQ(entriesOf(dir_ / "linked"), std::vector<std::string>{"IMG_7.jpg"});
}

TEST_F(ConvertFileOutput, OutOfFileDescriptorsSaysSo)
{
    // No descriptor left, or one: the source is read and closed again, the
    // folder takes the one, and the new file finds none.
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    // The lowest free descriptor: the one dup takes, closed again at once.
    const int lowestFree = UniqueFd(::dup(0)).get();
    for (const auto& [spare, step] : {std::pair{0, ConversionStep::Read}, {1, ConversionStep::CreateDestination}}) {
        rlimit tight = saved;
        tight.rlim_cur = rlim_t(lowestFree + spare);
        ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
        const ConversionResult result = convertFile(source(), out(), {}, [](std::string_view) {});
        ::setrlimit(RLIMIT_NOFILE, &saved);
        EXPECT_EQ(result.step, step) << spare;
        EXPECT_EQ(result.reason, std::strerror(EMFILE)) << spare;
    }
}

// The folder is held open: a JPEG follows its folder when it moves, and
// nothing is left when the folder is gone before the JPEG has its name.
TEST_F(ConvertFileOutput, FolderMovedOrRemovedBeforeTheJpegIsNamed)
{
    for (const bool removed : {false, true}) {
        SCOPED_TRACE(removed ? "removed" : "renamed");
        fs::create_directories(out());
        JpegOutput output(out(), "IMG_7.jpg", {});
        ASSERT_TRUE(output.ready()) << output.reason();
        ASSERT_EQ(::write(output.fd(), "jpeg", 4), 4);
        if (removed)
            fs::remove(out()); // empty: the file has no name yet
        else
            fs::rename(out(), dir_ / "moved");
        EXPECT_EQ(output.publish(), !removed);
        if (removed) {
            EXPECT_EQ(output.step(), ConversionStep::Finalize);
            EXPECT_EQ(output.reason(), std::strerror(ENOENT));
        } else {
            EXPECT_EQ(entriesOf(dir_ / "moved"), std::vector<std::string>{"IMG_7.jpg"});
        }
        EXPECT_FALSE(fs::exists(out()));
    }
}

// Memory that runs out ends the job with its line, not the process: in a
// child whose address space is too small to read the source whole.
TEST(ConvertFile, RunningOutOfMemoryEndsTheJobWithItsLine)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizers' shadow memory does not fit an address-space limit";
#endif
    ScratchDir dir;
    writeFile(dir / "big.heic", {});
    fs::resize_file(dir / "big.heic", size_t(256) << 20);
    const pid_t child = ::fork();
    if (child == 0) {
        long pages = 0;
        if (const Owned<std::FILE> statm = openFile("/proc/self/statm", "r")) {
            if (std::fscanf(statm.get(), "%ld", &pages) != 1)
                pages = 0;
        }
        const rlim_t room = rlim_t(pages) * rlim_t(::sysconf(_SC_PAGESIZE)) + (rlim_t(128) << 20);
        const rlimit limit{room, room};
        std::string_view last;
        if (pages == 0 || ::setrlimit(RLIMIT_AS, &limit) != 0)
            ::_exit(2);
        const ConversionResult result =
            convertFile(dir / "big.heic", dir / "out", {}, [&](std::string_view line) { last = line; });
        ::_exit(result.step == ConversionStep::Read && result.reason == std::strerror(ENOMEM) &&
                        last == "Failed to read HEIC data."
                    ? 0
                    : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
