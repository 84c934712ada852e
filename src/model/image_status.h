#pragma once

#include <QObject>

namespace tessavo {

Q_NAMESPACE

// Stored as one byte; the ordinals are part of the model's contract.
// Cases start upper case because QML only sees enum values that do.
enum class ImageStatus : quint8 {
    Waiting = 0,
    Converting = 1,
    Success = 2,
    Error = 3,
};
Q_ENUM_NS(ImageStatus)

} // namespace tessavo
