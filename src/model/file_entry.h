#pragma once

#include "conversion/core/convert_file.h"
#include "model/image_status.h"

#include <QString>
#include <QUrl>

namespace tessavo {

// What the last conversion of an entry reported when it failed.
struct ConversionFailure {
    // Done while the entry has not failed.
    ConversionStep step = ConversionStep::Done;
    QString reason;
    // The JPEG it was writing, when it got that far.
    QString destination;

    friend bool operator==(const ConversionFailure&, const ConversionFailure&) = default;
};

struct FileEntry {
    QUrl url;
    ImageStatus status = ImageStatus::Waiting;
    ConversionFailure failure;
    // The JPEG its last conversion wrote; empty unless it is converted.
    QUrl jpeg = {};
    // Why that JPEG holds no HDR where it was asked for; empty otherwise.
    QString hdrNotKept = {};

    friend bool operator==(const FileEntry&, const FileEntry&) = default;
};

// The failure in plain words for the row, or empty when there is none.
QString failureText(const ConversionFailure& failure);

// What a converted entry's JPEG left out, for the row; empty when nothing.
QString noteText(const FileEntry& entry);

} // namespace tessavo
