#include "model/file_entry.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace tessavo {

QString failureText(const ConversionFailure& failure)
{
    if (failure.reason == QLatin1StringView(kNoMemoryToDecode.data(), qsizetype(kNoMemoryToDecode.size())))
        return QCoreApplication::translate("FileRow", "Not enough memory to decode the photo");
    switch (failure.step) {
    case ConversionStep::Read:
        return QCoreApplication::translate("FileRow", "Could not read the photo: %1").arg(failure.reason);
    case ConversionStep::Parse:
        return QCoreApplication::translate("FileRow", "Not a HEIC photo, or damaged");
    case ConversionStep::Decode:
        return QCoreApplication::translate("FileRow", "Could not decode the photo");
    case ConversionStep::CreateFolder:
    case ConversionStep::CreateDestination:
    case ConversionStep::Finalize:
        if (failure.destination.isEmpty())
            return QCoreApplication::translate("FileRow", "Could not write the JPEG: %1").arg(failure.reason);
        return QCoreApplication::translate("FileRow", "Could not write to %1: %2")
            .arg(QFileInfo(failure.destination).dir().dirName(), failure.reason);
    case ConversionStep::Done:
        break;
    }
    return {};
}

QString noteText(const FileEntry& entry)
{
    if (entry.hdrNotKept.isEmpty())
        return {};
    return QCoreApplication::translate("FileRow", "HDR not kept: %1").arg(entry.hdrNotKept);
}

} // namespace tessavo
