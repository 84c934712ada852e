#include "test_files.h"

#include "heic_fixture.h"

#include <QFile>

namespace tessavo::testing {

bool writeHeic(const QString& path)
{
    const std::vector<uint8_t> bytes = testsupport::makeHeic({});
    return writeBytes(path, QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size())));
}

bool writeBytes(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

} // namespace tessavo::testing
