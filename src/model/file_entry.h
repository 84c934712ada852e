#pragma once

#include "model/image_status.h"

#include <QUrl>

namespace tessavo {

struct FileEntry {
    QUrl url;
    ImageStatus status = ImageStatus::Waiting;

    friend bool operator==(const FileEntry&, const FileEntry&) = default;
};

} // namespace tessavo
