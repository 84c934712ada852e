#include "conversion/convert_file.h"

#include <cerrno>
#include <string>
#include <unistd.h>

namespace tessavo {

void printLine(std::string_view line)
{
    std::string whole;
    whole.reserve(line.size() + 1);
    whole.append(line);
    whole.push_back('\n');
    // One write per line keeps lines of parallel jobs whole; a pipe or
    // terminal can still take it in pieces, so finish what was left.
    const char* data = whole.data();
    size_t left = whole.size();
    while (left > 0) {
        const ssize_t written = ::write(STDOUT_FILENO, data, left);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        data += written;
        left -= size_t(written);
    }
}

std::filesystem::path destinationPath(const std::filesystem::path& source,
                                      const std::filesystem::path& outputDirectory)
{
    std::filesystem::path name = source.filename();
    name.replace_extension(".jpg");
    return outputDirectory / name;
}

} // namespace tessavo
