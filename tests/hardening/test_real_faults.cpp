// Faults of the machine met by tessavo-convert, made for real: a full tmpfs,
// a read-only remount, a folder it may not write, a folder renamed mid-run,
// signals, memory and thread limits. Whatever happens, each file ends with its
// line, the process is not aborted, a JPEG that was there stays as it was,
// and no temporary file is left.
#include "heic_fixture.h"
#include "scratch_dir.h"
#include "spawn_convert.h"
#include "test_mounts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/statvfs.h>
#include <thread>

using namespace tessavo::testsupport;
namespace fs = std::filesystem;

namespace {

// Hidden entries, temporary files among them. FUSE keeps a file unlinked
// while open as .fuse_hidden* until its daemon hears of the close, a moment
// after the process is gone: give that a little while.
std::vector<std::string> hiddenIn(const fs::path& folder)
{
    std::vector<std::string> found;
    for (int wait = 0; wait < 100; ++wait) {
        found.clear();
        std::error_code ignored;
        for (const auto& entry : fs::directory_iterator(folder, ignored))
            if (entry.path().filename().string().starts_with("."))
                found.push_back(entry.path().filename().string());
        if (found.empty() || !found[0].starts_with(".fuse_hidden"))
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return found;
}

size_t wholeJpegsIn(const fs::path& folder)
{
    size_t whole = 0;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(folder, ignored))
        whole += !readJpeg(entry.path()).stored.pixels.empty();
    return whole;
}

size_t count(const std::vector<std::string>& lines, std::string_view prefix)
{
    return size_t(std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.starts_with(prefix); }));
}

// "p7.heic"; snprintf, since GCC 12 warns falsely (-Wrestrict) on
// "literal" + std::to_string(i).
std::string numbered(int i, const char* extension)
{
    char name[32];
    return std::string(name, size_t(std::snprintf(name, sizeof name, "p%d.%s", i, extension)));
}

// `n` copies of a sample named p0.heic...; big enough that a run of them takes a while.
std::vector<fs::path> photos(const fs::path& folder, int n, const char* sample = "recent-phone.heic")
{
    fs::create_directories(folder);
    std::vector<fs::path> files;
    for (int i = 0; i < n; ++i) {
        files.push_back(folder / numbered(i, "heic"));
        fs::copy_file(fs::path(TESSAVO_TEST_DATA) / sample, files.back());
    }
    return files;
}

// Waits until the run has converted a file, so that faults land mid-run.
bool waitForFirstSuccess(const fs::path& scratch)
{
    for (int i = 0; i < 20000; ++i) {
        if (count(linesOf(scratch / "stdout.txt"), "Successfully converted ") > 0)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

bool sanitized()
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return true;
#else
    return false;
#endif
}

} // namespace

TEST(RealFaults, FullDiskFailsTheJobThatDoesNotFitAndKeepsTheJpegItWouldReplace)
{
    ScratchDir dir;
    const fs::path out = dir / "out";
    const TestMount disk = TestMount::tmpfs(out, "size=1m");
    if (!disk.mounted())
        GTEST_SKIP() << "no tmpfs can be mounted here";
    const fs::path big = photos(dir / "in", 1, "gradient-12mp.heic")[0];
    fs::copy_file(fs::path(TESSAVO_TEST_DATA) / "orientation-4-3x5.heic", dir / "in" / "small.heic");
    const std::vector<uint8_t> previous(333, 0x5A);
    writeFile(out / "p0.jpg", previous);
    // Room for the small JPEG, not for the big one.
    struct statvfs space {};
    ASSERT_EQ(::statvfs(out.c_str(), &space), 0);
    writeFile(out / "filler", std::vector<uint8_t>(space.f_bavail * space.f_bsize - 16 * 1024));

    const ConvertRun run = runConvert(out, {big, dir / "in" / "small.heic"}, 1, dir.path());
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.lines, (std::vector<std::string>{
                             "Converting file: p0.heic", "Destination URL: " + (out / "p0.jpg").string(),
                             "Failed to finalize the image destination.", "Converting file: small.heic",
                             "Destination URL: " + (out / "small.jpg").string(),
                             "Successfully converted small.heic to small.jpg"}));
    EXPECT_EQ(run.errors, std::vector<std::string>{"tessavo-convert: p0.heic: No space left on device (writing " +
                                                   (out / "p0.jpg").string() + ")"});
    EXPECT_EQ(readFile(out / "p0.jpg"), previous);
    EXPECT_EQ(wholeJpegsIn(out), 1u);
    EXPECT_EQ(hiddenIn(out), std::vector<std::string>{});
}

TEST(RealFaults, FolderThatCannotTakeTheJpegSaysWhy)
{
    struct Case {
        const char* kind;
        bool asNobody;
        int error;
    };
    for (const Case& c : {Case{"read-only", false, EROFS}, Case{"not permitted", true, EACCES}}) {
        SCOPED_TRACE(c.kind);
        ScratchDir dir;
        const fs::path out = dir / "out";
        fs::create_directories(out);
        const fs::path source = photos(dir.path(), 1)[0];
        std::optional<TestMount> disk;
        if (c.error == EROFS) {
            disk.emplace(TestMount::tmpfs(out));
            if (!disk->mounted() || !disk->remountReadOnly())
                GTEST_SKIP() << "no read-only tmpfs can be mounted here";
        }
        // Root may write anywhere; nobody may read the photo, not write the folder.
        fs::permissions(dir.path(), fs::perms(0755));
        ChildLimits limits;
        limits.asNobody = c.asNobody;
        const ConvertRun run = runConvert(out, {source}, 1, dir.path(), limits);
        if (run.exitStatus == kExecFailed)
            GTEST_SKIP() << "nobody may not run " << TESSAVO_CONVERT;
        EXPECT_EQ(run.exitStatus, 1);
        EXPECT_EQ(run.lines, (std::vector<std::string>{"Converting file: p0.heic",
                                                       "Destination URL: " + (out / "p0.jpg").string(),
                                                       "Failed to create CGImageDestination."}));
        EXPECT_EQ(run.errors, std::vector<std::string>{"tessavo-convert: p0.heic: " + std::string(std::strerror(c.error)) +
                                                       " (writing " + (out / "p0.jpg").string() + ")"});
    }
}

