#pragma once

#include <QByteArray>
#include <QString>

namespace tessavo::testing {

// A small HEIC image: a sample of tests/data.
bool writeHeic(const QString& path);

// For files that only need to exist, and for bad input.
bool writeBytes(const QString& path, const QByteArray& content = "x");

} // namespace tessavo::testing
