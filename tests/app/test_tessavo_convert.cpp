// tessavo-convert as scripts see it, and under real faults of the machine.
#include "jpeg_readback.h"
#include "sample_files.h"
#include "scratch_dir.h"
#include "test_mounts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <thread>

using namespace tessavo;
using namespace tessavo::testsupport;
namespace fs = std::filesystem;

namespace {

using Lines = std::vector<std::string>;
const auto converted = [](const std::string& line) { return line.starts_with("Successfully converted "); };

struct ConvertRun {
    int exitStatus = -1; // the exit code, or 128 + the signal that ended it
    Lines lines, errors; // stdout, stderr
};

// Runs PREFIX... (prlimit, setpriv) tessavo-convert ARGS... FILES... in `folder`; `midRun(pid)` after its first JPEG.
ConvertRun runConvert(const fs::path& folder, Lines args, const std::vector<fs::path>& files = {}, const Lines& prefix = {},
    const std::function<void(pid_t)>& midRun = {})
{
    args.insert(args.begin(), TESSAVO_CONVERT);
    args.insert(args.begin(), prefix.begin(), prefix.end());
    args.insert(args.end(), files.begin(), files.end());
    std::vector<char*> argv;
    std::ranges::transform(args, std::back_inserter(argv), [](std::string& arg) { return arg.data(); });
    argv.push_back(nullptr);
    // Appended to: a memfd has no atomic file position, and jobs print at once.
    UniqueFd printed[2];
    for (UniqueFd& file : printed)
        ::fcntl((file = UniqueFd(::memfd_create("printed", MFD_CLOEXEC))).get(), F_SETFL, O_APPEND);
    const pid_t pid = ::fork();
    if (pid == 0) { // only system calls from here on: the parent may have other threads
        // Nothing inherited beyond stdio (ctest may pass more): a descriptor limit means what it says.
        if (::dup2(printed[0].get(), 1) >= 0 && ::dup2(printed[1].get(), 2) >= 0 && ::chdir(folder.c_str()) == 0 &&
            ::close_range(3, ~0U, 0) == 0)
            ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    const auto lines = [&](int stream) {
        std::ifstream text("/proc/self/fd/" + std::to_string(printed[stream].get()));
        Lines lines;
        for (std::string line; std::getline(text, line);)
            lines.push_back(line);
        return lines;
    };
    for (int wait = 0; midRun && wait < 20000 && !std::ranges::any_of(lines(0), converted); ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (midRun && pid > 0) // never kill(-1)
        midRun(pid);
    if (int status = 0; pid > 0 && ::waitpid(pid, &status, 0) == pid)
        return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), lines(0), lines(1)};
    return {};
}

std::vector<fs::path> copies(const char* sample, int n, const fs::path& folder)
{
    std::vector<fs::path> files;
    for (int i = 0; i < n; ++i)
        fs::copy_file(fs::path(TESSAVO_TEST_DATA) / sample, files.emplace_back(folder / (std::to_string(i) + ".heic")));
    return files;
}

// The whole JPEGs in `folder`; any hidden entry but FUSE's own is a temporary file left.
size_t wholeJpegsIn(const fs::path& folder)
{
    return size_t(std::ranges::count_if(fs::directory_iterator(folder), [](const fs::directory_entry& entry) {
        const std::string name = entry.path().filename();
        EXPECT_TRUE(name[0] != '.' || name.starts_with(".fuse_hidden")) << "left behind: " << entry.path();
        return !readJpeg(entry.path()).stored.pixels.empty();
    }));
}

const Lines kStdoutReaderGone{"python3", "-c",
    "import os, signal, sys; signal.signal(signal.SIGPIPE, signal.SIG_DFL); r, w = os.pipe(); os.close(r); "
    "os.dup2(w, 1); os.execvp(sys.argv[1], sys.argv[1:])"};

} // namespace

