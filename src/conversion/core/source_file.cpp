#include "conversion/core/source_file.h"

#include "conversion/core/base/owners.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace tessavo {
namespace {

// No photo comes near this; a larger source (a sparse or runaway file) fails
// at the read step instead of taking its size in memory.
constexpr off_t kMaxSourceBytes = off_t(1) << 30;

Failure unread(std::string reason) { return {ConversionStep::Read, std::move(reason)}; }

} // namespace

// O_NONBLOCK keeps a FIFO or device from stalling the job; only regular
// files are read.
Result<SourceFile> readWholeFile(const std::filesystem::path& path)
{
    const UniqueFd fd = openFd(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    struct stat info { };
    if (!fd || ::fstat(fd.get(), &info) != 0)
        return unread(std::strerror(errno));
    if (!S_ISREG(info.st_mode) || info.st_size > kMaxSourceBytes)
        return unread(S_ISDIR(info.st_mode) ? std::strerror(EISDIR) : S_ISREG(info.st_mode) ? std::strerror(EFBIG) : "not a regular file");
    SourceFile file{std::vector<uint8_t>(size_t(info.st_size) + 1), {info.st_dev, info.st_ino}, info.st_mtim};
    std::vector<uint8_t>& bytes = file.bytes;
    size_t filled = 0;
    for (;;) {
        if (filled == bytes.size())
            bytes.resize(bytes.size() * 2);
        const ssize_t got = ::read(fd.get(), bytes.data() + filled, bytes.size() - filled);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return unread(std::strerror(errno));
        }
        if (got == 0)
            break;
        filled += size_t(got);
        if (filled > size_t(kMaxSourceBytes))
            return unread(std::strerror(EFBIG));
    }
    bytes.resize(filled);
    return file;
}

} // namespace tessavo
