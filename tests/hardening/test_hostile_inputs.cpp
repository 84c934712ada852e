// Broken and hostile sources: each ends in one failure line and `error`, or
// (where the damage leaves a decodable image) in a whole JPEG; never a
// crash, a hang, a partial file or unbounded memory.
#include "conversion/core/convert_file.h"
#include "conversion/core/owners.h"

#include "captured_conversion.h"
#include "heic_fixture.h"
#include "heif_boxes.h"
#include "scratch_dir.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace tessavo;
using namespace tessavo::testsupport;
using namespace tessavo::hardening;
namespace fs = std::filesystem;

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

const std::string kRead = "Failed to read HEIC data.";
const std::string kSource = "Failed to create CGImageSource.";
const std::string kImage = "Failed to create CGImage.";

using Result = CapturedConversion;

Result convert(const fs::path& source, const fs::path& output) { return convertCapturing(source, output); }

long peakRssKiB()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// A failure at one of the decode steps: two lines, nothing in the output.
void expectDecodeFailure(const Result& result, const fs::path& source, const fs::path& output)
{
    EXPECT_FALSE(result.outcome.succeeded());
    ASSERT_EQ(result.lines.size(), 2u);
    EXPECT_EQ(result.lines[0], "Converting file: " + source.filename().string());
    EXPECT_TRUE(result.lines[1] == kSource || result.lines[1] == kImage) << result.lines[1];
    EXPECT_EQ(entriesOf(output), std::vector<std::string>{});
}

// Damage may leave an image libheif still decodes; then the JPEG must be
// whole. Otherwise the job fails at a decode step and leaves nothing.
void expectWholeJpegOrDecodeFailure(const Result& result, const fs::path& source, const fs::path& output)
{
    if (result.outcome.succeeded()) {
        ASSERT_EQ(result.lines.size(), 3u);
        EXPECT_EQ(entriesOf(output), std::vector<std::string>{source.stem().string() + ".jpg"});
        EXPECT_FALSE(readJpeg(output / (source.stem().string() + ".jpg")).stored.pixels.empty())
            << "a converted file must be a complete JPEG";
    } else {
        expectDecodeFailure(result, source, output);
    }
}

std::vector<uint8_t> sampleHeic()
{
    FixtureOptions options;
    options.orientation = 6;
    options.icc = sampleIccProfile(5);
    return makeHeic(options);
}

// The one-tile grid that crops odd sizes: a grid item with a dimg reference.
std::vector<uint8_t> gridHeic()
{
    FixtureOptions options;
    options.width = 17;
    options.height = 33;
    options.gridCrop = true;
    return makeHeic(options);
}

class HostileInput : public ::testing::Test {
protected:
    fs::path write(const std::string& name, const std::vector<uint8_t>& bytes)
    {
        writeFile(dir_ / name, bytes);
        return dir_ / name;
    }
    void SetUp() override
    {
        // Memory-backed when possible: the thousands of JPEGs written here
        // would otherwise wait for a disk on every fsync.
        std::string pattern = fs::is_directory("/dev/shm") ? "/dev/shm/tessavo-hostile-XXXXXX"
                                                            : (dir_ / "out-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        outRoot_ = pattern;
    }
    void TearDown() override { fs::remove_all(outRoot_); }
    fs::path out() const { return outRoot_ / "out"; }
    void clearOut() { fs::remove_all(out()); }

    ScratchDir dir_;
    fs::path outRoot_;
};

} // namespace

TEST_F(HostileInput, TruncatedAtManyPointsFailsAtDecode)
{
    const auto heic = sampleHeic();
    std::vector<size_t> cuts;
    for (size_t cut = 0; cut < 128 && cut < heic.size(); ++cut)
        cuts.push_back(cut); // every byte of the headers
    for (size_t cut = 128; cut < heic.size(); cut += std::max<size_t>(1, heic.size() / 150))
        cuts.push_back(cut);
    cuts.push_back(heic.size() - 1);
    for (const size_t cut : cuts) {
        SCOPED_TRACE("cut at " + std::to_string(cut) + " of " + std::to_string(heic.size()));
        const auto source = write("cut.heic", {heic.begin(), heic.begin() + long(cut)});
        expectDecodeFailure(convert(source, out()), source, out());
        clearOut();
    }
    std::printf("[ info ] %zu truncations\n", cuts.size());
}

