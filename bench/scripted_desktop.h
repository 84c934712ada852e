#pragma once

#include "app/console.h"
#include "model/content_view.h"
#include "platform/bookmark_store.h"

#include <QList>
#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

// The real window over a ContentView whose dialogs answer from a script, for
// the screenshot and the list benchmark: the real SQLite bookmark store,
// the conversion lines on standard output, and a reveal that only calls back.
namespace tessavo::bench {

class ScriptedFiles final : public FilePicker {
public:
    QList<QList<QUrl>> answers; // then cancelled
    std::optional<QList<QUrl>> pickFiles() override
    {
        return answers.isEmpty() ? std::nullopt : std::optional(answers.takeFirst());
    }
};

class ScriptedFolder final : public FolderPicker {
public:
    QUrl folder; // empty: cancelled
    FolderChoice pickFolder() override { return {!folder.isEmpty(), folder}; }
};

class RevealCallback final : public FolderRevealer {
public:
    std::function<void()> onReveal;
    bool revealed = false;
    void reveal(const QUrl&) override
    {
        revealed = true;
        if (onReveal)
            onReveal();
    }
};

struct ScriptedWindow {
    ScriptedFiles* files;
    ScriptedFolder* folder;
    RevealCallback* revealer;
    SqliteBookmarkStore* store; // flush() before reading its file
    std::unique_ptr<ContentView> view;
    std::unique_ptr<QQmlApplicationEngine> engine;
    QQuickWindow* window = nullptr; // null when Main.qml did not load

    explicit ScriptedWindow(const QString& databasePath)
    {
        PlatformServices services;
        services.filePicker = std::make_unique<ScriptedFiles>();
        services.folderPicker = std::make_unique<ScriptedFolder>();
        services.revealer = std::make_unique<RevealCallback>();
        services.bookmarks = std::make_unique<SqliteBookmarkStore>(printLine, databasePath);
        services.printLine = printLine;
        files = static_cast<ScriptedFiles*>(services.filePicker.get());
        folder = static_cast<ScriptedFolder*>(services.folderPicker.get());
        revealer = static_cast<RevealCallback*>(services.revealer.get());
        store = static_cast<SqliteBookmarkStore*>(services.bookmarks.get());
        view = std::make_unique<ContentView>(std::move(services));
        engine = std::make_unique<QQmlApplicationEngine>();
        engine->setInitialProperties({{QStringLiteral("contentView"), QVariant::fromValue(view.get())}});
        engine->load(QUrl(QStringLiteral("qrc:/Tessavo/Main.qml")));
        if (!engine->rootObjects().isEmpty())
            window = qobject_cast<QQuickWindow*>(engine->rootObjects().constFirst());
    }
    // The window goes before the state it shows.
    ~ScriptedWindow() { engine.reset(); }
};

} // namespace tessavo::bench
