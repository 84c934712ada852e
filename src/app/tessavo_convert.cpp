// tessavo-convert: the window's conversion, for scripts and benchmarks.
#include "app/console.h"
#include "conversion/core/convert_file.h"
#include "conversion/core/destination_names.h"
#include "conversion/core/jpeg_output.h"

#include <atomic>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <string>
#include <string_view>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::string_view kUsage = "usage: tessavo-convert [-o DIR] [-j N] [--keep-metadata] FILE...";

int usageError(const std::string& problem)
{
    std::fprintf(stderr, "tessavo-convert: %s (%.*s)\n", problem.c_str(), int(kUsage.size()), kUsage.data());
    return 2;
}

bool parseJobs(std::string_view text, unsigned& jobs)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), jobs);
    return error == std::errc{} && end == text.data() + text.size() && jobs >= 1 && jobs <= 1024;
}

// One line on stderr per failed file, the reason and what was being done:
//   tessavo-convert: IMG_0042.HEIC: No space left on device (writing /out/IMG_0042.jpg)
void reportFailure(const std::filesystem::path& source, const std::filesystem::path& outputDirectory,
                   const tessavo::ConversionResult& result)
{
    using Step = tessavo::ConversionStep;
    std::string line;
    try {
        const std::string doing = result.step == Step::Read ? "reading " + source.string()
            : result.step == Step::Parse || result.step == Step::Decode ? "decoding " + source.string()
            : result.step == Step::CreateFolder ? "creating " + outputDirectory.string()
                                                : "writing " + result.destination.string();
        line = "tessavo-convert: " + source.filename().string() + ": " +
               (result.reason.empty() ? std::string("unknown error") : result.reason) + " (" + doing + ")";
    } catch (const std::bad_alloc&) {
        line.clear();
    }
    tessavo::printErrorLine(line.empty() ? std::string_view("tessavo-convert: out of memory") : line);
}

// The conversion is the point of a run: it goes on when the reader of its
// output goes away (a pipe into head), and its exit status still tells.
void handleSignals()
{
    ::signal(SIGPIPE, SIG_IGN);
    tessavo::removeTemporariesOnSignals();
}

} // namespace

int main(int argc, char** argv)
{
    std::filesystem::path outputDirectory = ".";
    unsigned jobs = std::max(1u, std::thread::hardware_concurrency());
    std::vector<std::filesystem::path> files;
    tessavo::ConversionOptions options;

    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            files.emplace_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "-h" || arg == "--help") {
            std::printf("%.*s\n"
                        "Converts each HEIC FILE into a JPEG of the same name in DIR.\n\n"
                        "  -o, --output DIR     folder for the JPEG files, created if missing (default: .)\n"
                        "  -j, --jobs N         files converted at once (default: number of cores)\n"
                        "      --keep-metadata  also copy the photo's Exif (date, camera, location), XMP\n"
                        "                       and modification time (default: only the orientation)\n"
                        "      --help           show this help\n"
                        "      --version        show the version\n\n"
                        "Exit status: 0 when every file converted, 1 when any failed, 2 on a usage error.\n",
                        int(kUsage.size()), kUsage.data());
            return 0;
        } else if (arg == "--keep-metadata") {
            options.keepMetadata = true;
        } else if (arg == "--version") {
            std::printf("tessavo-convert " TESSAVO_VERSION "\n");
            return 0;
        } else {
            // -o DIR, -oDIR, --output DIR, --output=DIR; likewise for -j.
            std::string_view name = arg, value;
            bool hasValue = false;
            if (arg.starts_with("--")) {
                if (const auto eq = arg.find('='); eq != std::string_view::npos) {
                    name = arg.substr(0, eq);
                    value = arg.substr(eq + 1);
                    hasValue = true;
                }
            } else if (arg.size() > 2) {
                name = arg.substr(0, 2);
                value = arg.substr(2);
                hasValue = true;
            }
            const bool isOutput = name == "-o" || name == "--output";
            const bool isJobs = name == "-j" || name == "--jobs";
            if (!isOutput && !isJobs)
                return usageError("unknown option " + std::string(arg));
            if (!hasValue) {
                if (i + 1 >= argc)
                    return usageError("option " + std::string(arg) + " needs a value");
                value = argv[++i];
            }
            if (isOutput) {
                if (value.empty())
                    return usageError("empty output folder");
                outputDirectory = value;
            } else if (!parseJobs(value, jobs)) {
                return usageError("jobs must be a whole number from 1 to 1024, not '" + std::string(value) + "'");
            }
        }
    }
    if (files.empty())
        return usageError("no FILE given");

    handleSignals();
    // Photos of the same name keep apart; names are compared as the output
    // folder's file system does.
    const std::vector<std::filesystem::path> names =
        tessavo::planDestinationNames(files, outputDirectory);

    std::atomic<size_t> next{0};
    std::atomic<bool> anyFailed{false};
    const auto work = [&] {
        for (size_t i = next++; i < files.size(); i = next++) {
            // convertFile reports its own failures, out of memory too; only
            // the copies of names and notes could throw here.
            try {
                tessavo::ConversionOptions fileOptions = options;
                fileOptions.destinationName = names[i];
                const tessavo::ConversionResult result =
                    tessavo::convertFile(files[i], outputDirectory, fileOptions, tessavo::printLine);
                // Standard output is for the conversion lines; detail goes here.
                for (const auto& note : result.notes)
                    tessavo::printErrorLine("tessavo-convert: " + files[i].filename().string() + ": " + note);
                if (result.succeeded())
                    continue;
                reportFailure(files[i], outputDirectory, result);
            } catch (const std::exception&) {
            }
            anyFailed = true;
        }
    };
    std::vector<std::jthread> workers;
    try {
        for (size_t n = std::min<size_t>(jobs, files.size()); n > 1; --n)
            workers.emplace_back(work);
    } catch (const std::exception&) {
        // A thread or memory limit: the threads that did start share the work.
    }
    work();
    workers.clear();
    return anyFailed ? 1 : 0;
}
