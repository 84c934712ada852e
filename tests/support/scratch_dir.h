#pragma once

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace tessavo::testsupport {

// A fresh folder under the system's temporary folder, removed with its contents when the test ends.
class ScratchDir {
public:
    ScratchDir() : path_((std::filesystem::temp_directory_path() / "tessavo-test-XXXXXX").string())
    {
        if (!::mkdtemp(path_.data()))
            throw std::runtime_error("mkdtemp failed");
    }
    ~ScratchDir() { std::filesystem::remove_all(path_, ignored_); }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::filesystem::path path() const { return path_; }
    std::filesystem::path operator/(const std::filesystem::path& name) const { return path() / name; }

private:
    std::string path_;
    std::error_code ignored_;
};

} // namespace tessavo::testsupport
