#include "stdout_capture.h"

#include <QFile>

#include <cstdio>
#include <unistd.h>

namespace tessavo::testing {

StdoutCapture::StdoutCapture()
{
    if (!m_file.open())
        qFatal("cannot create the stdout capture file");
    std::fflush(stdout);
    m_savedStdout = UniqueFd(::dup(STDOUT_FILENO));
    ::dup2(m_file.handle(), STDOUT_FILENO);
}

StdoutCapture::~StdoutCapture()
{
    std::fflush(stdout);
    ::dup2(m_savedStdout.get(), STDOUT_FILENO);
}

QStringList StdoutCapture::lines() const
{
    std::fflush(stdout);
    QFile reader(m_file.fileName());
    if (!reader.open(QIODevice::ReadOnly))
        return {};
    QStringList result = QString::fromUtf8(reader.readAll()).split(u'\n');
    if (!result.isEmpty() && result.last().isEmpty())
        result.removeLast();
    return result;
}

} // namespace tessavo::testing
