#pragma once

#include "app/console.h"
#include "model/content_view.h"
#include "platform/bookmark_store.h"

#include <QList>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

namespace tessavo::testing {

// Answers each pickFiles() with the next scripted answer; cancels when none is left.
class ScriptedFilePicker final : public FilePicker {
public:
    QList<std::optional<QList<QUrl>>> answers;
    int calls = 0;

    std::optional<QList<QUrl>> pickFiles() override
    {
        ++calls;
        return answers.isEmpty() ? std::nullopt : answers.takeFirst();
    }
};

class ScriptedFolderPicker final : public FolderPicker {
public:
    QList<FolderChoice> answers;
    int calls = 0;

    FolderChoice pickFolder() override
    {
        ++calls;
        return answers.isEmpty() ? FolderChoice{} : answers.takeFirst();
    }
};

class RecordingRevealer final : public FolderRevealer {
public:
    QList<QUrl> revealed;
    // Runs at the moment of each reveal, so a test can check the state then.
    std::function<void()> onReveal;

    void reveal(const QUrl& folder) override
    {
        revealed.append(folder);
        if (onReveal)
            onReveal();
    }
};

// A ContentView on fake dialogs and reveal and the real SQLite store at `databasePath`.
struct FakeDesktop {
    ScriptedFilePicker* files = nullptr;
    ScriptedFolderPicker* folders = nullptr;
    RecordingRevealer* revealer = nullptr;
    SqliteBookmarkStore* store = nullptr; // flush() before reading it
    std::unique_ptr<ContentView> view;

    explicit FakeDesktop(const QString& databasePath)
    {
        PlatformServices services;
        auto filePicker = std::make_unique<ScriptedFilePicker>();
        auto folderPicker = std::make_unique<ScriptedFolderPicker>();
        auto recording = std::make_unique<RecordingRevealer>();
        files = filePicker.get();
        folders = folderPicker.get();
        revealer = recording.get();
        services.filePicker = std::move(filePicker);
        services.folderPicker = std::move(folderPicker);
        services.revealer = std::move(recording);
        auto bookmarks = std::make_unique<SqliteBookmarkStore>(printLine, databasePath);
        store = bookmarks.get();
        services.bookmarks = std::move(bookmarks);
        services.printLine = printLine;
        view = std::make_unique<ContentView>(std::move(services));
    }
};

} // namespace tessavo::testing
