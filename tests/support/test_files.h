#pragma once

#include <QByteArray>
#include <QString>

namespace tessavo::testing {

// A small HEIC image made by libheif's encoder.
bool writeHeic(const QString& path);

// For files that only need to exist, and for bad input.
bool writeBytes(const QString& path, const QByteArray& content = "x");

} // namespace tessavo::testing