TEST(TessavoConvert, EachRunPrintsItsLinesAndExitStatus)
{
    ScratchDir dir;
    const char* const samples[][2] = {{"exif-mm-orientation-6.heic", "a.heic"}, {"odd-size.heic", "B.HEIC"},
        {"odd-size.heic", "a/IMG_0001.HEIC"}, {"exif-mm-orientation-6.heic", "b/IMG_0001.HEIC"}, {"odd-size.heic", "OUT/photo.jpg"}};
    for (const auto& [sample, copy] : samples)
        fs::create_directories((dir / copy).parent_path()), fs::copy_file(fs::path(TESSAVO_TEST_DATA) / sample, dir / copy);
    // No HEIC; in OUT, the user's hidden files and what a killed run left.
    for (const char* name : {"bad.heic", "bad\r.heic", "OUT/.keep", "OUT/.x.jpg", "OUT/.tessavo-left.tmp"})
        writeFile(dir / name, {1, 2, 3});
    fs::copy_file(dir / "B.HEIC", dir / "new\nline\x1b[31m\t\xc2\x9b\\ \xff\xc3\xbc.heic");
    fs::create_symlink("B.HEIC", dir / "link.heic");
    for (const Lines& usage : {Lines{}, {"-j", "0", "a.heic"}, {"--frob\nnicate", "a.heic"}, {"a.heic", "-o"}}) {
        const ConvertRun got = runConvert(dir.path(), usage);
        EXPECT_TRUE(got.exitStatus == 2 && got.lines.empty() && got.errors.size() == 1) << ::testing::PrintToString(usage);
    }
    const std::tuple<Lines, int, Lines, Lines> runs[] = {// arguments, exit status, stdout, stderr
        {{"--version"}, 0, {"tessavo-convert 1.0"}, {}},
        // Photos of one name keep apart, the first in the list keeps it; OUT/photo.jpg, a HEIC, gets its own JPEG.
        {{"-j", "1", "-o", "OUT", "a.heic", "B.HEIC", "a/IMG_0001.HEIC", "b/IMG_0001.HEIC"}, 0,
            {"Converting file: a.heic", "Destination URL: OUT/a.jpg", "Successfully converted a.heic to a.jpg", "Converting file: B.HEIC",
                "Destination URL: OUT/B.jpg", "Successfully converted B.HEIC to B.jpg", "Converting file: IMG_0001.HEIC",
                "Destination URL: OUT/IMG_0001.jpg", "Successfully converted IMG_0001.HEIC to IMG_0001.jpg",
                "Converting file: IMG_0001.HEIC", "Destination URL: OUT/IMG_0001 (2).jpg",
                "Successfully converted IMG_0001.HEIC to IMG_0001 (2).jpg"},
            {}},
        {{"-j1", "--output=OUT", "bad.heic", "missing.heic", "OUT/photo.jpg", "a.heic"}, 1,
            {"Converting file: bad.heic", "Failed to create CGImageSource.", "Converting file: missing.heic", "Failed to read HEIC data.",
                "Converting file: photo.jpg", "Destination URL: OUT/photo (2).jpg", "Successfully converted photo.jpg to photo (2).jpg",
                "Converting file: a.heic", "Destination URL: OUT/a.jpg", "Successfully converted a.heic to a.jpg"},
            {"tessavo-convert: bad.heic: Invalid input: No 'ftyp' box (decoding bad.heic)",
                "tessavo-convert: missing.heic: No such file or directory (reading missing.heic)"}},
        // One photo named four ways is converted once.
        {{"-j2", "B.HEIC", "B.HEIC", "./B.HEIC", "link.heic"}, 0,
            {"Converting file: B.HEIC", "Destination URL: ./B.jpg", "Successfully converted B.HEIC to B.jpg"},
            {"tessavo-convert: B.HEIC: the same file as B.HEIC, converted once",
                "tessavo-convert: ./B.HEIC: the same file as B.HEIC, converted once",
                "tessavo-convert: link.heic: the same file as B.HEIC, converted once"}},
        // One line per step: control characters are shown, the rest is as it is.
        {{"-j1", "-o", "OUT", "new\nline\x1b[31m\t\xc2\x9b\\ \xff\xc3\xbc.heic", "bad\r.heic"}, 1,
            {"Converting file: new\\nline\\x1b[31m\\t\\xc2\\x9b\\ \xff\xc3\xbc.heic",
                "Destination URL: OUT/new\\nline\\x1b[31m\\t\\xc2\\x9b\\ \xff\xc3\xbc.jpg",
                "Successfully converted new\\nline\\x1b[31m\\t\\xc2\\x9b\\ \xff\xc3\xbc.heic to new\\nline\\x1b[31m\\t\\xc2\\x9b\\ "
                "\xff\xc3\xbc.jpg",
                "Converting file: bad\\r.heic", "Failed to create CGImageSource."},
            {"tessavo-convert: bad\\r.heic: Invalid input: No 'ftyp' box (decoding bad\\r.heic)"}}};
    for (const auto& [args, status, out, err] : runs) {
        SCOPED_TRACE(::testing::PrintToString(args));
        const ConvertRun got = runConvert(dir.path(), args);
        EXPECT_EQ(got.exitStatus, status);
        EXPECT_EQ(got.lines, out);
        EXPECT_EQ(got.errors, err);
    }
    // Nor is another source of the run written over, however many jobs.
    fs::copy_file(dir / "a.heic", dir / "OUT" / "photo.heic");
    for (const char* jobs : {"-j1", "-j2"})
        EXPECT_EQ(runConvert(dir.path(), {jobs, "-o", "OUT", "OUT/photo.heic", "OUT/photo.jpg"}).exitStatus, 0);
    EXPECT_EQ(readJpeg(dir / "OUT" / "photo (2).jpg").orientation, 6);
    EXPECT_EQ(readJpeg(dir / "OUT" / "IMG_0001 (2).jpg").orientation, 6);
    EXPECT_EQ(readFile(dir / "OUT" / "photo.jpg"), readFile(dir / "B.HEIC"));
    const Lines out = entriesOf(dir / "OUT"); // the sweep took only what was its own
    EXPECT_EQ(Lines(out.begin(), out.begin() + 3), (Lines{".keep", ".x.jpg", "B.jpg"}));
}

