#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/mount.h>

namespace tessavo::testsupport {

// A real file system for a fault, mounted on `where` until destroyed: a small
// tmpfs (a full disk, a read-only remount) or a bindfs view (FUSE, without
// O_TMPFILE). mounted() is false where the machine refuses: no root, no
// FUSE, bindfs not installed.
class TestMount {
public:
    static TestMount tmpfs(const std::filesystem::path& where, const std::string& options = "size=1m")
    {
        TestMount mount(where);
        mount.mounted_ = ::mount("tessavo-test", where.c_str(), "tmpfs", 0, options.c_str()) == 0;
        return mount;
    }
    static TestMount bindfs(const std::filesystem::path& source, const std::filesystem::path& where)
    {
        TestMount mount(where);
        const std::string command = "bindfs '" + source.string() + "' '" + where.string() + "' 2>/dev/null";
        mount.mounted_ = std::system(command.c_str()) == 0;
        return mount;
    }
    TestMount(TestMount&& other) noexcept : where_(other.where_), mounted_(other.mounted_) { other.mounted_ = false; }
    ~TestMount()
    {
        if (mounted_)
            ::umount2(where_.c_str(), MNT_DETACH);
    }

    bool mounted() const { return mounted_; }
    bool remountReadOnly() const
    {
        return ::mount(nullptr, where_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

private:
    explicit TestMount(const std::filesystem::path& where) : where_(where)
    {
        std::filesystem::create_directories(where);
    }
    std::filesystem::path where_;
    bool mounted_ = false;
};

} // namespace tessavo::testsupport
