#pragma once

#include "platform/services.h"

#include <QString>

namespace tessavo {

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
    FolderChoice pickFolder(FolderPurpose purpose) override;
};

} // namespace tessavo
