#pragma once

#include "platform/services.h"

#include <QSettings>
#include <QVariantMap>

#include <optional>

namespace tessavo {

// The settings file, by default the one QSettings keeps under the
// organisation and application names the program sets. It is read and
// written only while it is a regular file or absent: a FIFO there would
// block the start, and saving over a link to a device would replace the
// device. Otherwise the settings last only as long as this object.
class SettingsStore final : public PreferenceStore {
public:
    explicit SettingsStore(const QString& path = defaultPath());

    static QString defaultPath();

    QVariant value(const QString& key, const QVariant& fallback) const override;
    void setValue(const QString& key, const QVariant& value) override;
    QString problem() const override { return m_problem; }

private:
    std::optional<QSettings> m_settings;
    QVariantMap m_session;
    QString m_problem;
};

} // namespace tessavo
