#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/mount.h>

namespace tessavo::testsupport {

// A file system for a fault until destroyed: tmpfs (a full disk, read-only), bindfs (FUSE, without O_TMPFILE), or FAT
// or exFAT through Debian's FUSE drivers (a USB stick; the kernel may have neither). mounted() is false where refused.
class TestMount {
public:
    static TestMount tmpfs(const std::filesystem::path& where, const std::string& options = "size=1m")
    {
        std::filesystem::create_directories(where);
        return {where, ::mount("tessavo-test", where.c_str(), "tmpfs", 0, options.c_str()) == 0};
    }
    static TestMount bindfs(const std::filesystem::path& source, const std::filesystem::path& where)
    {
        std::filesystem::create_directories(where);
        return {where, std::system(("bindfs '" + source.string() + "' '" + where.string() + "' 2>/dev/null").c_str()) == 0};
    }
    static TestMount fat(const std::filesystem::path& image, const std::filesystem::path& where, bool exfat)
    {
        std::filesystem::create_directories(where);
        const std::string i = std::string("'").append(image) + "' ", w = std::string("'").append(where) + "'";
        const std::string make = exfat ? "mkfs.exfat " + i + "&& mount -o loop -t exfat-fuse " : "mkfs.vfat " + i + "&& fusefat -o rw+ ";
        return {where, std::system(("(truncate -s 32M " + i + "&& " + make + i + w + ") >/dev/null 2>&1").c_str()) == 0};
    }
    TestMount(const TestMount&) = delete;
    ~TestMount()
    {
        if (mounted_)
            ::umount2(where_.c_str(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }
    bool remountReadOnly() const { return ::mount(nullptr, where_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0; }

private:
    TestMount(const std::filesystem::path& where, bool mounted) : where_(where), mounted_(mounted) { }
    std::filesystem::path where_;
    bool mounted_;
};

} // namespace tessavo::testsupport
