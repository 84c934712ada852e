#include "app/console.h"

#include <atomic>
#include <cerrno>
#include <sys/uio.h>
#include <unistd.h>

namespace tessavo {

void printLine(std::string_view line)
{
    static std::atomic<bool> readerGone{false};
    if (readerGone)
        return;
    // One write per line keeps lines of parallel jobs whole, and allocates
    // nothing, so a job out of memory still says so. A pipe or terminal can
    // take the line in pieces: finish what was left.
    char newline = '\n';
    iovec parts[2] = {{const_cast<char*>(line.data()), line.size()}, {&newline, 1}};
    iovec* part = parts;
    int count = 2;
    while (count > 0) {
        ssize_t written = ::writev(STDOUT_FILENO, part, count);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            // The reader has gone (a pipe into head): the run goes on unheard.
            if (errno == EPIPE)
                readerGone = true;
            return;
        }
        for (; count > 0 && size_t(written) >= part->iov_len; --count, ++part)
            written -= ssize_t(part->iov_len);
        if (count > 0) {
            part->iov_base = static_cast<char*>(part->iov_base) + written;
            part->iov_len -= size_t(written);
        }
    }
}

} // namespace tessavo
