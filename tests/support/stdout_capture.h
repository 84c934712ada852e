#pragma once

#include "conversion/core/owners.h"

#include <QStringList>
#include <QTemporaryFile>

namespace tessavo::testing {

// Sends file descriptor 1 to a temporary file while it lives, so lines
// written with write(1, ...) by any thread can be checked.
class StdoutCapture {
public:
    StdoutCapture();
    ~StdoutCapture();
    StdoutCapture(const StdoutCapture&) = delete;
    StdoutCapture& operator=(const StdoutCapture&) = delete;

    // Every line written so far, without line feeds.
    QStringList lines() const;

private:
    QTemporaryFile m_file;
    UniqueFd m_savedStdout;
};

} // namespace tessavo::testing
