#pragma once

#include "ui/content_view.h"

#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QStringList>
#include <QTest>

// The desktop of the window state, faked through its seams (platform/services.h),
// for the tests and the benchmarks alike.
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

// A ContentView on fake dialogs. Bookmarks go to `store` when one is given
// (`bookmarks` is then null), the conversion lines to `lines`.
struct FakeDesktop {
    FakeFilePicker* files = new FakeFilePicker;
    FakeFolderPicker* folders = new FakeFolderPicker;
    FakeRevealer* revealer = new FakeRevealer;
    FakeBookmarks* bookmarks = nullptr;
    std::unique_ptr<ContentView> view;

    explicit FakeDesktop(std::unique_ptr<BookmarkStore> store = {},
                         std::function<void(std::string_view)> lines = [](std::string_view) {})
    {
        if (!store)
            store.reset(bookmarks = new FakeBookmarks);
        view = std::make_unique<ContentView>(PlatformServices{
            std::unique_ptr<FilePicker>(files), std::unique_ptr<FolderPicker>(folders),
            std::unique_ptr<FolderRevealer>(revealer), std::move(store), std::move(lines)});
    }
};

// The real Main.qml over a FakeDesktop's ContentView, shown and active;
// `window` is null when it did not load or never became active.
struct FakeWindow {
    FakeDesktop desktop;
    ContentView& view = *desktop.view;
    QQmlApplicationEngine engine; // goes before the view it binds to
    QQuickWindow* window = nullptr;

    template <typename... Args>
    explicit FakeWindow(Args&&... desktopArgs) : desktop(std::forward<Args>(desktopArgs)...)
    {
        engine.setInitialProperties({{QStringLiteral("contentView"), QVariant::fromValue(&view)}});
        engine.load(QUrl(QStringLiteral("qrc:/Tessavo/Main.qml")));
        if (!engine.rootObjects().isEmpty())
            window = qobject_cast<QQuickWindow*>(engine.rootObjects().constFirst());
        if (window)
            window->requestActivate();
        if (window && !QTest::qWaitForWindowActive(window))
            window = nullptr;
    }
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
