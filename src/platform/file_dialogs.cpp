#include "platform/file_dialogs.h"

#include <QFileDialog>
#include <QStringList>

namespace tessavo {

QString heicNameFilter()
{
    const QString extension = QStringLiteral("heic");
    QStringList patterns;
    for (int mask = 0; mask < (1 << extension.size()); ++mask) {
        QString pattern = QStringLiteral("*.");
        for (qsizetype i = 0; i < extension.size(); ++i)
            pattern += (mask & (1 << i)) ? extension[i].toUpper() : extension[i];
        patterns << pattern;
    }
    return QStringLiteral("HEIC images (%1)").arg(patterns.join(u' '));
}

std::optional<QList<QUrl>> DialogFilePicker::pickFiles()
{
    // The dialog returns nothing on cancel; a confirmed dialog always names a file.
    const QList<QUrl> urls = QFileDialog::getOpenFileUrls(nullptr, {}, {}, heicNameFilter());
    if (urls.isEmpty())
        return std::nullopt;
    return urls;
}

FolderChoice DialogFolderPicker::pickFolder()
{
    const QUrl folder = QFileDialog::getExistingDirectoryUrl(nullptr, {}, {}, QFileDialog::ShowDirsOnly);
    if (folder.isEmpty())
        return {};
    return {true, folder};
}

} // namespace tessavo
