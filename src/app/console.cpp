#include "app/console.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <mutex>
#include <sys/uio.h>
#include <unistd.h>

namespace tessavo {
namespace {

// The reader of standard output has gone (a pipe into head): the run goes on unheard.
std::atomic<bool> readerGone{false};

// Writes all of the parts; a pipe or terminal can take them in pieces.
void writeAll(int fd, iovec* part, int count)
{
    while (count > 0) {
        ssize_t written = ::writev(fd, part, count);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EPIPE && fd == STDOUT_FILENO)
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

// C0 controls and DEL; C1 controls, which UTF-8 spells C2 80 to C2 9F.
size_t controlLength(std::string_view text, size_t at)
{
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    if (byte(at) < 0x20 || byte(at) == 0x7F)
        return 1;
    return byte(at) == 0xC2 && at + 1 < text.size() && byte(at + 1) >= 0x80 && byte(at + 1) <= 0x9F ? 2 : 0;
}

void writeLine(int fd, std::string_view line)
{
    // Lines of parallel jobs stay whole: one write for a plain line, and
    // one writer at a time for one written in pieces. Nothing is
    // allocated, so a job out of memory still says so.
    static std::mutex writing;
    const std::lock_guard lock(writing);
    char newline = '\n';
    size_t at = 0;
    while (at < line.size() && controlLength(line, at) == 0)
        ++at;
    if (at == line.size()) {
        iovec parts[2] = {{const_cast<char*>(line.data()), line.size()}, {&newline, 1}};
        writeAll(fd, parts, 2);
        return;
    }
    // Escaped into a buffer, written whenever it fills.
    char buffer[4096];
    size_t used = 0;
    const auto put = [&](std::string_view text) {
        if (used + text.size() > sizeof buffer) {
            iovec part{buffer, used};
            writeAll(fd, &part, 1);
            used = 0;
        }
        used = size_t(std::copy(text.begin(), text.end(), buffer + used) - buffer);
    };
    for (at = 0; at < line.size();) {
        const size_t control = controlLength(line, at);
        const char named = line[at] == '\n' ? 'n' : line[at] == '\r' ? 'r' : line[at] == '\t' ? 't' : 0;
        if (control == 0) {
            put(line.substr(at, 1));
        } else if (named) {
            const char escaped[2] = {'\\', named};
            put({escaped, 2});
        } else {
            for (size_t i = 0; i < control; ++i) {
                const auto byte = static_cast<unsigned char>(line[at + i]);
                const char escaped[4] = {'\\', 'x', "0123456789abcdef"[byte >> 4], "0123456789abcdef"[byte & 15]};
                put({escaped, 4});
            }
        }
        at += std::max<size_t>(control, 1);
    }
    put("\n");
    iovec part{buffer, used};
    writeAll(fd, &part, 1);
}

} // namespace

void printLine(std::string_view line)
{
    if (readerGone)
        return;
    writeLine(STDOUT_FILENO, line);
}

void printErrorLine(std::string_view line) { writeLine(STDERR_FILENO, line); }

} // namespace tessavo
