#pragma once

#include "model/file_list_model.h"
#include "model/image_status.h"

#include <QObject>
#include <QtQml/qqmlregistration.h>

// The list's types as QML sees them; the list itself knows nothing of QML.
namespace tessavo::qml {

struct FileListModelForeign {
    Q_GADGET
    QML_FOREIGN(tessavo::FileListModel)
    QML_NAMED_ELEMENT(FileListModel)
    QML_UNCREATABLE("Owned by ContentView")
};

namespace ImageStatusForeign {
Q_NAMESPACE
QML_FOREIGN_NAMESPACE(tessavo)
QML_NAMED_ELEMENT(ImageStatus)
} // namespace ImageStatusForeign

} // namespace tessavo::qml
