#pragma once

#include "platform/services.h"

#include <QSettings>

namespace tessavo {

// QSettings under the organisation and application names the program sets.
class SettingsStore final : public PreferenceStore {
public:
    QVariant value(const QString& key, const QVariant& fallback) const override;
    void setValue(const QString& key, const QVariant& value) override;

private:
    QSettings m_settings;
};

} // namespace tessavo
