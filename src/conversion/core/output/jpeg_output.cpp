#include "conversion/core/output/jpeg_output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessavo {

namespace {

constexpr const char* kIsTheSource = "the destination is the source file itself";

} // namespace

JpegOutput::JpegOutput(const std::filesystem::path& name, FileIdentity source) : name_(name.string()), source_(source) { }

Result<std::unique_ptr<JpegOutput>> JpegOutput::open(
    const std::filesystem::path& folder, const std::filesystem::path& subfolder, const std::filesystem::path& name, FileIdentity source)
{
    std::unique_ptr<JpegOutput> output(new JpegOutput(name, source));
    if (Result<void> created = output->create(folder, subfolder); !created)
        return created.failure();
    return output;
}

Result<void> JpegOutput::create(const std::filesystem::path& folder, const std::filesystem::path& subfolder)
{
    const std::filesystem::path where = folder.empty() ? std::filesystem::path(".") : folder;
    std::error_code made;
    std::filesystem::create_directories(where, made);
    folder_ = openFd(where.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    // A drop folder may be written to without being read (mode 0733).
    if (!folder_ && errno == EACCES)
        folder_ = openFd(where.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (!folder_) {
        // For a folder that could not be made mkdir says why; for a path that
        // exists (a file, a dangling link) opening it does.
        const int opening = errno;
        return fail(ConversionStep::CreateFolder, made && made != std::errc::file_exists ? made.message() : std::strerror(opening));
    }
    if (Result<void> descended = descend(subfolder); !descended)
        return descended;
    if (isSource())
        return fail(ConversionStep::CreateDestination, kIsTheSource);
    removeAbandonedFiles(folder_.get());
    file_ = openFdAt(folder_.get(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (file_) {
        // Before it has a name, so that no other run takes it for abandoned.
        ::flock(file_.get(), LOCK_EX);
        return {};
    }
    // Kernels and file systems without unnamed files answer in these ways.
    if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL) {
        if (::faccessat(folder_.get(), ".", W_OK | X_OK, AT_EACCESS) == 0) {
            file_ = UniqueFd(::memfd_create("tessavo-jpeg", MFD_CLOEXEC));
            inMemory_ = true;
        }
    }
    if (!file_)
        return failWithErrno(ConversionStep::CreateDestination);
    return {};
}

// One folder at a time from the one open: a name that climbs, or a link
// (which could lead anywhere), is refused rather than followed.
Result<void> JpegOutput::descend(const std::filesystem::path& subfolder)
{
    if (subfolder.has_root_path())
        return fail(ConversionStep::CreateFolder, std::strerror(EINVAL));
    for (const std::filesystem::path& part : subfolder) {
        const std::string name = part.string();
        if (name.empty() || name == "." || name == "..")
            return fail(ConversionStep::CreateFolder, std::strerror(EINVAL));
        // Opened first: most photos find their folder made, and a made one
        // is opened without the parent's lock that mkdir takes.
        const auto open = [&] {
            UniqueFd next = openFdAt(folder_.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            return next || errno != EACCES ? std::move(next)
                                           : openFdAt(folder_.get(), name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        };
        UniqueFd next = open();
        if (!next && errno == ENOENT) {
            if (::mkdirat(folder_.get(), name.c_str(), 0777) == 0)
                ++foldersMade_;
            else if (errno != EEXIST)
                return failWithErrno(ConversionStep::CreateFolder);
            next = open();
        }
        if (!next)
            return failWithErrno(ConversionStep::CreateFolder);
        folder_ = std::move(next);
    }
    return {};
}

Result<void> JpegOutput::publish()
{
    // Again: the name may have changed hands during the decode.
    if (isSource())
        return fail(ConversionStep::CreateDestination, kIsTheSource);
    if (inMemory_) {
        if (Result<void> written = writeFromMemory(); !written)
            return written;
    }
    if (::fsync(file_.get()) != 0)
        return failWithErrno(ConversionStep::Finalize);
    if (temporary_.empty() && linkUnnamedTo(name_.c_str()) != 0) {
        if (errno != EEXIST)
            return failWithErrno(ConversionStep::Finalize);
        // A link never replaces a file: link to a hidden name, rename over.
        if (Result<void> linked = temporary_.create(
                folder_.get(), "", ".tmp", [this](const char* hidden) { return linkUnnamedTo(hidden) == 0; }, ConversionStep::Finalize);
            !linked)
            return fail(ConversionStep::Finalize, linked.failure().reason);
    }
    if (!temporary_.empty()) {
        if (::renameat(folder_.get(), temporary_.name().c_str(), folder_.get(), name_.c_str()) != 0)
            return failWithErrno(ConversionStep::Finalize);
        temporary_.release();
    }
    file_ = UniqueFd();
    // Makes the new name survive a power loss. The JPEG is whole whatever
    // happens here, so a failure is no reason to report one.
    ::fsync(folder_.get());
    return {};
}

// The JPEG encoded into memory goes into a hidden file, with the time the
// conversion gave it.
Result<void> JpegOutput::writeFromMemory()
{
    const UniqueFd encoded = std::move(file_);
    struct stat info { };
    if (::fstat(encoded.get(), &info) != 0)
        return failWithErrno(ConversionStep::Finalize);
    if (Result<void> made = temporary_.create(
            folder_.get(), "", ".tmp",
            [this](const char* hidden) {
                file_ = createLocked(folder_.get(), hidden, 0666);
                return bool(file_);
            },
            ConversionStep::CreateDestination);
        !made)
        return fail(ConversionStep::CreateDestination, made.failure().reason);
    for (off_t copied = 0; copied < info.st_size;) {
        const ssize_t sent = ::sendfile(file_.get(), encoded.get(), &copied, size_t(info.st_size - copied));
        if (sent == 0)
            errno = EIO;
        if (sent <= 0 && errno != EINTR)
            return failWithErrno(ConversionStep::Finalize);
    }
    // Both times: exfat-fuse drops a modification time set alone.
    const timespec times[2] = {info.st_atim, info.st_mtim};
    if (::futimens(file_.get(), times) != 0)
        return failWithErrno(ConversionStep::Finalize);
    inMemory_ = false;
    return {};
}

Failure JpegOutput::fail(ConversionStep step, std::string reason)
{
    temporary_.remove();
    return {step, std::move(reason)};
}

Failure JpegOutput::failWithErrno(ConversionStep step) { return fail(step, std::strerror(errno)); }

bool JpegOutput::isSource() const
{
    struct stat info { };
    return ::fstatat(folder_.get(), name_.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && info.st_dev == source_.device &&
        info.st_ino == source_.inode;
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

} // namespace tessavo
