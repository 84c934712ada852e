#pragma once

#include "conversion/core/convert_file.h"
#include "model/image_status.h"

#include <QString>
#include <QUrl>

#include <optional>

namespace tessavo {

struct FileEntry {
    QUrl url;
    ImageStatus status = ImageStatus::Waiting;
    // What its last conversion reported when it failed.
    std::optional<Failure> failure = {};
    // The JPEG its last conversion wrote, or was writing when it failed;
    // empty before a conversion got that far.
    QUrl jpeg = {};
    // Why that JPEG holds no HDR where it was asked for; empty otherwise.
    QString hdrNotKept = {};
    // For a photo listed through a folder: the folders from that folder's
    // parent down to the photo's ("DCIM/100APPLE"), as the system's bytes,
    // which its JPEG keeps under the output folder. Empty for one added alone.
    QByteArray subfolder = {};
    // Where its JPEG goes, relative to the output folder, once a run has
    // planned it; empty before.
    QString destination = {};

    friend bool operator==(const FileEntry&, const FileEntry&) = default;
};

// The failure in plain words for the row, or empty when there is none.
QString failureText(const FileEntry& entry);

// What a converted entry's JPEG left out, for the row; empty when nothing.
QString noteText(const FileEntry& entry);

} // namespace tessavo
