#include "platform/settings_store.h"

namespace tessavo {

QVariant SettingsStore::value(const QString& key, const QVariant& fallback) const
{
    return m_settings.value(key, fallback);
}

void SettingsStore::setValue(const QString& key, const QVariant& value)
{
    m_settings.setValue(key, value);
}

} // namespace tessavo