// A folder's HEIF photos in file-manager order under its name, one named alone at the top, or each beside its original;
// no hidden entries or links to folders; nothing written through a link in the output tree, nor above it.
TEST(TessavoConvert, FoldersKeepTheirShape)
{
    ScratchDir dir;
    for (const char* photo : {"DCIM/100APPLE/IMG_10.heic", "DCIM/100APPLE/IMG_2.HEIF", "DCIM/101APPLE/deep/IMG_1.hif", "DCIM/IMG_1.heic",
             "DCIM/.hidden/IMG_3.heic", "DCIM/101APPLE/notes.heic.txt", "elsewhere/IMG_1.heic"})
        fs::create_directories((dir / photo).parent_path()), fs::copy_file(fs::path(TESSAVO_TEST_DATA) / "odd-size.heic", dir / photo);
    fs::create_directory_symlink(dir / "elsewhere", dir / "DCIM/link");
    const auto written = [&](const Lines& args) {
        const ConvertRun run = runConvert(dir.path(), args);
        Lines places{std::to_string(run.exitStatus)};
        for (const std::string& line : run.lines)
            if (line.starts_with("Destination URL: "))
                places.push_back(line.substr(17));
        return places;
    };
    EXPECT_EQ(written({"-j1", "-o", "OUT", "DCIM", "elsewhere/IMG_1.heic", "DCIM/101APPLE/.."}),
        (Lines{"0", "OUT/DCIM/IMG_1.jpg", "OUT/DCIM/100APPLE/IMG_2.jpg", "OUT/DCIM/100APPLE/IMG_10.jpg", "OUT/DCIM/101APPLE/deep/IMG_1.jpg",
            "OUT/IMG_1.jpg"}));
    EXPECT_EQ(written({"-j1", "--beside-originals", "DCIM/100APPLE", "DCIM/101APPLE"}),
        (Lines{"0", "DCIM/100APPLE/IMG_2.jpg", "DCIM/100APPLE/IMG_10.jpg", "DCIM/101APPLE/deep/IMG_1.jpg"}));
    fs::remove_all(dir / "OUT/DCIM");
    fs::create_directory_symlink(dir / "elsewhere", dir / "OUT/DCIM");
    EXPECT_EQ(written({"-j1", "-o", "OUT", "DCIM"})[0], "1");
    const ConversionOptions climbing{.subfolder = "../elsewhere"};
    EXPECT_EQ(
        convertFile(dir / "DCIM/IMG_1.heic", dir / "OUT", climbing, [](std::string_view) {}).failure->step, ConversionStep::CreateFolder);
    EXPECT_EQ(entriesOf(dir / "elsewhere"), Lines{"IMG_1.heic"});
}

