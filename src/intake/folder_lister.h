#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace tessavo {

// What one folder holds, hidden entries left out.
struct FolderListing {
    // Its subfolders (links to folders are passed over) and its HEIC photos
    // (isPhotoFile), in the folder's own order.
    std::vector<std::string> folders, photos;
    // Files not named .heic, and files so named that are no photo to read.
    long notHeic = 0, unreadable = 0;
    // The folder could not be read, whole or in part.
    bool failed = false;
};

// Lists folders for one walk in a child process of its own. A file system
// that does not answer (a FUSE server that never replies) holds the thread
// that asked in the kernel, beyond the reach of any signal, and with it its
// whole process, which could then never end. Held in a child, it holds only
// the child, which keeps no descriptor of ours but its socket and ends as
// soon as it can read or write again; the system takes it over when this
// process ends first.
class FolderLister {
public:
    FolderLister();
    // Closes the socket: the child ends at its next request or answer.
    ~FolderLister();
    FolderLister(const FolderLister&) = delete;
    FolderLister& operator=(const FolderLister&) = delete;

    // Waits for the child's answer, however long it takes.
    FolderListing list(const std::filesystem::path& folder);

private:
    bool read(void* into, size_t size);

    pid_t m_child = -1;
    int m_socket = -1;
    std::vector<char> m_buffer;
    size_t m_at = 0;
    size_t m_end = 0;
};

} // namespace tessavo
