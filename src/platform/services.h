#pragma once

#include <QList>
#include <QString>
#include <QUrl>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>
#include <string_view>

// What the window asks of the desktop, as interfaces. The application hands
// in the desktop's own (desktop_services.h), tests hand in fakes.
namespace tessavo {

// Lets the user choose several HEIC files. The chosen URLs come back in the
// dialog's order; std::nullopt means the dialog was cancelled.
class FilePicker {
public:
    virtual ~FilePicker() = default;
    virtual std::optional<QList<QUrl>> pickFiles() = 0;
};

struct FolderChoice {
    bool confirmed = false;
    // Empty when the dialog was confirmed without naming a folder.
    QUrl folder;
};

// What a folder is asked for; the dialog's title says it.
enum class FolderPurpose { Output, Photos };

// Lets the user choose one folder.
class FolderPicker {
public:
    virtual ~FolderPicker() = default;
    virtual FolderChoice pickFolder(FolderPurpose purpose) = 0;
};

// Shows a folder itself (nothing selected in it) in the desktop's file browser.
class FolderRevealer {
public:
    virtual ~FolderRevealer() = default;
    virtual void reveal(const QUrl& folder) = 0;
};

// Opens a file in the application the desktop chose for its type.
class FileOpener {
public:
    virtual ~FileOpener() = default;
    virtual void open(const QUrl& file) = 0;
};

// What kept the bookmark store from keeping a record, so that the window can
// say it in the user's words; the store's own reason goes beside it.
enum class StoreFailure { ReadOnly, Locked, DiskFull, Damaged, CannotOpen, NoHome, Other };

// Records every location the user hands over. Write-only: nothing in the
// application reads a record back.
class BookmarkStore {
public:
    virtual ~BookmarkStore() = default;
    // Never fails toward the caller; a location that cannot be examined, or
    // a record that cannot be stored, prints
    // "Failed to save bookmark data for URL: <path>, error: <reason>".
    virtual void saveBookmark(const QUrl& url) = 0;
    // Called with what failed and the system's reason, from any thread,
    // whenever the store itself fails to keep a record; set before the first save.
    std::function<void(StoreFailure failure, const QString& reason)> storeFailed;
};

// Settings kept between sessions in the user's config folder: the windows'
// places and the options of a run. Keys are "Group/name".
class PreferenceStore {
public:
    virtual ~PreferenceStore() = default;
    virtual QVariant value(const QString& key, const QVariant& fallback = {}) const = 0;
    virtual void setValue(const QString& key, const QVariant& value) = 0;
    // Why they are not kept between sessions, in words for the window;
    // empty while they are.
    virtual QString problem() const { return {}; }
};

// The services the window reaches the desktop through.
struct PlatformServices {
    std::unique_ptr<FilePicker> filePicker;
    std::unique_ptr<FolderPicker> folderPicker;
    std::unique_ptr<FolderRevealer> revealer;
    std::unique_ptr<BookmarkStore> bookmarks;
    std::unique_ptr<PreferenceStore> preferences;
    // Where the conversion lines go, from the jobs' threads: standard output
    // in the application; tests may collect them.
    std::function<void(std::string_view line)> printLine;
    std::unique_ptr<FileOpener> opener;
};

} // namespace tessavo
