#include "platform/translations.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

namespace tessavo {

namespace {

// Owned by the application, which removes it again when it goes.
bool install(const QLocale& language, const QString& name, const QString& folder)
{
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(language, name, QStringLiteral("_"), folder)) {
        QCoreApplication::installTranslator(translator);
        return true;
    }
    delete translator;
    return false;
}

} // namespace

void installTranslations(const QLocale& locale)
{
    const QStringList folders = {QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral(TESSAVO_INSTALLED_TRANSLATIONS)),
        QStringLiteral(TESSAVO_BUILD_TRANSLATIONS_DIR)};
    // The first of the user's languages that Tessavo speaks; English, the
    // language of the sources, before any that comes after it. Qt's dialogs
    // then speak the same one, never another.
    for (const QString& name : locale.uiLanguages()) {
        const QLocale language(name);
        if (language.language() == QLocale::English || language.language() == QLocale::C)
            return;
        for (const QString& folder : folders) {
            if (install(language, QStringLiteral("tessavo"), folder)) {
                install(language, QStringLiteral("qtbase"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
                return;
            }
        }
    }
}

} // namespace tessavo
