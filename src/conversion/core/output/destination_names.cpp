#include "conversion/core/output/destination_names.h"

#include "conversion/core/base/owners.h"
#include "conversion/core/output/hidden_files.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cwchar>
#include <cwctype>
#include <fcntl.h>
#include <locale.h>
#include <optional>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
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
            key.push_back(
                caseSensitive ? wchar_t(static_cast<unsigned char>(byte)) : wchar_t(std::tolower(static_cast<unsigned char>(byte))));
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

// `folder`, or while it does not exist its nearest existing ancestor; empty
// when there is none.
std::filesystem::path nearestExistingFolder(const std::filesystem::path& folder)
{
    std::filesystem::path existing = folder.empty() ? std::filesystem::path(".") : folder;
    std::error_code error;
    while (!std::filesystem::is_directory(existing, error)) {
        if (!existing.has_relative_path())
            return {};
        existing = existing.parent_path().empty() ? std::filesystem::path(".") : existing.parent_path();
    }
    return existing;
}

// A new hidden file in `folder` for the case probe, locked while it exists so
// that a later run can tell a live one from one a killed run left behind.
using Identity = std::pair<dev_t, ino_t>;

std::optional<Identity> identityOf(int folder, const char* path, int flags)
{
    struct stat info { };
    if (::fstatat(folder, path, &info, flags) != 0)
        return std::nullopt;
    return Identity{info.st_dev, info.st_ino};
}

struct IdentityHash {
    size_t operator()(const Identity& id) const { return std::hash<ino_t>()(id.second) ^ std::hash<dev_t>()(id.first); }
};

// The sources of one run as names in its output folder: a source is known
// there by its device and inode, and by its name where it lies in the folder
// (a file system that folds case may give the other name another inode).
class RunSources {
public:
    RunSources(const std::vector<std::filesystem::path>& sources, const std::filesystem::path& folder, bool caseSensitive)
        : sources_(sources), caseSensitive_(caseSensitive)
    {
        const std::filesystem::path where = folder.empty() ? std::filesystem::path(".") : folder;
        folder_ = openFd(where.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        const auto folderId = folder_ ? identityOf(folder_.get(), "", AT_EMPTY_PATH) : std::nullopt;
        // A folder not made yet is known by its path alone.
        const auto normal = [](const std::filesystem::path& path) {
            std::error_code error;
            return (std::filesystem::absolute(path.empty() ? "." : path, error) / "").lexically_normal();
        };
        std::unordered_map<std::string, bool> isTheFolder;
        for (const std::filesystem::path& source : sources) {
            const std::filesystem::path parent = source.parent_path();
            const auto [at, added] = isTheFolder.try_emplace(parent.string());
            if (added) {
                const auto parentId = identityOf(AT_FDCWD, parent.empty() ? "." : parent.c_str(), 0);
                at->second = folderId && parentId ? *folderId == *parentId : normal(parent) == normal(where);
            }
            if (at->second)
                names_.insert(comparisonKey(source.filename().string(), caseSensitive));
        }
    }

    // Whether `name` in the folder is a source of the run.
    bool has(const std::string& name) const
    {
        if (names_.contains(comparisonKey(name, caseSensitive_)))
            return true;
        const auto there = folder_ ? identityOf(folder_.get(), name.c_str(), AT_SYMLINK_NOFOLLOW) : std::nullopt;
        if (!there)
            return false;
        // Looked up once a name in the folder is taken: most runs go into a
        // folder that has none of their names yet.
        if (!identitiesKnown_) {
            for (const std::filesystem::path& source : sources_)
                if (const auto id = identityOf(AT_FDCWD, source.c_str(), 0))
                    identities_.insert(*id);
            identitiesKnown_ = true;
        }
        return identities_.contains(*there);
    }

private:
    const std::vector<std::filesystem::path>& sources_;
    bool caseSensitive_;
    UniqueFd folder_;
    std::unordered_set<std::wstring> names_;
    mutable bool identitiesKnown_ = false;
    mutable std::unordered_set<Identity, IdentityHash> identities_;
};

// `stem` + `suffix`, the stem cut on a UTF-8 character boundary where the
// whole would be longer than `nameMax` bytes.
std::string fitted(const std::string& stem, const std::string& suffix, size_t nameMax)
{
    if (stem.size() + suffix.size() <= nameMax || suffix.size() >= nameMax)
        return stem + suffix;
    size_t cut = nameMax - suffix.size();
    while (cut > 0 && (static_cast<unsigned char>(stem[cut]) & 0xC0) == 0x80)
        --cut;
    return stem.substr(0, cut) + suffix;
}

// The source's name without its last extension and without leading dots: a
// JPEG nobody can see in the folder would look lost.
std::string visibleStem(const std::filesystem::path& source)
{
    std::string name = source.filename().string();
    name.erase(0, name.find_first_not_of('.'));
    return name.empty() ? "photo" : std::filesystem::path(name).stem().string();
}

} // namespace