// With the flag, date, camera, place and file time go along, made true for the JPEG; without it, only the orientation.
TEST(TessavoConvert, KeepMetadataCopiesWhatHoldsForTheJpeg)
{
    const std::tuple<const char*, std::string, std::string> cases[] = {// photo, its orientation, the tags kept
        {"exif-mm-orientation-6.heic", "6",
            "-ExifTool:Validate=0 0 0\n-IFD0:Orientation=6\n-IFD0:Model=Phone 1\n-ExifIFD:DateTimeOriginal=2023:07:14 "
            "18:02:11\n-GPS:GPSLatitude=48.8584\n-ExifIFD:ExifImageWidth=64\n-XMP-dc:Title=Sample\n-XMP-tiff:Orientation=6\n"},
        {"exif-ii-orientation-3.heic", "3",
            "-ExifTool:Validate=0 0 0\n-IFD0:Orientation=3\n-IFD0:Model=Phone 2\n-ExifIFD:DateTimeOriginal=2024:01:02 "
            "03:04:05\n-GPS:GPSLatitude=35.6586\n-ExifIFD:ExifImageWidth=64\n"},
        // Exif and XMP too large for one JPEG segment, left out with a note each.
        {"metadata-over-64k.heic", "6", "-ExifTool:Validate=0 4 0\n-IFD0:Orientation=6\n"}};
    ScratchDir dir;
    const auto taken = fs::file_time_type::clock::now() - std::chrono::nanoseconds(123456789123456789);
    std::vector<fs::path> files;
    for (const auto& [file, orientation, kept] : cases)
        fs::copy_file(fs::path(TESSAVO_TEST_DATA) / file, files.emplace_back(dir / file)), fs::last_write_time(files.back(), taken);
    const ConvertRun kept = runConvert(dir.path(), {"--keep-metadata", "-o", "kept"}, files);
    EXPECT_EQ(kept.exitStatus, 0);
    EXPECT_EQ(kept.errors,
        (Lines{"tessavo-convert: metadata-over-64k.heic: Exif of 66654 bytes does not fit one JPEG segment; not copied",
            "tessavo-convert: metadata-over-64k.heic: XMP of 69308 bytes does not fit one JPEG segment; not copied"}));
    ASSERT_EQ(runConvert(dir.path(), {"-o", "plain"}, files).exitStatus, 0);
    const auto tags = [&](const fs::path& jpeg) {
        const std::string command = "exiftool -args -G1 -n -validate -IFD0:Orientation -Model -DateTimeOriginal -GPS:GPSLatitude "
                                    "-ExifIFD:ExifImageWidth -XMP-dc:Title -XMP-tiff:Orientation -IFD1:all ";
        EXPECT_EQ(std::system((command + jpeg.string() + " >" + (dir / "tags").string()).c_str()), 0);
        const auto text = readFile(dir / "tags");
        return std::string(text.begin(), text.end());
    };
    for (const auto& [file, orientation, kept] : cases) {
        SCOPED_TRACE(file);
        const fs::path jpeg = fs::path(file).replace_extension(".jpg");
        EXPECT_EQ(tags(dir / "kept" / jpeg), kept);
        // The original's thumbnail (a JFIF) is wiped, not only unlinked; ours writes no JFIF.
        const auto bytes = readFile(dir / "kept" / jpeg);
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()).find("JFIF"), std::string::npos);
        EXPECT_EQ(fs::last_write_time(dir / "kept" / jpeg), taken);
        EXPECT_EQ(tags(dir / "plain" / jpeg), "-ExifTool:Validate=0 4 0\n-IFD0:Orientation=" + orientation + "\n");
        EXPECT_NE(fs::last_write_time(dir / "plain" / jpeg), taken);
    }
}