TEST_F(HostileInput, BitFlipsInEveryBoxEndInWholeJpegOrDecodeFailure)
{
    const long rssBefore = peakRssKiB();
    size_t tried = 0, failed = 0;
    for (const auto& heic : {sampleHeic(), gridHeic()}) {
        const auto boxes = listBoxes(heic);
        for (const auto& box : boxes) {
            // The header bytes, then up to 24 spots spread over the payload.
            std::vector<size_t> spots;
            for (size_t i = 0; i < box.header && i < box.size; ++i)
                spots.push_back(box.offset + i);
            const size_t payload = box.size - std::min(box.size, box.header);
            for (size_t i = 0; i < 24 && i < payload; ++i)
                spots.push_back(box.offset + box.header + i * payload / std::min<size_t>(24, payload));
            for (const size_t spot : spots) {
                for (const int bit : {0, 3, 7}) {
                    auto damaged = heic;
                    damaged[spot] ^= uint8_t(1u << ((bit + spot) % 8));
                    SCOPED_TRACE(box.type + " byte " + std::to_string(spot) + " bit " + std::to_string(bit));
                    const auto source = write("flipped.heic", damaged);
                    const Result result = convert(source, out());
                    expectWholeJpegOrDecodeFailure(result, source, out());
                    ++tried;
                    failed += !result.outcome.succeeded();
                    clearOut();
                    if (HasFatalFailure())
                        return;
                }
            }
        }
    }
    std::printf("[ info ] %zu bit flips, %zu failed at decode, %zu still converted\n", tried, failed, tried - failed);
    EXPECT_GT(failed, 0u) << "flips in the structure must be noticed";
    if (!kSanitized) {
        EXPECT_LT(peakRssKiB() - rssBefore, 512 * 1024) << "memory grew with damaged input";
    }
}

TEST_F(HostileInput, ClaimedGiantSizeFailsAtDecodeQuickly)
{
    // ispe of the only image claims 60000 x 60000; the coded picture is small.
    auto heic = sampleHeic();
    const auto ispe = findBox(heic, "ispe");
    putU32(heic, ispe.offset + 12, 60000);
    putU32(heic, ispe.offset + 16, 60000);
    const auto source = write("giant.heic", heic);
    const long rssBefore = peakRssKiB();
    expectDecodeFailure(convert(source, out()), source, out());
    if (!kSanitized) {
        EXPECT_LT(peakRssKiB() - rssBefore, 256 * 1024);
    }
}

TEST_F(HostileInput, BrokenGridReferencesFailAtDecode)
{
    const auto grid = gridHeic();
    const auto dimg = findBox(grid, "dimg"); // from(2) count(2) to(2)...
    const uint16_t gridId = readU16(grid, dimg.offset + 8);
    ASSERT_EQ(readU16(grid, dimg.offset + 10), 1) << "the fixture is a grid of one tile";
    const auto idat = findBox(grid, "idat"); // version, flags, rows-1, columns-1, ...

    std::vector<std::pair<std::string, std::vector<uint8_t>>> cases;
    {
        auto bytes = grid; // 2 x 2 tiles described, one referenced
        bytes[idat.offset + 10] = 1;
        bytes[idat.offset + 11] = 1;
        cases.emplace_back("missing-tiles.heic", bytes);
    }
    {
        auto bytes = grid; // the tile's item does not exist
        putU16(bytes, dimg.offset + 12, 999);
        cases.emplace_back("absent-tile.heic", bytes);
    }
    {
        auto bytes = grid; // the grid is its own tile
        putU16(bytes, dimg.offset + 12, gridId);
        cases.emplace_back("self-loop.heic", bytes);
    }
    {
        auto bytes = grid; // the tile claims to be a grid itself, of no tiles
        const uint16_t tileId = readU16(grid, dimg.offset + 12);
        for (const auto& box : listBoxes(bytes)) {
            if (box.type != "infe" || bytes[box.offset + 8] < 2 || readU16(bytes, box.offset + 12) != tileId)
                continue;
            std::copy_n("grid", 4, bytes.begin() + long(box.offset) + 16);
        }
        ASSERT_NE(bytes, grid);
        cases.emplace_back("nested-grid.heic", bytes);
    }
    {
        auto bytes = grid; // the primary item is the tile, which points at the grid
        const auto pitm = findBox(bytes, "pitm");
        putU16(bytes, dimg.offset + 8, readU16(grid, dimg.offset + 12));
        putU16(bytes, dimg.offset + 12, gridId);
        putU16(bytes, pitm.offset + 12, readU16(grid, dimg.offset + 12));
        cases.emplace_back("reversed-reference.heic", bytes);
    }
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        const auto source = write(name, bytes);
        expectWholeJpegOrDecodeFailure(convert(source, out()), source, out());
        clearOut();
    }
    // Those that cannot make sense must fail.
    for (const char* name : {"missing-tiles.heic", "absent-tile.heic", "self-loop.heic", "nested-grid.heic"}) {
        SCOPED_TRACE(name);
        expectDecodeFailure(convert(dir_ / name, out()), dir_ / name, out());
    }
}

