#pragma once

#include "heic_fixture.h"

#include <fcntl.h>
#include <filesystem>
#include <cstdlib>
#include <map>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace tessavo::testsupport {

struct ConvertRun {
    int exitStatus = -1;
    std::vector<std::string> lines;
};

// Runs tessavo-convert -j JOBS -o OUT FILES... with environment variables
// added or replaced.
inline ConvertRun runConvert(const std::map<std::string, std::string>& env, const std::filesystem::path& out,
               const std::vector<std::filesystem::path>& files, int jobs,
                      const std::filesystem::path& scratch)
{
    std::vector<std::string> args{TESSAVO_CONVERT, "-j", std::to_string(jobs), "-o", out.string()};
    for (const auto& file : files)
        args.push_back(file.string());
    std::vector<std::string> environment;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        if (!env.contains(entry.substr(0, entry.find('='))))
            environment.push_back(entry);
    }
    for (const auto& [name, value] : env)
        environment.push_back(name + "=" + value);

    std::vector<char*> argv, envp;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : environment)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    const std::filesystem::path log = scratch / "stdout.txt";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    ConvertRun run;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    const auto bytes = readFile(log);
    std::string line;
    for (const uint8_t byte : bytes) {
        if (byte == '\n') {
            run.lines.push_back(line);
            line.clear();
        } else {
            line.push_back(char(byte));
        }
    }
    return run;
}

// The sanitizer options of this process, plus those a preloaded library
// needs: it comes before the sanitizer's runtime.
inline std::string asanOptionsForPreload()
{
    const char* inherited = std::getenv("ASAN_OPTIONS");
    return std::string(inherited ? inherited : "") + ":verify_asan_link_order=0";
}

} // namespace tessavo::testsupport
