#pragma once

#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

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

// Lets the user choose one folder.
class FolderPicker {
public:
    virtual ~FolderPicker() = default;
    virtual FolderChoice pickFolder() = 0;
};

// Name filter that accepts ".heic" in every letter case: native dialogs match
// patterns case-sensitively, and cameras write IMG_0001.HEIC.
QString heicNameFilter();

// Modal QFileDialog pickers. QFileDialog is a widget, so the application must
// run a QApplication, not a QGuiApplication.
class DialogFilePicker final : public FilePicker {
public:
    std::optional<QList<QUrl>> pickFiles() override;
};

class DialogFolderPicker final : public FolderPicker {
public:
    FolderChoice pickFolder() override;
};

} // namespace tessavo
