#pragma once

#include "heic_fixture.h"

#include <fcntl.h>
#include <filesystem>
#include <grp.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace tessavo::testsupport {

struct ConvertRun {
    int exitStatus = -1; // the exit code, or 128 + the signal that ended it
    std::vector<std::string> lines;  // stdout
    std::vector<std::string> errors; // stderr
};

// What the child takes on before it becomes tessavo-convert.
struct ChildLimits {
    rlim_t addressSpace = RLIM_INFINITY;
    rlim_t processes = RLIM_INFINITY; // not enforced for root: use with asNobody
    bool asNobody = false;
};
// Exit codes of a child that could not set itself up, or not start.
inline constexpr int kSetupFailed = 125, kExecFailed = 127;

inline std::vector<std::string> linesOf(const std::filesystem::path& file)
{
    std::vector<std::string> lines(1);
    for (const uint8_t byte : readFile(file)) {
        if (byte == '\n')
            lines.emplace_back();
        else
            lines.back().push_back(char(byte));
    }
    lines.pop_back();
    return lines;
}

// Starts tessavo-convert -j JOBS -o OUT FILES..., its stdout and stderr going
// to files in `scratch`.
inline pid_t startConvert(const std::filesystem::path& out, const std::vector<std::filesystem::path>& files, int jobs,
                          const std::filesystem::path& scratch, const ChildLimits& limits = {})
{
    std::vector<std::string> args{TESSAVO_CONVERT, "-j", std::to_string(jobs), "-o", out.string()};
    for (const auto& file : files)
        args.push_back(file.string());
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string stdoutPath = (scratch / "stdout.txt").string(), stderrPath = (scratch / "stderr.txt").string();

    const pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    // Only system calls from here on: the parent may have other threads.
    const int outFd = ::open(stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    const int errFd = ::open(stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (outFd < 0 || errFd < 0 || ::dup2(outFd, STDOUT_FILENO) < 0 || ::dup2(errFd, STDERR_FILENO) < 0)
        ::_exit(kSetupFailed);
    const uid_t nobody = 65534;
    if (limits.asNobody && (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0))
        ::_exit(kSetupFailed);
    const rlimit memory{limits.addressSpace, limits.addressSpace}, processes{limits.processes, limits.processes};
    if ((limits.addressSpace != RLIM_INFINITY && ::setrlimit(RLIMIT_AS, &memory) != 0) ||
        (limits.processes != RLIM_INFINITY && ::setrlimit(RLIMIT_NPROC, &processes) != 0))
        ::_exit(kSetupFailed);
    ::execv(argv[0], argv.data());
    ::_exit(kExecFailed);
}

inline ConvertRun finishConvert(pid_t pid, const std::filesystem::path& scratch)
{
    ConvertRun run;
    int status = 0;
    if (pid > 0 && ::waitpid(pid, &status, 0) == pid)
        run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.lines = linesOf(scratch / "stdout.txt");
    run.errors = linesOf(scratch / "stderr.txt");
    return run;
}

inline ConvertRun runConvert(const std::filesystem::path& out, const std::vector<std::filesystem::path>& files,
                             int jobs, const std::filesystem::path& scratch, const ChildLimits& limits = {})
{
    return finishConvert(startConvert(out, files, jobs, scratch, limits), scratch);
}

} // namespace tessavo::testsupport