std::vector<std::filesystem::path> planDestinationNames(
    const std::vector<std::filesystem::path>& sources, const std::filesystem::path& folder)
{
    const std::filesystem::path existing = nearestExistingFolder(folder);
    errno = 0;
    const long nameMax = existing.empty() ? -1 : ::pathconf(existing.c_str(), _PC_NAME_MAX);
    return planDestinationNames(sources, folder, folderTellsCaseApart(folder),
        nameMax > 0      ? size_t(nameMax)
            : errno == 0 ? SIZE_MAX
                         : size_t(NAME_MAX));
}

std::vector<std::filesystem::path> planDestinationNames(
    const std::vector<std::filesystem::path>& sources, const std::filesystem::path& folder, bool caseSensitive, size_t nameMax)
{
    const RunSources run(sources, folder, caseSensitive);
    std::vector<std::filesystem::path> names;
    names.reserve(sources.size());
    // Every name a source keeps, first: a later "IMG_1 (2).heic" keeps its
    // own name and the second IMG_1 counts on. A JPEG never takes the name
    // of a source, its own included (HEIC files named .jpg).
    std::unordered_set<std::wstring> taken;
    std::vector<size_t> clashing;
    for (size_t i = 0; i < sources.size(); ++i) {
        names.push_back(fitted(visibleStem(sources[i]), ".jpg", nameMax));
        if (run.has(names.back().string()) || !taken.insert(comparisonKey(names.back().string(), caseSensitive)).second)
            clashing.push_back(i);
    }
    std::unordered_map<std::wstring, int> nextNumber;
    for (const size_t i : clashing) {
        const std::string stem = visibleStem(sources[i]);
        int& number = nextNumber.try_emplace(comparisonKey(stem, caseSensitive), 2).first->second;
        for (;; ++number) {
            std::string candidate = fitted(stem, " (" + std::to_string(number) + ").jpg", nameMax);
            if (!run.has(candidate) && taken.insert(comparisonKey(candidate, caseSensitive)).second) {
                names[i] = std::move(candidate);
                break;
            }
        }
    }
    return names;
}

bool folderTellsCaseApart(const std::filesystem::path& folder)
{
    const std::filesystem::path existing = nearestExistingFolder(folder);
    const UniqueFd fd = existing.empty() ? UniqueFd() : openFd(existing.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (!fd)
        return false;
    UniqueFd made; // locked while the probe exists
    HiddenName probe; // listed for the signal handler, removed when done
    if (!probe.create(
            fd.get(), "case-", "", [&](const char* name) { return bool(made = createLocked(fd.get(), name, 0600)); },
            ConversionStep::CreateDestination))
        return false;
    // Where case is folded the other name finds the probe, though FUSE
    // drivers give it an inode number of its own; elsewhere it names nothing.
    struct stat info { };
    return ::fstatat(fd.get(), swappedCase(probe.name()).c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT;
}

} // namespace tessavo
