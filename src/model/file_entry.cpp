#include "model/file_entry.h"

#include "platform/local_path.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace tessavo {

QString failureText(const FileEntry& entry)
{
    if (!entry.failure)
        return {};
    const Failure& failure = *entry.failure;
    const QString reason = QString::fromLocal8Bit(failure.reason);
    if (failure.reason == kNoMemoryToDecode)
        return QCoreApplication::translate("FileRow", "Not enough memory to decode the photo");
    switch (failure.step) {
    case ConversionStep::Read:
        return QCoreApplication::translate("FileRow", "Could not read the photo: %1").arg(reason);
    case ConversionStep::Parse:
        return QCoreApplication::translate("FileRow", "Not a HEIC photo, or damaged");
    case ConversionStep::Decode:
        return QCoreApplication::translate("FileRow", "Could not decode the photo");
    case ConversionStep::CreateFolder:
    case ConversionStep::CreateDestination:
    case ConversionStep::Finalize:
        if (entry.jpeg.isEmpty())
            return QCoreApplication::translate("FileRow", "Could not write the JPEG: %1").arg(reason);
        return QCoreApplication::translate("FileRow", "Could not write to %1: %2")
            .arg(QFileInfo(QFile::decodeName(localPath(entry.jpeg))).dir().dirName(), reason);
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
