#pragma once

#include "ui/content_view.h"

#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QStringList>
#include <QTest>

// The window's desktop faked through its seams (platform/services.h), for the tests and the benchmarks alike.
namespace tessavo::testsupport {

// Each dialog gives the next scripted answer, and is cancelled when none is left.
struct FakeFilePicker final : FilePicker {
    QList<std::optional<QList<QUrl>>> answers;
    std::optional<QList<QUrl>> pickFiles() override { return answers.isEmpty() ? std::nullopt : answers.takeFirst(); }
};

struct FakeFolderPicker final : FolderPicker {
    QList<FolderChoice> answers;
    FolderChoice pickFolder(FolderPurpose) override { return answers.isEmpty() ? FolderChoice{} : answers.takeFirst(); }
};

struct FakeRevealer final : FolderRevealer {
    QList<QUrl> revealed;
    std::function<void()> onReveal = [] {}; // sees the state at the moment of each reveal
    void reveal(const QUrl& folder) override
    {
        revealed << folder;
        onReveal();
    }
};

struct FakeBookmarks final : BookmarkStore {
    QList<QUrl> saved;
    void saveBookmark(const QUrl& url) override { saved << url; }
};

struct FakePreferences final : PreferenceStore {
    QVariantMap values;
    QVariant value(const QString& key, const QVariant& fallback) const override { return values.value(key, fallback); }
    void setValue(const QString& key, const QVariant& value) override { values.insert(key, value); }
};

struct FakeOpener final : FileOpener {
    QList<QUrl> opened;
    void open(const QUrl& file) override { opened << file; }
};

// Bookmarks go to `store` when one is given (`bookmarks` is then null), the conversion lines to `lines`.
struct FakeDesktop {
    FakeFilePicker* files = new FakeFilePicker;
    FakeFolderPicker* folders = new FakeFolderPicker;
    FakeRevealer* revealer = new FakeRevealer;
    FakeBookmarks* bookmarks = nullptr;
    FakePreferences* preferences = new FakePreferences;
    FakeOpener* opener = new FakeOpener;
    std::unique_ptr<ContentView> view;
    std::unique_ptr<QQmlApplicationEngine> engine; // goes before the view it binds to

    explicit FakeDesktop(
        std::unique_ptr<BookmarkStore> store = {}, std::function<void(std::string_view)> lines = [](auto) {})
        : view(std::make_unique<ContentView>(PlatformServices{std::unique_ptr<FilePicker>(files), std::unique_ptr<FolderPicker>(folders),
              std::unique_ptr<FolderRevealer>(revealer),
              store ? std::move(store) : std::unique_ptr<BookmarkStore>(bookmarks = new FakeBookmarks),
              std::unique_ptr<PreferenceStore>(preferences), std::move(lines), std::unique_ptr<FileOpener>(opener)}))
    {
    }

    // The real Main.qml over the view, once it is active; null when it did not load or never became active.
    QQuickWindow* show()
    {
        engine = std::make_unique<QQmlApplicationEngine>();
        engine->setInitialProperties({{QStringLiteral("contentView"), QVariant::fromValue(view.get())}});
        engine->load(QUrl(QStringLiteral("qrc:/Tessavo/Main.qml")));
        auto* window = engine->rootObjects().isEmpty() ? nullptr : qobject_cast<QQuickWindow*>(engine->rootObjects().constFirst());
        if (window)
            window->requestActivate();
        return window && QTest::qWaitForWindowActive(window) ? window : nullptr;
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

} // namespace tessavo::testsupport
