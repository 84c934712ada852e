#include "platform/translations.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

namespace tessavo {

namespace {

// The first of the user's languages that has a translation wins; English,
// the language of the sources, wins over those after it.
void install(const QLocale& locale, const QString& name, const QStringList& folders)
{
    for (const QString& language : locale.uiLanguages()) {
        const QLocale wanted(language);
        if (wanted.language() == QLocale::English || wanted.language() == QLocale::C)
            return;
        for (const QString& folder : folders) {
            // Owned by the application, which removes it again when it goes.
            auto* translator = new QTranslator(QCoreApplication::instance());
            if (translator->load(wanted, name, QStringLiteral("_"), folder)) {
                QCoreApplication::installTranslator(translator);
                return;
            }
            delete translator;
        }
    }
}

} // namespace

void installTranslations(const QLocale& locale)
{
    install(locale, QStringLiteral("qtbase"), {QLibraryInfo::path(QLibraryInfo::TranslationsPath)});
    const QString installed = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral(TESSAVO_INSTALLED_TRANSLATIONS));
    install(locale, QStringLiteral("tessavo"), {installed, QStringLiteral(TESSAVO_BUILD_TRANSLATIONS_DIR)});
}

} // namespace tessavo
