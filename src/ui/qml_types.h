#pragma once

#include "conversion/conversion_run.h"
#include "intake/file_intake.h"
#include "model/file_list_model.h"
#include "model/image_status.h"
#include "model/selection.h"

#include <QObject>
#include <QtQml/qqmlregistration.h>

// The types ContentView hands to QML, as QML sees them; they themselves
// know nothing of QML.
namespace tessavo::qml {

struct FileListModelForeign {
    Q_GADGET
    QML_FOREIGN(tessavo::FileListModel)
    QML_NAMED_ELEMENT(FileListModel)
    QML_UNCREATABLE("Owned by ContentView")
};

struct SelectionForeign {
    Q_GADGET
    QML_FOREIGN(tessavo::Selection)
    QML_NAMED_ELEMENT(Selection)
    QML_UNCREATABLE("Owned by ContentView")
};

struct FileIntakeForeign {
    Q_GADGET
    QML_FOREIGN(tessavo::FileIntake)
    QML_NAMED_ELEMENT(FileIntake)
    QML_UNCREATABLE("Owned by ContentView")
};

struct ConversionRunForeign {
    Q_GADGET
    QML_FOREIGN(tessavo::ConversionRun)
    QML_NAMED_ELEMENT(ConversionRun)
    QML_UNCREATABLE("Owned by ContentView")
};

struct RunProgressForeign {
    Q_GADGET
    QML_FOREIGN(tessavo::RunProgress)
    QML_VALUE_TYPE(runProgress)
};

namespace ImageStatusForeign {
Q_NAMESPACE
QML_FOREIGN_NAMESPACE(tessavo)
QML_NAMED_ELEMENT(ImageStatus)
} // namespace ImageStatusForeign

// RunState.Running and the other states of ConversionRun.state.
namespace RunStateForeign {
Q_NAMESPACE
QML_FOREIGN_NAMESPACE(tessavo::runs)
QML_NAMED_ELEMENT(RunState)
} // namespace RunStateForeign

} // namespace tessavo::qml