// Eight photos at -j 8 under each fault; a JPEG there before the run stays when its job fails. Each case: the options of
// the tmpfs mounted as the output folder, read-only, the prefix, the sample, each failure's line and reason (none: all convert).
TEST(RealFaults, EachFailedJobEndsWithItsLinesAndTheReason)
{
    const std::tuple<const char*, bool, Lines, const char*, const char*, const char*> cases[] = {
        {"size=4k", false, {}, "odd-size.heic", "Failed to finalize the image destination.", ": No space left on device"},
        {"mode=0755", true, {}, "odd-size.heic", "Failed to create CGImageDestination.", ": Read-only file system"},
        {"mode=0755", false, {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"}, "odd-size.heic",
            "Failed to create CGImageDestination.", ": Permission denied"},
        {"mode=0777", false, {"prlimit", "--nofile=4"}, "odd-size.heic", "Failed to ", ": Too many open files ("},
        {"mode=0777", false, {"prlimit", "--fsize=5000"}, "recent-phone.heic", "Failed to finalize the image destination.",
            ": File too large ("},
        // A failing fsync before the JPEG is named. (LeakSanitizer cannot work under ptrace.)
        {"mode=0777", false, {"strace", "-f", "-o", "/dev/null", "-E", "ASAN_OPTIONS=detect_leaks=0", "-e", "inject=fsync:error=EIO"},
            "odd-size.heic", "Failed to finalize the image destination.", ": Input/output error (writing out/"},
        // Nobody may write into the folder but not read it.
        {"mode=0733", false, {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"}, "odd-size.heic", nullptr, nullptr},
        {"mode=0777", false, kStdoutReaderGone, "odd-size.heic", nullptr, nullptr},
        // The photos take turns for the room; at 300 MB not one fits.
        {"mode=0777", false, {"prlimit", "--as=524288000"}, "gradient-12mp.heic", nullptr, nullptr},
        {"mode=0777", false, {"prlimit", "--as=314572800"}, "gradient-12mp.heic", "Failed to create CGImage.",
            ": Not enough memory to decode the photo (decoding "},
        // No thread beyond the first (root is above that limit).
        {"mode=0777", false, {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "prlimit", "--nproc=1"}, "odd-size.heic",
            nullptr, nullptr}};
    for (const auto& [tmpfs, readOnly, prefix, sample, failure, reason] : cases) {
        SCOPED_TRACE(::testing::PrintToString(prefix) + (reason ? reason : ""));
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
        // Shadow memory does not fit an address-space limit; the sanitizers need threads, and descriptors for the maps.
        if (std::ranges::find(prefix, "prlimit") != prefix.end())
            continue;
#endif
        ScratchDir dir;
        fs::permissions(dir.path(), fs::perms::all); // for nobody to read the photos
        const auto files = copies(sample, 8, dir.path());
        const TestMount disk = TestMount::tmpfs(dir / "out", tmpfs);
        ASSERT_TRUE(disk.mounted()) << "a tmpfs on " << dir / "out";
        const std::vector<uint8_t> previous(333, 0x5A); // the last photo's JPEG, there before the run
        writeFile(dir / "out" / "7.jpg", previous);
        ASSERT_TRUE(!readOnly || disk.remountReadOnly());
        const ConvertRun run = runConvert(dir.path(), {"-j", "8", "-o", "out"}, files, prefix);
        ASSERT_FALSE(run.exitStatus >= 126 && run.exitStatus < 128) << "could not run " << TESSAVO_CONVERT;
        const size_t failed = failure ? 8 : 0;
        EXPECT_EQ(run.exitStatus, failed ? 1 : 0);
        const auto isFailure = [&](const std::string& line) { return line.starts_with(failure ? failure : "Failed"); };
        EXPECT_EQ(size_t(std::ranges::count_if(run.lines, isFailure)), failed);
        EXPECT_EQ(run.errors.size(), failed);
        for (const std::string& line : run.errors)
            EXPECT_TRUE(line.find(reason) != line.npos && line.find("unknown error") == line.npos) << line;
        EXPECT_EQ(wholeJpegsIn(dir / "out"), 8 - failed);
        EXPECT_EQ(entriesOf(dir / "out").size(), failed ? 1u : 8u) << "a failed job leaves no file";
        EXPECT_EQ(readFile(dir / "out" / "7.jpg") == previous, failed > 0);
    }
}

// The output folder renamed or the process interrupted mid-run, locally and on bindfs (no O_TMPFILE); half the JPEGs
// replace an earlier one, which takes a hidden name for a moment.
TEST(RealFaults, MidRunFaultsLeaveNoTemporaryFile)
{
    ScratchDir dir;
    const auto files = copies("recent-phone.heic", 40, dir.path());
    fs::create_directories(dir / "local");
    const TestMount view = TestMount::bindfs(dir / "local", dir / "bindfs");
    for (const std::string root : {"local", "bindfs"}) {
        ASSERT_TRUE(root == "local" || view.mounted()) << "bindfs on " << dir / "bindfs";
        // Renamed only locally: on FUSE a rename may fall between a job making the folder and opening it.
        for (const int signal : {root == "local" ? 0 : SIGINT, SIGINT, SIGTERM, SIGINT, SIGTERM, SIGINT, SIGTERM}) {
            SCOPED_TRACE(root + ", " + (signal ? strsignal(signal) : "renamed"));
            const fs::path out = dir / root / "out", moved = dir / root / "moved"; // renamed on the first run
            fs::create_directories(out);
            for (int i = 0; i < 40; i += 2)
                writeFile(out / std::to_string(i).append(".jpg"), {1, 2, 3});
            const auto fault = [&](pid_t pid) { signal ? void(::kill(pid, signal)) : fs::rename(out, moved); };
            const ConvertRun run = runConvert(dir.path(), {"-j", "4", "-o", out}, files, {}, fault);
            const bool done = std::ranges::count_if(run.lines, converted) == 40; // over before the signal came: ends as usual
            EXPECT_TRUE(run.exitStatus == (signal ? 128 + signal : 0) || (done && run.exitStatus == 0)) << run.exitStatus;
            const size_t whole = wholeJpegsIn(out) + (fs::exists(moved) ? wholeJpegsIn(moved) : 0);
            EXPECT_TRUE(signal || whole == 40) << whole << " whole JPEGs";
        }
    }
}

// On exFAT (no O_TMPFILE) a JPEG's hidden name lasts until its rename (a slow fsync here). A catchable signal removes it, the
// next run what SIGKILL left but never a running run's (locked) file. A file over the size limit fails alone, leaving nothing.
TEST(RealFaults, KilledRunsOnExfatLeaveOnlyWholeJpegs)
{
    ScratchDir dir;
    const TestMount disk = TestMount::fat(dir / "exfat.img", dir / "disk", true);
    ASSERT_TRUE(disk.mounted()) << "exfat-fuse on a loop image at " << dir / "disk";
    auto files = copies("odd-size.heic", 6, dir.path());
    const fs::path out = dir / "disk" / "out";
    fs::create_directories(out);
    writeFile(out / ".tessavo-abandoned.tmp", {1});
    UniqueFd live = openFd((out / ".tessavo-live.tmp").c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_EQ(::flock(live.get(), LOCK_EX), 0);
    const Lines slowSync{"strace", "-f", "-o", "/dev/null", "-E", "ASAN_OPTIONS=detect_leaks=0", "-e", "inject=fsync:delay_enter=100000"};
    const auto hiddenIn = [](const fs::path& folder) {
        Lines names;
        for (const fs::directory_entry& entry : fs::directory_iterator(folder))
            if (entry.path().filename().string().starts_with(".tessavo-"))
                names.push_back(entry.path().filename());
        return names;
    };
    for (const int signal : {SIGQUIT, SIGUSR1, SIGALRM, SIGTERM, SIGKILL, SIGKILL}) {
        SCOPED_TRACE(strsignal(signal));
        const auto kill = [&](pid_t strace) {
            pid_t pid = 0;
            const std::string task = std::to_string(strace);
            std::ifstream(fs::path("/proc") / task / "task" / task / "children") >> pid;
            for (int wait = 0; wait < 5000 && hiddenIn(out).size() < 2; ++wait)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            if (pid > 0) // strace already gone: kill(0) would signal the whole process group
                ::kill(pid, signal);
        };
        EXPECT_EQ(runConvert(dir.path(), {"-j2", "-o", out}, files, slowSync, kill).exitStatus, 128 + signal);
        for (const fs::directory_entry& entry : fs::directory_iterator(out))
            EXPECT_TRUE(entry.path().filename().string()[0] == '.' || readJpeg(entry.path()).stored.width > 0);
        EXPECT_TRUE(signal == SIGKILL || hiddenIn(out) == Lines{".tessavo-live.tmp"}) << ::testing::PrintToString(hiddenIn(out));
    }
    live = {};
    fs::copy_file(fs::path(TESSAVO_TEST_DATA) / "recent-phone.heic", files.emplace_back(dir / "large.heic"));
    const ConvertRun last = runConvert(dir.path(), {"-j2", "-o", out}, files, {"prlimit", "--fsize=5000"});
    EXPECT_EQ(last.exitStatus, 1);
    EXPECT_TRUE(last.errors.size() == 1 && last.errors[0].starts_with("tessavo-convert: large.heic: File too large (writing "))
        << ::testing::PrintToString(last.errors);
    EXPECT_EQ(wholeJpegsIn(out), 6u);
}
