#pragma once

#include "conversion/core/owners.h"
#include "heic_fixture.h"

#include <algorithm>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <sys/mman.h>
#include <sys/wait.h>
#include <thread>

namespace tessavo::testsupport {

using Lines = std::vector<std::string>;

struct ConvertRun {
    int exitStatus = -1; // the exit code, or 128 + the signal that ended it
    Lines lines, errors; // stdout, stderr
};

// Runs PREFIX... tessavo-convert ARGS... FILES... in `folder`, in a child process; a prefix sets limits or
// the user (prlimit, setpriv). `midRun` is called with the child's pid once it has converted a file.
inline ConvertRun runConvert(const std::filesystem::path& folder, Lines args,
                             const std::vector<std::filesystem::path>& files = {}, const Lines& prefix = {},
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
    const auto converted = [](const std::string& line) { return line.starts_with("Successfully converted "); };
    for (int wait = 0; midRun && wait < 20000 && !std::ranges::any_of(lines(0), converted); ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (midRun)
        midRun(pid);
    if (int status = 0; pid > 0 && ::waitpid(pid, &status, 0) == pid)
        return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), lines(0), lines(1)};
    return {};
}

} // namespace tessavo::testsupport