TEST_F(HostileInput, SparseTwoGibFileFailsAtReadWithoutTakingItsSize)
{
    // A source this large is no photo; the read step refuses it rather than
    // holding 2 GiB. The file costs no disk: it is all hole.
    const fs::path source = dir_ / "sparse.heic";
    {
        const UniqueFd fd = openFd(source.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_TRUE(fd);
        ASSERT_EQ(::ftruncate(fd.get(), off_t(2) << 30), 0);
    }
    const long rssBefore = peakRssKiB();
    const Result result = convert(source, out());
    EXPECT_FALSE(result.outcome.succeeded());
    EXPECT_EQ(result.lines, (std::vector<std::string>{"Converting file: sparse.heic", kRead}));
    EXPECT_EQ(entriesOf(out()), std::vector<std::string>{});
    EXPECT_LT(peakRssKiB() - rssBefore, 256 * 1024);
}

TEST_F(HostileInput, OddNamesConvertAndAreReportedVerbatim)
{
    const auto heic = sampleHeic();
    for (const std::string& name : {std::string("two\nlines.heic"), std::string("bad-\xff\xfe-utf8.HEIC"),
                                   std::string("tab\tand \x01 control.heic"), std::string("-dash.heic")}) {
        SCOPED_TRACE(name);
        const auto source = write(name, heic);
        const Result result = convert(source, out());
        ASSERT_TRUE(result.outcome.succeeded());
        const std::string jpeg = fs::path(name).stem().string() + ".jpg";
        EXPECT_EQ(result.lines, (std::vector<std::string>{"Converting file: " + name,
                                                          "Destination URL: " + (out() / jpeg).string(),
                                                          "Successfully converted " + name + " to " + jpeg}));
        EXPECT_EQ(readJpeg(out() / jpeg).orientation, 6);
        clearOut();
    }
}

TEST_F(HostileInput, PathsNearTheSystemLimit)
{
    // A source 4000 characters deep converts; so does a JPEG whose path
    // passes the system's limit, written through its folder's descriptor; a
    // folder whose own path passes it fails with its line.
    fs::path deep = dir_.path();
    while (deep.string().size() < 3800)
        deep /= std::string(200, 'd');
    fs::create_directories(deep);
    const std::string name = std::string(4000 - deep.string().size() - 1 - 5, 'n') + ".heic";
    const fs::path source = deep / name;
    ASSERT_EQ(source.string().size(), 4000u);
    writeFile(source, sampleHeic());

    const Result converted = convert(source, out());
    EXPECT_TRUE(converted.outcome.succeeded());
    EXPECT_EQ(entriesOf(out()).size(), 1u);

    const fs::path nearLimit = deep / std::string(250, 'o');
    ASSERT_GT((nearLimit / name).string().size(), size_t(PATH_MAX));
    EXPECT_TRUE(convert(source, nearLimit).outcome.succeeded());
    EXPECT_EQ(entriesOf(nearLimit).size(), 1u);

    const fs::path tooDeep = nearLimit / std::string(100, 'x');
    const Result refused = convert(source, tooDeep);
    EXPECT_EQ(refused.outcome.step, tessavo::ConversionStep::CreateFolder);
    EXPECT_EQ(refused.outcome.reason, std::strerror(ENAMETOOLONG));
    ASSERT_EQ(refused.lines.size(), 3u);
    EXPECT_EQ(refused.lines[1], "Destination URL: " + (tooDeep / (source.stem().string() + ".jpg")).string());
}
