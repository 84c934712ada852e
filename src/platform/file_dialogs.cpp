#include "platform/file_dialogs.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QStringList>

namespace tessavo {

QString heicNameFilter()
{
    QStringList patterns;
    for (const QString& extension : {QStringLiteral("heic"), QStringLiteral("heif"), QStringLiteral("hif")})
        for (int mask = 0; mask < (1 << extension.size()); ++mask) {
            QString pattern = QStringLiteral("*.");
            for (qsizetype i = 0; i < extension.size(); ++i)
                pattern += (mask & (1 << i)) ? extension[i].toUpper() : extension[i];
            patterns << pattern;
        }
    return QCoreApplication::translate("FilePicker", "HEIC and HEIF photos (%1)").arg(patterns.join(u' '));
}

std::optional<QList<QUrl>> DialogFilePicker::pickFiles()
{
    // The dialog returns nothing on cancel; a confirmed dialog always names a file.
    // Every letter case is listed so that native dialogs, which may match
    // case-sensitively, show IMG_0001.HEIC too; the list itself is noise.
    // Titled as the command that opens it: Qt's own title, "Open", does not say what for.
    const QList<QUrl> urls = QFileDialog::getOpenFileUrls(nullptr, QCoreApplication::translate("FilePicker", "Add Images"), {},
        heicNameFilter(), nullptr, QFileDialog::HideNameFilterDetails);
    if (urls.isEmpty())
        return std::nullopt;
    return urls;
}

FolderChoice DialogFolderPicker::pickFolder(FolderPurpose purpose)
{
    // Qt's own, "Find Directory", does not say what for either.
    const QString title = purpose == FolderPurpose::Photos ? QCoreApplication::translate("FolderPicker", "Add Folder")
                                                           : QCoreApplication::translate("FolderPicker", "Choose Where to Save the JPEGs");
    const QUrl folder = QFileDialog::getExistingDirectoryUrl(nullptr, title, {}, QFileDialog::ShowDirsOnly);
    if (folder.isEmpty())
        return {};
    return {true, folder};
}

} // namespace tessavo
