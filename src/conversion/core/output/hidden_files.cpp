#include "conversion/core/output/hidden_files.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <random>
#include <set>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#include <utility>

namespace tessavo {

namespace {

constexpr std::string_view kPrefix = ".tessavo-";

// The hidden names that exist now, for the signal handler: plain atomics and
// fixed buffers, since it may run between any two instructions.
struct TemporarySlot {
    std::atomic<int> folder{-1}; // -1 free, -2 being filled, else the folder's descriptor
    char name[40];
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

std::string randomName(std::string_view kind, std::string_view suffix)
{
    thread_local std::mt19937_64 random{std::random_device{}()};
    static constexpr char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::string name = std::string(kPrefix) + std::string(kind);
    for (int i = 0; i < 12; ++i)
        name.push_back(digits[random() % 36]);
    return name + std::string(suffix);
}

bool sameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Whether `name` in `folder` is still the file `fd` once its lock is ours.
bool lockedUnderName(int folder, const char* name, int fd)
{
    struct stat opened {
    }, named{};
    return ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &opened) == 0 && ::fstatat(folder, name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
        sameFile(opened, named);
}

} // namespace

Result<void> HiddenName::create(
    int folder, std::string_view kind, std::string_view suffix, const std::function<bool(const char*)>& make, ConversionStep step)
{
    remove();
    for (int attempt = 0; attempt < 100; ++attempt) {
        folder_ = folder;
        name_ = randomName(kind, suffix);
        // Listed before it exists, so no moment is left unguarded.
        slot_ = claimSlot(folder, name_);
        ++creating;
        creatingHere = true;
        errno = EINTR;
        const bool made = !dying && make(name_.c_str());
        const int error = errno;
        creatingHere = false;
        --creating;
        if (made)
            return {};
        release();
        if (error != EEXIST)
            return Failure{step, std::strerror(error)};
    }
    return Failure{step, std::strerror(EEXIST)};
}

void HiddenName::release()
{
    if (slot_ >= 0)
        temporaries[size_t(slot_)].folder.store(-1, std::memory_order_release);
    slot_ = -1;
    name_.clear();
}

void HiddenName::remove()
{
    if (!name_.empty())
        ::unlinkat(folder_, name_.c_str(), 0);
    release();
}

UniqueFd createLocked(int folder, const char* name, mode_t mode)
{
    UniqueFd file = openFdAt(folder, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
    if (file && !lockedUnderName(folder, name, file.get())) {
        errno = EEXIST; // gone already: another name
        return {};
    }
    return file;
}

void removeAbandonedFiles(int folder)
{
    struct stat self { };
    if (::fstat(folder, &self) != 0)
        return;
    static std::mutex mutex;
    static std::set<std::pair<dev_t, ino_t>> swept;
    if (const std::lock_guard lock(mutex); !swept.insert({self.st_dev, self.st_ino}).second)
        return;
    const int listed = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const Owned<DIR> listing(listed >= 0 ? ::fdopendir(listed) : nullptr);
    if (!listing) {
        if (listed >= 0)
            ::close(listed);
        return;
    }
    while (const dirent* entry = ::readdir(listing.get())) {
        if (std::string_view(entry->d_name).substr(0, kPrefix.size()) != kPrefix)
            continue;
        const UniqueFd file = openFdAt(folder, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        struct stat info { };
        if (file && ::fstat(file.get(), &info) == 0 && S_ISREG(info.st_mode) && lockedUnderName(folder, entry->d_name, file.get()))
            ::unlinkat(folder, entry->d_name, 0);
    }
}

void removeTemporariesOnSignals()
{
    struct sigaction action { };
    action.sa_handler = removeTemporariesAndDie;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU, SIGPWR}) {
        struct sigaction previous { };
        // A signal ignored by whoever started us (nohup, a background job) stays ignored.
        if (::sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler != SIG_IGN)
            ::sigaction(signal, &action, nullptr);
    }
    // Over the file size limit, write() then fails with EFBIG and only that file fails.
    ::signal(SIGXFSZ, SIG_IGN);
}

} // namespace tessavo
