#include "test_files.h"

#include "heic_fixture.h"

#include <QFile>

namespace tessavo::testing {

bool writeHeic(const QString& path)
{
    const auto sample = std::filesystem::path(__FILE__).parent_path().parent_path() / "data" / "orientation-1.heic";
    const std::vector<uint8_t> bytes = testsupport::readFile(sample);
    return !bytes.empty() &&
           writeBytes(path, QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size())));
}

bool writeBytes(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

} // namespace tessavo::testing
