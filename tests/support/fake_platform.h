#pragma once

#include "ui/content_view.h"

#include <QStringList>

// The desktop of the window state, faked through its seams (platform/services.h).
namespace tessavo::testing {

// Each dialog gives the next scripted answer, and is cancelled when none is left.
struct FakeFilePicker final : FilePicker {
    QList<std::optional<QList<QUrl>>> answers;
    std::optional<QList<QUrl>> pickFiles() override { return answers.isEmpty() ? std::nullopt : answers.takeFirst(); }
};

struct FakeFolderPicker final : FolderPicker {
    QList<FolderChoice> answers;
    FolderChoice pickFolder() override { return answers.isEmpty() ? FolderChoice{} : answers.takeFirst(); }
};

struct FakeRevealer final : FolderRevealer {
    QList<QUrl> revealed;
    std::function<void()> onReveal; // sees the state at the moment of each reveal
    void reveal(const QUrl& folder) override { revealed << folder; if (onReveal) onReveal(); }
};

struct FakeBookmarks final : BookmarkStore {
    QList<QUrl> saved;
    void saveBookmark(const QUrl& url) override { saved << url; }
};

struct FakeDesktop {
    FakeFilePicker* files = new FakeFilePicker;
    FakeFolderPicker* folders = new FakeFolderPicker;
    FakeRevealer* revealer = new FakeRevealer;
    FakeBookmarks* bookmarks = new FakeBookmarks;
    std::unique_ptr<ContentView> view = std::make_unique<ContentView>(PlatformServices{
        std::unique_ptr<FilePicker>(files), std::unique_ptr<FolderPicker>(folders),
        std::unique_ptr<FolderRevealer>(revealer), std::unique_ptr<BookmarkStore>(bookmarks),
        [](std::string_view) {}});
};

// The list as "name:status" per entry, the status by its initial: "A.heic:S bad.heic:E".
inline QString listed(const FileListModel& files)
{
    QStringList rows;
    for (const FileEntry& entry : files.entries())
        rows << entry.url.fileName() + u':' + QStringLiteral("WCSE")[int(entry.status)];
    return rows.join(u' ');
}

} // namespace tessavo::testing
