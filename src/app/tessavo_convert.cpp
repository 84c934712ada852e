// tessavo-convert: the window's conversion, for scripts and benchmarks.
#include "app/console.h"
#include "conversion/core/convert_file.h"
#include "conversion/core/input/folder_photos.h"
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
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::string_view kUsage = "usage: tessavo-convert [-o DIR | --beside-originals] [-j N] [--keep-metadata] [--keep-hdr] FILE...";

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
void reportFailure(
    const std::filesystem::path& source, const std::filesystem::path& outputDirectory, const tessavo::ConversionResult& result)
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

// The photos of the command line: each file as it is named, each HEIF photo
// inside a folder with the folder's shape; a folder that cannot be read,
// whole or in part, is told on stderr. Less those that name one already
// taken (p.heic, ./p.heic, a link to it: the same device and inode), which
// are told too.
std::vector<tessavo::FoundPhoto> photosOf(const std::vector<std::filesystem::path>& arguments, bool& unreadable)
{
    std::vector<tessavo::FoundPhoto> named;
    for (const std::filesystem::path& argument : arguments) {
        std::error_code error;
        if (!std::filesystem::is_directory(argument, error)) {
            named.push_back({argument, {}});
            continue;
        }
        tessavo::FolderPhotos inside = tessavo::photosInFolder(argument);
        for (const std::filesystem::path& folder : inside.unreadable)
            tessavo::printErrorLine("tessavo-convert: " + folder.string() + ": the folder could not be read whole");
        unreadable = unreadable || !inside.unreadable.empty();
        named.insert(named.end(), inside.photos.begin(), inside.photos.end());
    }
    std::vector<tessavo::FoundPhoto> once;
    std::map<std::pair<dev_t, ino_t>, size_t> seen;
    for (tessavo::FoundPhoto& photo : named) {
        struct stat info { };
        if (::stat(photo.path.c_str(), &info) == 0) {
            const auto [first, fresh] = seen.try_emplace({info.st_dev, info.st_ino}, once.size());
            if (!fresh) {
                tessavo::printErrorLine("tessavo-convert: " + photo.path.string() + ": the same file as " +
                    once[first->second].path.string() + ", converted once");
                continue;
            }
        }
        once.push_back(std::move(photo));
    }
    return once;
}

// Each photo's JPEG name in the folder it goes to, planned with the others
// bound for that folder.
std::vector<std::filesystem::path> namesOf(
    const std::vector<tessavo::FoundPhoto>& photos, const std::vector<std::filesystem::path>& folders)
{
    std::map<std::filesystem::path, std::vector<size_t>> byFolder;
    for (size_t i = 0; i < photos.size(); ++i)
        byFolder[folders[i]].push_back(i);
    std::vector<std::filesystem::path> names(photos.size());
    for (const auto& [folder, members] : byFolder) {
        std::vector<std::filesystem::path> sources;
        for (const size_t i : members)
            sources.push_back(photos[i].path);
        const std::vector<std::filesystem::path> planned = tessavo::planDestinationNames(sources, folder);
        for (size_t k = 0; k < members.size(); ++k)
            names[members[k]] = planned[k];
    }
    return names;
}

const option kOptions[] = {
    {"output", required_argument, nullptr, 'o'},
    {"jobs", required_argument, nullptr, 'j'},
    {"keep-metadata", no_argument, nullptr, 'k'},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'v'},
    {"keep-hdr", no_argument, nullptr, 'H'},
    {"beside-originals", no_argument, nullptr, 'b'},
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
    bool outputGiven = false, besideOriginals = false;
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
                        "Converts each HEIC FILE into a JPEG of the same name in DIR. A FILE that is a\n"
                        "folder gives the HEIF photos inside it, and in its subfolders, a folder of the\n"
                        "same name in DIR: photos/2024/IMG_1.HEIC gives DIR/2024/IMG_1.jpg.\n\n"
                        "  -o, --output DIR     folder for the JPEG files, created if missing (default: .)\n"
                        "      --beside-originals\n"
                        "                       write each JPEG into its photo's own folder instead\n"
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
        } else if (option == 'b') {
            besideOriginals = true;
        } else if (option == 'o') {
            if (*optarg == '\0')
                return usageError("empty output folder");
            outputDirectory = optarg;
            outputGiven = true;
        } else if (!parseJobs(optarg, jobs)) {
            return usageError("jobs must be a whole number from 1 to 1024, not '" + std::string(optarg) + "'");
        }
    }
    // What follows "--".
    files.insert(files.end(), argv + optind, argv + argc);
    if (files.empty())
        return usageError("no FILE given");
    if (outputGiven && besideOriginals)
        return usageError("--output and --beside-originals exclude each other");

    handleSignals();
    bool unreadable = false;
    const std::vector<tessavo::FoundPhoto> photos = photosOf(files, unreadable);
    // Where each JPEG goes; photos of the same name keep apart in it, their
    // names compared as its file system does.
    std::vector<std::filesystem::path> folders;
    for (const tessavo::FoundPhoto& photo : photos) {
        const std::filesystem::path own = photo.path.parent_path();
        folders.push_back(besideOriginals ? (own.empty() ? "." : own) : outputDirectory / photo.subfolder);
    }
    const std::vector<std::filesystem::path> names = namesOf(photos, folders);

    std::atomic<size_t> next{0};
    std::atomic<bool> anyFailed{unreadable};
    const auto work = [&] {
        for (size_t i = next++; i < photos.size(); i = next++) {
            // convertFile reports its own failures, out of memory too; only
            // the copies of names and notes could throw here.
            try {
                const std::filesystem::path& source = photos[i].path;
                const std::filesystem::path base = besideOriginals ? folders[i] : outputDirectory;
                tessavo::ConversionOptions fileOptions = options;
                fileOptions.destinationName = names[i];
                fileOptions.subfolder = besideOriginals ? std::filesystem::path() : photos[i].subfolder;
                const tessavo::ConversionResult result = tessavo::convertFile(source, base, fileOptions, tessavo::printLine);
                // Standard output is for the conversion lines; detail goes here.
                const std::string about = "tessavo-convert: " + source.filename().string() + ": ";
                if (!result.hdrNotKept.empty())
                    tessavo::printErrorLine(about + "HDR not kept: " + result.hdrNotKept);
                for (const auto& note : result.notes)
                    tessavo::printErrorLine(about + note);
                if (result.succeeded())
                    continue;
                reportFailure(source, folders[i], result);
            } catch (const std::exception&) {
            }
            anyFailed = true;
        }
    };
    std::vector<std::jthread> workers;
    try {
        for (size_t n = std::min<size_t>(jobs, photos.size()); n > 1; --n)
            workers.emplace_back(work);
    } catch (const std::exception&) {
        // A thread or memory limit: the threads that did start share the work.
    }
    work();
    workers.clear();
    return anyFailed ? 1 : 0;
}
