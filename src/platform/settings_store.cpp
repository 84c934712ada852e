#include "platform/settings_store.h"

#include <QCoreApplication>
#include <QFile>
#include <QStandardPaths>

#include <sys/stat.h>

namespace tessavo {

SettingsStore::SettingsStore(const QString& path)
{
    struct stat info { };
    if (::stat(QFile::encodeName(path).constData(), &info) == 0 && !S_ISREG(info.st_mode))
        m_problem = QCoreApplication::translate("SettingsStore", "%1 is not a regular file").arg(path);
    else
        m_settings.emplace(path, QSettings::IniFormat);
}

QString SettingsStore::defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u'/' + QCoreApplication::organizationName() + u'/' +
        QCoreApplication::applicationName() + QStringLiteral(".conf");
}

QVariant SettingsStore::value(const QString& key, const QVariant& fallback) const
{
    return m_settings ? m_settings->value(key, fallback) : m_session.value(key, fallback);
}

void SettingsStore::setValue(const QString& key, const QVariant& value)
{
    if (m_settings)
        m_settings->setValue(key, value);
    else
        m_session.insert(key, value);
}

} // namespace tessavo
