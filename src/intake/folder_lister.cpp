#include "intake/folder_lister.h"

#include "intake/file_intake.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tessavo {

namespace {

// The records of an answer: a kind, and for a subfolder or a photo its name
// (one byte of length, then the bytes). A listing ends with kEnd or kFailed.
constexpr char kFolder = 'D', kPhoto = 'P', kNotHeic = 'N', kUnreadable = 'U', kEnd = 'E', kFailed = 'F';

// By send(): the other side gone is an error, not SIGPIPE.
bool writeAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t written = ::send(fd, data, size, MSG_NOSIGNAL);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written, size -= size_t(written);
    }
    return true;
}

bool readAll(int fd, char* into, size_t size)
{
    while (size > 0) {
        const ssize_t got = ::read(fd, into, size);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        into += got, size -= size_t(got);
    }
    return true;
}

// The child's side: a copy of the walk's thread alone, so nothing but system
// calls, no allocation, no lock.
class Answer {
public:
    void put(char kind, const char* name = nullptr)
    {
        const size_t length = name ? std::strlen(name) : 0;
        if (m_size + 2 + length > sizeof m_buffer)
            flush();
        m_buffer[m_size++] = kind;
        if (name) {
            m_buffer[m_size++] = char(length);
            std::memcpy(m_buffer + m_size, name, length);
            m_size += length;
        }
    }
    // The walk has gone when its end of the pipe has.
    void flush()
    {
        if (!writeAll(STDIN_FILENO, m_buffer, m_size))
            ::_exit(0);
        m_size = 0;
    }

private:
    char m_buffer[65536];
    size_t m_size = 0;
};

// One entry of the folder open as `folder`, whose path (`length` bytes) is in
// `path`, with room after it.
void classify(int folder, char* path, size_t length, const dirent64& entry, Answer& answer)
{
    const char* name = entry.d_name;
    const size_t nameLength = std::strlen(name);
    // Hidden entries are thumbnails and desktop records, never photos.
    if (name[0] == '.')
        return;
    if (nameLength > UCHAR_MAX)
        return answer.put(kUnreadable);
    struct stat info { };
    unsigned char type = entry.d_type;
    if (type == DT_UNKNOWN && ::fstatat(folder, name, &info, AT_SYMLINK_NOFOLLOW) == 0)
        type = IFTODT(info.st_mode);
    if (type == DT_DIR)
        return answer.put(kFolder, name);
    if (type == DT_LNK && ::fstatat(folder, name, &info, 0) == 0 && S_ISDIR(info.st_mode))
        return;
    if (!isHeicName(name))
        return answer.put(kNotHeic);
    if (length + 1 + nameLength >= PATH_MAX)
        return answer.put(kUnreadable);
    path[length] = '/';
    std::memcpy(path + length + 1, name, nameLength + 1);
    const bool photo = isPhotoFile(path);
    path[length] = '\0';
    answer.put(photo ? kPhoto : kUnreadable, photo ? name : nullptr);
}

// Answers each request (a path: its length, then its bytes) on its socket,
// standard input, until the walk goes. Signals do as they do by default: the handlers copied from the
// program would remove the program's own temporary files.
[[noreturn]] void serve()
{
    struct sigaction byDefault { };
    byDefault.sa_handler = SIG_DFL;
    for (int signal = 1; signal < NSIG; ++signal)
        ::sigaction(signal, &byDefault, nullptr);
    sigset_t none;
    ::sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    char path[PATH_MAX];
    alignas(dirent64) char entries[32768];
    Answer answer;
    for (;;) {
        std::uint32_t length = 0;
        if (!readAll(STDIN_FILENO, reinterpret_cast<char*>(&length), sizeof length) || length >= PATH_MAX ||
            !readAll(STDIN_FILENO, path, length))
            ::_exit(0);
        path[length] = '\0';
        const int folder = ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ssize_t got = folder < 0 ? -1 : 1;
        while (got > 0) {
            got = ::getdents64(folder, entries, sizeof entries);
            for (ssize_t at = 0; at < got; at += reinterpret_cast<const dirent64*>(entries + at)->d_reclen)
                classify(folder, path, length, *reinterpret_cast<const dirent64*>(entries + at), answer);
        }
        if (folder >= 0)
            ::close(folder);
        answer.put(got < 0 ? kFailed : kEnd);
        answer.flush();
    }
}

} // namespace

FolderLister::FolderLister() : m_buffer(65536)
{
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        return;
    // No signal reaches the child before serve() has reset their handlers.
    sigset_t all, previous;
    ::sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &previous);
    m_child = ::fork();
    if (m_child == 0) {
        if (::dup2(ends[1], STDIN_FILENO) >= 0 && ::close_range(STDOUT_FILENO, ~0U, 0) == 0)
            serve();
        ::_exit(0);
    }
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    ::close(ends[1]);
    if (m_child < 0)
        ::close(ends[0]);
    else
        m_socket = ends[0];
}

// Only a walk that has its answers ends here, so the child waits for a
// request and ends at once.
FolderLister::~FolderLister()
{
    if (m_child < 0)
        return;
    ::close(m_socket);
    while (::waitpid(m_child, nullptr, 0) < 0 && errno == EINTR) {
    }
}

FolderListing FolderLister::list(const std::filesystem::path& folder)
{
    FolderListing listing;
    const std::uint32_t length = std::uint32_t(folder.native().size());
    if (m_socket < 0 || folder.native().size() >= PATH_MAX || !writeAll(m_socket, reinterpret_cast<const char*>(&length), sizeof length) ||
        !writeAll(m_socket, folder.c_str(), length)) {
        listing.failed = true;
        return listing;
    }
    for (;;) {
        char kind = kFailed;
        unsigned char size = 0;
        std::string name;
        if (!read(&kind, 1) || kind == kFailed || kind == kEnd) {
            listing.failed = kind != kEnd;
            return listing;
        }
        if (kind == kNotHeic || kind == kUnreadable)
            ++(kind == kNotHeic ? listing.notHeic : listing.unreadable);
        else if (read(&size, 1) && read((name.resize(size), name.data()), size))
            (kind == kFolder ? listing.folders : listing.photos).push_back(std::move(name));
        else
            return listing.failed = true, listing;
    }
}

bool FolderLister::read(void* into, size_t size)
{
    char* to = static_cast<char*>(into);
    while (size > 0) {
        if (m_at == m_end) {
            const ssize_t got = ::read(m_socket, m_buffer.data(), m_buffer.size());
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return false;
            m_at = 0, m_end = size_t(got);
        }
        const size_t taken = std::min(size, m_end - m_at);
        std::memcpy(to, m_buffer.data() + m_at, taken);
        m_at += taken, to += taken, size -= taken;
    }
    return true;
}

} // namespace tessavo
