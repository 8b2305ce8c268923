#pragma once

#include "app/core/Defaults.h"

#include <memory>

class QSettings;

namespace brenvo {

// The domain kept in a settings file. Each value is written at once; the file is replaced
// atomically, so a crash leaves the old or the new file, never half of one.
class QSettingsDefaults final : public Defaults {
public:
    explicit QSettingsDefaults(const QString& filePath);
    ~QSettingsDefaults() override;

    // $XDG_CONFIG_HOME/<name>/<name>.conf
    static QString standardPath(const QString& appName);

    QVariant object(const QString& key) const override;
    void setObject(const QString& key, const QVariant& value) override;
    void remove(const QString& key) override;

    QString filePath() const;

private:
    void sync();

    std::unique_ptr<QSettings> m_settings;
    bool m_reportedFailure = false;
};

} // namespace brenvo
