// tessavo-convert: the window's conversion, for scripts and benchmarks.
#include "app/console.h"
#include "conversion/core/convert_file.h"
#include "conversion/core/output/destination_names.h"
#include "conversion/core/output/jpeg_output.h"

#include <atomic>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <getopt.h>
#include <map>
#include <string>
#include <string_view>
#include <thread>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::string_view kUsage = "usage: tessavo-convert [-o DIR] [-j N] [--keep-metadata] [--keep-hdr] FILE...";

int usageError(const std::string& problem)
{
    tessavo::printErrorLine("tessavo-convert: " + problem + " (" + std::string(kUsage) + ")");
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
    const tessavo::Failure& failure = *result.failure;
    std::string line;
    try {
        line = "tessavo-convert: " + source.filename().string() + ": " +
               (failure.reason.empty() ? std::string("unknown error") : failure.reason) + " (" +
               tessavo::failedActivity(failure, result.destination, source, outputDirectory) + ")";
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

// The files less those that name one already in the list (p.heic, ./p.heic,
// a link to it: the same device and inode), which are told on stderr.
std::vector<std::filesystem::path> convertedOnce(const std::vector<std::filesystem::path>& files)
{
    std::vector<std::filesystem::path> once;
    std::map<std::pair<dev_t, ino_t>, size_t> seen;
    for (const std::filesystem::path& file : files) {
        struct stat info {};
        if (::stat(file.c_str(), &info) == 0) {
            const auto [first, fresh] = seen.try_emplace({info.st_dev, info.st_ino}, once.size());
            if (!fresh) {
                tessavo::printErrorLine("tessavo-convert: " + file.string() + ": the same file as " +
                                        once[first->second].string() + ", converted once");
                continue;
            }
        }
        once.push_back(file);
    }
    return once;
}

const option kOptions[] = {
    {"output", required_argument, nullptr, 'o'},   {"jobs", required_argument, nullptr, 'j'},
    {"keep-metadata", no_argument, nullptr, 'k'}, {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'v'},       {"keep-hdr", no_argument, nullptr, 'H'},
    {nullptr, 0, nullptr, 0},
};

// Whether `arg` is the option as written out: no abbreviated long name, no
// other short option run together with it.
bool spelledOut(std::string_view arg, int longIndex, bool takesValue)
{
    if (longIndex < 0)
        return takesValue || arg.size() == 2;
    const std::string name = std::string("--") + kOptions[longIndex].name;
    return arg == name || (takesValue && arg.starts_with(name + "="));
}

} // namespace

int main(int argc, char** argv)
{
    std::filesystem::path outputDirectory = ".";
    unsigned jobs = std::max(1u, std::thread::hardware_concurrency());
    std::vector<std::filesystem::path> files;
    tessavo::ConversionOptions options;

    // "-": files come back in order as option 1, as options may follow them;
    // ":": a missing value is told apart, and getopt prints nothing itself.
    for (;;) {
        const int current = optind;
        int longIndex = -1;
        const int option = getopt_long(argc, argv, "-:o:j:h", kOptions, &longIndex);
        if (option == -1)
            break;
        const std::string arg = current < argc ? argv[current] : "";
        if (option == 1) {
            files.emplace_back(optarg);
        } else if (option == ':') {
            return usageError("option " + arg + " needs a value");
        } else if (option == '?' || !spelledOut(arg, longIndex, option == 'o' || option == 'j')) {
            return usageError("unknown option " + arg);
        } else if (option == 'h') {
            std::printf("%.*s\n"
                        "Converts each HEIC FILE into a JPEG of the same name in DIR.\n\n"
                        "  -o, --output DIR     folder for the JPEG files, created if missing (default: .)\n"
                        "  -j, --jobs N         files converted at once (default: number of cores)\n"
                        "      --keep-metadata  also copy the photo's Exif (date, camera, location), XMP\n"
                        "                       and modification time (default: only the orientation)\n"
                        "      --keep-hdr       also keep the photo's HDR: its gain map (for a PQ or HLG\n"
                        "                       photo, one made from it) follows the picture; HDR displays\n"
                        "                       show it as bright as the phone, others as without it\n"
                        "      --help           show this help\n"
                        "      --version        show the version\n\n"
                        "Exit status: 0 when every file converted, 1 when any failed, 2 on a usage error.\n",
                        int(kUsage.size()), kUsage.data());
            return 0;
        } else if (option == 'v') {
            std::printf("tessavo-convert " TESSAVO_VERSION "\n");
            return 0;
        } else if (option == 'k') {
            options.keepMetadata = true;
        } else if (option == 'H') {
            options.keepHdr = true;
        } else if (option == 'o') {
            if (*optarg == '\0')
                return usageError("empty output folder");
            outputDirectory = optarg;
        } else if (!parseJobs(optarg, jobs)) {
            return usageError("jobs must be a whole number from 1 to 1024, not '" + std::string(optarg) + "'");
        }
    }
    // What follows "--".
    files.insert(files.end(), argv + optind, argv + argc);
    if (files.empty())
        return usageError("no FILE given");

    handleSignals();
    files = convertedOnce(files);
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
                const std::string about = "tessavo-convert: " + files[i].filename().string() + ": ";
                if (!result.hdrNotKept.empty())
                    tessavo::printErrorLine(about + "HDR not kept: " + result.hdrNotKept);
                for (const auto& note : result.notes)
                    tessavo::printErrorLine(about + note);
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
