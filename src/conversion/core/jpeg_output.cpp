#include "conversion/core/jpeg_output.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace tessavo {

namespace {

constexpr const char* kIsTheSource = "the destination is the source file itself";

// The hidden names that exist now, for the signal handler: plain atomics and
// fixed buffers, since it may run between any two instructions.
struct TemporarySlot {
    std::atomic<int> folder{-1}; // -1 free, -2 being filled, else the folder's descriptor
    char name[32];
};
static_assert(std::atomic<int>::is_always_lock_free);
std::array<TemporarySlot, 1024> temporaries;

// A hidden name being made now. The handler waits for those before it
// removes what is listed, and none is begun once it runs: a name made just
// after its sweep (a slow FUSE create) would outlive the process.
std::atomic<bool> dying{false};
std::atomic<int> creating{0};
thread_local bool creatingHere = false;

int claimSlot(int folder, const std::string& name)
{
    if (name.size() >= sizeof(TemporarySlot::name))
        return -1;
    for (size_t i = 0; i < temporaries.size(); ++i) {
        int expected = -1;
        if (temporaries[i].folder.compare_exchange_strong(expected, -2)) {
            std::memcpy(temporaries[i].name, name.c_str(), name.size() + 1);
            temporaries[i].folder.store(folder, std::memory_order_release);
            return int(i);
        }
    }
    return -1; // more than a thousand at once: this one goes unguarded
}

extern "C" void removeTemporariesAndDie(int signal)
{
    const int saved = errno;
    dying = true;
    // Not for a creation this very thread was interrupted in: that one
    // has not begun, or is done and listed.
    for (int waited = 0; creating - (creatingHere ? 1 : 0) > 0 && waited < 1000; ++waited) {
        const timespec millisecond{0, 1'000'000};
        ::nanosleep(&millisecond, nullptr);
    }
    for (TemporarySlot& slot : temporaries) {
        const int folder = slot.folder.load(std::memory_order_acquire);
        if (folder >= 0)
            ::unlinkat(folder, slot.name, 0);
    }
    errno = saved;
    // SA_RESETHAND restored the default action; it applies once this returns.
    ::raise(signal);
}

std::string temporaryName()
{
    thread_local std::mt19937_64 random{std::random_device{}()};
    static constexpr char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::string name = ".tessavo-";
    for (int i = 0; i < 12; ++i)
        name.push_back(digits[random() % 36]);
    return name + ".tmp";
}

} // namespace

JpegOutput::JpegOutput(const std::filesystem::path& name, FileIdentity source) : name_(name.string()), source_(source) {}

Result<std::unique_ptr<JpegOutput>> JpegOutput::open(const std::filesystem::path& folder,
                                                     const std::filesystem::path& name, FileIdentity source)
{
    std::unique_ptr<JpegOutput> output(new JpegOutput(name, source));
    if (Result<void> created = output->create(folder); !created)
        return created.failure();
    return output;
}

Result<void> JpegOutput::create(const std::filesystem::path& folder)
{
    const std::filesystem::path where = folder.empty() ? std::filesystem::path(".") : folder;
    std::error_code made;
    std::filesystem::create_directories(where, made);
    folder_ = openFd(where.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (!folder_) {
        // For a folder that could not be made mkdir says why; for a path that
        // exists (a file, a dangling link) opening it does.
        const int opening = errno;
        return fail(ConversionStep::CreateFolder,
                    made && made != std::errc::file_exists ? made.message() : std::strerror(opening));
    }
    if (isSource())
        return fail(ConversionStep::CreateDestination, kIsTheSource);
    file_ = openFdAt(folder_.get(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    // Kernels and file systems without unnamed files answer in these ways.
    if (!file_ && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL))
        takeTemporaryName([this](const char* hidden) {
            file_ = openFdAt(folder_.get(), hidden, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
            return bool(file_);
        });
    if (!file_)
        return failWithErrno(ConversionStep::CreateDestination);
    return {};
}

JpegOutput::~JpegOutput()
{
    dropTemporary();
}

Result<void> JpegOutput::publish()
{
    if (::fsync(file_.get()) != 0)
        return failWithErrno(ConversionStep::Finalize);
    // Again: the name may have changed hands during the decode.
    if (isSource())
        return fail(ConversionStep::CreateDestination, kIsTheSource);
    if (temporary_.empty() && linkUnnamedTo(name_.c_str()) != 0) {
        if (errno != EEXIST)
            return failWithErrno(ConversionStep::Finalize);
        // A link never replaces a file: link to a hidden name, rename over.
        if (!takeTemporaryName([this](const char* hidden) { return linkUnnamedTo(hidden) == 0; }))
            return failWithErrno(ConversionStep::Finalize);
    }
    if (!temporary_.empty()) {
        if (::renameat(folder_.get(), temporary_.c_str(), folder_.get(), name_.c_str()) != 0)
            return failWithErrno(ConversionStep::Finalize);
        forgetTemporaryName();
    }
    file_ = UniqueFd();
    // Makes the new name survive a power loss. The JPEG is whole whatever
    // happens here, so a failure is no reason to report one.
    ::fsync(folder_.get());
    return {};
}

Failure JpegOutput::fail(ConversionStep step, std::string reason)
{
    dropTemporary();
    return {step, std::move(reason)};
}

Failure JpegOutput::failWithErrno(ConversionStep step)
{
    return fail(step, std::strerror(errno));
}

bool JpegOutput::isSource() const
{
    struct stat info {};
    return ::fstatat(folder_.get(), name_.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
           info.st_dev == source_.device && info.st_ino == source_.inode;
}

bool JpegOutput::takeTemporaryName(const std::function<bool(const char*)>& create)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary_ = temporaryName();
        // Listed before it exists, so no moment is left unguarded.
        slot_ = claimSlot(folder_.get(), temporary_);
        ++creating;
        creatingHere = true;
        errno = EINTR;
        const bool made = !dying && create(temporary_.c_str());
        const int error = errno;
        creatingHere = false;
        --creating;
        if (made)
            return true;
        forgetTemporaryName();
        errno = error;
        if (error != EEXIST)
            break;
    }
    return false;
}

int JpegOutput::linkUnnamedTo(const char* name) const
{
    char self[32];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", file_.get());
    if (::linkat(AT_FDCWD, self, folder_.get(), name, AT_SYMLINK_FOLLOW) == 0)
        return 0;
    if (errno != ENOENT || ::access("/proc/self/fd", F_OK) == 0)
        return -1;
    // Without /proc only a process that may read any file can do this.
    return ::linkat(file_.get(), "", folder_.get(), name, AT_EMPTY_PATH);
}

void JpegOutput::forgetTemporaryName()
{
    if (slot_ >= 0)
        temporaries[size_t(slot_)].folder.store(-1, std::memory_order_release);
    slot_ = -1;
    temporary_.clear();
}

void JpegOutput::dropTemporary()
{
    if (!temporary_.empty())
        ::unlinkat(folder_.get(), temporary_.c_str(), 0);
    forgetTemporaryName();
}

void removeTemporariesOnSignals()
{
    struct sigaction action {};
    action.sa_handler = removeTemporariesAndDie;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction previous {};
        // A signal ignored by whoever started us (nohup, a background job) stays ignored.
        if (::sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler != SIG_IGN)
            ::sigaction(signal, &action, nullptr);
    }
}

} // namespace tessavo
