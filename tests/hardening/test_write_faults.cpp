// Disk faults while the JPEGs are written, injected into tessavo-convert by
// a preloaded shim: the job hit ends in `error` with its line, the JPEG that
// was at its destination stays as it was, no temporary file remains, and the
// other files of the run still convert.
#include <cstdio>
#include "heic_fixture.h"
#include "scratch_dir.h"

#include <gtest/gtest.h>

#include "spawn_convert.h"

#include <algorithm>

using namespace tessavo::testsupport;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> temporaries(const fs::path& folder)
{
    std::vector<std::string> found;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(folder, ignored))
        if (entry.path().extension() == ".tmp" || entry.path().filename().string().starts_with("."))
            found.push_back(entry.path().filename().string());
    return found;
}

bool isWholeJpeg(const fs::path& path) { return !readJpeg(path).stored.pixels.empty(); }

class WriteFaults : public ::testing::Test {
protected:
    void SetUp() override
    {
        FixtureOptions options;
        options.width = 160; // several libjpeg buffers of output
        options.height = 120;
        options.photographic = true;
        const auto heic = makeHeic(options);
        for (const char* name : {"a.heic", "b.heic", "c.heic"}) {
            writeFile(dir_ / name, heic);
            files_.push_back(dir_ / name);
        }
        fs::create_directories(out());
        writeFile(out() / "b.jpg", previous_);
    }
    fs::path out() const { return dir_ / "out"; }

    // By default the second file of a one-at-a-time run is hit by `fault`.
    ConvertRun runWithFault(const std::string& fault, const std::vector<fs::path>& files, int jobs = 1,
                            const char* nth = "2", const char* after = "1000")
    {
        return runConvert({{"LD_PRELOAD", TESSAVO_FAULT_SHIM},
                           {"TESSAVO_FAULT_DIR", out().string()},
                           {"TESSAVO_FAULT", fault},
                           {"TESSAVO_FAULT_NTH", nth},
                           {"TESSAVO_FAULT_AFTER", after},
                           {"TESSAVO_FAULT_LOG", (dir_ / "faults.log").string()},
                           {"ASAN_OPTIONS", asanOptionsForPreload()}},
                          out(), files, jobs, dir_.path());
    }
    size_t faultsInjected() const
    {
        const auto log = readFile(dir_ / "faults.log");
        return size_t(std::count(log.begin(), log.end(), '\n'));
    }
    std::string firstFault() const
    {
        const auto log = readFile(dir_ / "faults.log");
        return std::string(log.begin(), std::find(log.begin(), log.end(), '\n'));
    }

    ScratchDir dir_;
    std::vector<fs::path> files_;
    const std::vector<uint8_t> previous_ = std::vector<uint8_t>(333, 0x5A);
};

std::vector<std::string> linesFor(const ConvertRun& run, const std::string& name)
{
    // One file at a time: its lines run from its "Converting file" line to
    // the next one.
    std::vector<std::string> mine;
    bool inside = false;
    for (const auto& line : run.lines) {
        if (line.starts_with("Converting file: "))
            inside = line == "Converting file: " + name;
        if (inside)
            mine.push_back(line);
    }
    return mine;
}

} // namespace

TEST_F(WriteFaults, FailedWriteSyncOrRenameKeepsThePreviousJpeg)
{
    for (const std::string fault : {"enospc", "fsync", "rename"}) {
        SCOPED_TRACE(fault);
        fs::remove(dir_ / "faults.log");
        fs::remove(out() / "a.jpg");
        fs::remove(out() / "c.jpg");
        const ConvertRun run = runWithFault(fault, files_);
        ASSERT_EQ(faultsInjected(), 1u) << "the shim did not fire";
        EXPECT_TRUE(firstFault().starts_with(fault + " " + out().string() + "/"));
        EXPECT_EQ(run.exitStatus, 1);
        const auto b = linesFor(run, "b.heic");
        ASSERT_EQ(b.size(), 3u);
        EXPECT_EQ(b[2], "Failed to finalize the image destination.");
        EXPECT_EQ(readFile(out() / "b.jpg"), previous_) << "the earlier JPEG was touched";
        EXPECT_TRUE(isWholeJpeg(out() / "a.jpg"));
        EXPECT_TRUE(isWholeJpeg(out() / "c.jpg"));
        EXPECT_EQ(linesFor(run, "c.heic").back(), "Successfully converted c.heic to c.jpg");
        EXPECT_EQ(temporaries(out()), std::vector<std::string>{});
    }
}

TEST_F(WriteFaults, OutputFolderVanishingMidRunFailsOnlyTheJobCaughtInIt)
{
    const ConvertRun run = runWithFault("vanish", files_);
    ASSERT_EQ(faultsInjected(), 1u) << "the shim did not fire";
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(linesFor(run, "a.heic").back(), "Successfully converted a.heic to a.jpg");
    EXPECT_EQ(linesFor(run, "b.heic").back(), "Failed to finalize the image destination.");
    // The next job makes the folder again.
    EXPECT_EQ(linesFor(run, "c.heic").back(), "Successfully converted c.heic to c.jpg");
    EXPECT_TRUE(isWholeJpeg(out() / "c.jpg"));
    EXPECT_FALSE(fs::exists(out() / "b.jpg"));
    EXPECT_EQ(temporaries(out()), std::vector<std::string>{});
}

TEST_F(WriteFaults, DiskFullForOneOfManyParallelJobs)
{
    // snprintf rather than string concatenation: GCC 12 warns falsely
    // (-Wrestrict) on "literal" + std::to_string(i).
    const auto numbered = [](int i, const char* extension) {
        char name[32];
        return std::string(name, size_t(std::snprintf(name, sizeof name, "p%d.%s", i, extension)));
    };
    std::vector<fs::path> many;
    for (int i = 0; i < 8; ++i) {
        many.push_back(dir_ / numbered(i, "heic"));
        fs::copy_file(files_[0], many.back());
    }
    const ConvertRun run = runWithFault("enospc", many, 3, "4", "0");
    EXPECT_EQ(faultsInjected(), 1u);
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(std::count(run.lines.begin(), run.lines.end(), "Failed to finalize the image destination."), 1);
    EXPECT_EQ(std::count_if(run.lines.begin(), run.lines.end(),
                            [](const std::string& l) { return l.starts_with("Successfully converted "); }),
              7);
    int whole = 0;
    for (int i = 0; i < 8; ++i)
        whole += isWholeJpeg(out() / numbered(i, "jpg"));
    EXPECT_EQ(whole, 7);
    EXPECT_EQ(temporaries(out()), std::vector<std::string>{});
}

TEST_F(WriteFaults, OutputFolderThatIsAFileFailsEveryJobAndStaysAsItWas)
{
    const fs::path notAFolder = dir_ / "out.txt";
    writeFile(notAFolder, {'k', 'e', 'e', 'p'});
    const ConvertRun run = runConvert({}, notAFolder, files_, 2, dir_.path());
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(std::count_if(run.lines.begin(), run.lines.end(),
                            [](const std::string& l) { return l.starts_with("Failed to create output directory: "); }),
              3);
    EXPECT_EQ(run.lines.size(), 9u);
    EXPECT_EQ(readFile(notAFolder), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));
}