// The JPEGs under way when the folder moves land in it there; later ones make
// the folder again. None is left under a temporary name.
TEST(RealFaults, FolderRenamedMidRunKeepsEveryJpeg)
{
    ScratchDir dir;
    const auto files = photos(dir / "in", 40);
    const fs::path out = dir / "out", moved = dir / "moved";
    // Half replace an earlier JPEG, which takes a hidden name for a moment.
    fs::create_directories(out);
    for (int i = 0; i < 40; i += 2)
        writeFile(out / numbered(i, "jpg"), {1, 2, 3});
    const pid_t pid = startConvert(out, files, 2, dir.path());
    ASSERT_TRUE(waitForFirstSuccess(dir.path()));
    fs::rename(out, moved);
    const ConvertRun run = finishConvert(pid, dir.path());
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(count(run.lines, "Successfully converted "), 40u);
    EXPECT_TRUE(fs::exists(out)) << "the run ended before the rename";
    EXPECT_EQ(hiddenIn(out), std::vector<std::string>{});
    EXPECT_EQ(hiddenIn(moved), std::vector<std::string>{});
    EXPECT_EQ(wholeJpegsIn(out) + wholeJpegsIn(moved), 40u);
}

// With unnamed files nothing is named before it is whole; where the file
// system has none (bindfs), the hidden names go with the process.
TEST(RealFaults, InterruptedRunLeavesNoTemporaryFile)
{
    for (const bool fuse : {false, true}) {
        for (const int signal : {SIGINT, SIGTERM}) {
            SCOPED_TRACE(std::string(fuse ? "bindfs, " : "local, ") + strsignal(signal));
            ScratchDir dir;
            const auto files = photos(dir / "in", 40);
            const fs::path backing = dir / "backing", out = dir / "out";
            fs::create_directories(backing);
            std::optional<TestMount> view;
            if (fuse) {
                view.emplace(TestMount::bindfs(backing, out));
                if (!view->mounted())
                    GTEST_SKIP() << "bindfs cannot mount here";
            }
            const fs::path written = fuse ? out : backing;
            for (int i = 0; i < 40; i += 2)
                writeFile(written / numbered(i, "jpg"), {1, 2, 3});
            for (int attempt = 0; attempt < 3; ++attempt) {
                const pid_t pid = startConvert(written, files, 4, dir.path());
                ASSERT_TRUE(waitForFirstSuccess(dir.path()));
                ::kill(pid, signal);
                EXPECT_EQ(finishConvert(pid, dir.path()).exitStatus, 128 + signal);
                EXPECT_EQ(hiddenIn(backing), std::vector<std::string>{}) << "attempt " << attempt;
            }
        }
    }
}

TEST(RealFaults, MemoryLimitEndsJobsWithTheirLinesNotTheProcess)
{
    if (sanitized())
        GTEST_SKIP() << "the sanitizers' shadow memory does not fit an address-space limit";
    ScratchDir dir;
    std::vector<fs::path> files;
    for (int i = 0; i < 8; ++i) {
        files.push_back(dir / numbered(i, "HEIC"));
        fs::copy_file(TESSAVO_TEST_DATA "/gradient-12mp.heic", files.back());
    }
    // 500 MB: the photos take turns for the room and all convert. 300 MB:
    // not even one fits, and every job ends with its own line.
    for (const auto& [megabytes, converting] : {std::pair{500u, 8u}, std::pair{300u, 0u}}) {
        SCOPED_TRACE(megabytes);
        ChildLimits limits;
        limits.addressSpace = size_t(megabytes) << 20;
        const fs::path out = dir / ("out" + std::to_string(megabytes));
        const ConvertRun run = runConvert(out, files, 8, dir.path(), limits);
        EXPECT_EQ(run.exitStatus, converting == 8 ? 0 : 1);
        EXPECT_EQ(count(run.lines, "Converting file: "), 8u);
        EXPECT_EQ(count(run.lines, "Successfully converted "), converting);
        EXPECT_EQ(count(run.lines, "Failed to "), 8 - converting);
        EXPECT_EQ(run.errors.size(), 8 - converting);
        EXPECT_EQ(wholeJpegsIn(out), converting);
        EXPECT_EQ(hiddenIn(out), std::vector<std::string>{});
    }
}

TEST(RealFaults, ThreadLimitRunsTheWorkOnFewerThreads)
{
    if (sanitized())
        GTEST_SKIP() << "the sanitizers need threads of their own";
    ScratchDir dir;
    const auto files = photos(dir / "in", 6, "orientation-1.heic");
    fs::permissions(dir.path(), fs::perms(0777));
    fs::permissions(dir / "in", fs::perms(0777));
    ChildLimits limits;
    limits.asNobody = true; // the limit does not hold for root
    limits.processes = 1;   // no thread beyond the first
    const ConvertRun run = runConvert(dir / "in" / "out", files, 4, dir.path(), limits);
    if (run.exitStatus == kExecFailed)
        GTEST_SKIP() << "nobody may not run " << TESSAVO_CONVERT;
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(count(run.lines, "Successfully converted "), 6u);
    EXPECT_EQ(wholeJpegsIn(dir / "in" / "out"), 6u);
}
