#include "conversion/core/destination_names.h"

#include "conversion/core/convert_file.h"
#include "conversion/core/hidden_files.h"
#include "conversion/core/owners.h"

#include <cctype>
#include <cwchar>
#include <cwctype>
#include <dirent.h>
#include <fcntl.h>
#include <locale.h>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unordered_map>
#include <unordered_set>

namespace tessavo {

namespace {

// A name as a file system compares it. Case-insensitive ones fold each
// character to lower case; bytes that are no UTF-8 stay apart from any letter.
std::wstring comparisonKey(const std::string& name, bool caseSensitive)
{
    std::wstring key;
    key.reserve(name.size());
    static const locale_t utf8 = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(0));
    if (caseSensitive || !utf8) {
        for (const char byte : name)
            key.push_back(caseSensitive ? wchar_t(static_cast<unsigned char>(byte))
                                        : wchar_t(std::tolower(static_cast<unsigned char>(byte))));
        return key;
    }
    const locale_t previous = ::uselocale(utf8);
    std::mbstate_t state{};
    for (size_t at = 0; at < name.size();) {
        wchar_t character = 0;
        size_t length = std::mbrtowc(&character, name.data() + at, name.size() - at, &state);
        if (length == 0 || length > name.size() - at) {
            character = wchar_t(0xDC00 + static_cast<unsigned char>(name[at]));
            length = 1;
            state = {};
        } else {
            character = wchar_t(std::towlower(wint_t(character)));
        }
        key.push_back(character);
        at += length;
    }
    ::uselocale(previous);
    return key;
}

std::string swappedCase(std::string name)
{
    for (char& c : name)
        c = std::isupper(static_cast<unsigned char>(c)) ? char(std::tolower(static_cast<unsigned char>(c)))
                                                        : char(std::toupper(static_cast<unsigned char>(c)));
    return name;
}

// Whether `other` (the same name in another case) finds the file `name`
// finds; nothing when `name` itself is not there.
std::optional<bool> sameFileInOtherCase(int folder, const std::string& name, const std::string& other)
{
    struct stat mine {}, theirs {};
    if (::fstatat(folder, name.c_str(), &mine, AT_SYMLINK_NOFOLLOW) != 0)
        return std::nullopt;
    return ::fstatat(folder, other.c_str(), &theirs, AT_SYMLINK_NOFOLLOW) == 0 && mine.st_dev == theirs.st_dev &&
           mine.st_ino == theirs.st_ino;
}

} // namespace

std::vector<std::filesystem::path> planDestinationNames(const std::vector<std::filesystem::path>& sources,
                                                        bool caseSensitive)
{
    std::vector<std::filesystem::path> names;
    names.reserve(sources.size());
    // Every name a source keeps, first: a later "IMG_1 (2).heic" keeps its
    // own name and the second IMG_1 counts on.
    std::unordered_set<std::wstring> taken;
    std::vector<size_t> clashing;
    for (size_t i = 0; i < sources.size(); ++i) {
        names.push_back(destinationPath(sources[i], {}).filename());
        if (!taken.insert(comparisonKey(names.back().string(), caseSensitive)).second)
            clashing.push_back(i);
    }
    std::unordered_map<std::wstring, int> nextNumber;
    for (const size_t i : clashing) {
        const std::string stem = names[i].stem().string();
        int& number = nextNumber.try_emplace(comparisonKey(stem, caseSensitive), 2).first->second;
        for (;; ++number) {
            std::string candidate = stem + " (" + std::to_string(number) + ").jpg";
            if (taken.insert(comparisonKey(candidate, caseSensitive)).second) {
                names[i] = std::move(candidate);
                break;
            }
        }
    }
    return names;
}

bool folderTellsCaseApart(const std::filesystem::path& folder)
{
    std::filesystem::path existing = folder.empty() ? std::filesystem::path(".") : folder;
    std::error_code error;
    while (!std::filesystem::is_directory(existing, error)) {
        if (!existing.has_relative_path())
            return false;
        existing = existing.parent_path().empty() ? std::filesystem::path(".") : existing.parent_path();
    }
    const UniqueFd fd = openFd(existing.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (!fd)
        return false;

    // A name already there, looked up in another case: no writing needed.
    if (const Owned<DIR> listing = openDir(existing.c_str())) {
        while (const dirent* entry = ::readdir(listing.get())) {
            const std::string name = entry->d_name, other = swappedCase(name);
            if (other == name)
                continue;
            if (const auto same = sameFileInOtherCase(fd.get(), name, other))
                return !*same;
        }
    }
    // None has a letter: a name of our own, made and removed again.
    UniqueFd made;    // locked while the probe exists
    HiddenName probe; // removed on a signal too
    if (!probe.create(fd.get(), "case-", "", [&](const char* name) { return bool(made = createLocked(fd.get(), name, 0600)); }))
        return false;
    const auto same = sameFileInOtherCase(fd.get(), probe.name(), swappedCase(probe.name()));
    return same && !*same;
}

} // namespace tessavo
