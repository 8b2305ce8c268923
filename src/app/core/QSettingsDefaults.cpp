#include "app/core/QSettingsDefaults.h"

#include "model/Log.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

namespace brenvo {

QSettingsDefaults::QSettingsDefaults(const QString& filePath)
    : m_settings(std::make_unique<QSettings>(filePath, QSettings::IniFormat))
{
    m_settings->setAtomicSyncRequired(true);
}

QSettingsDefaults::~QSettingsDefaults() = default;

QString QSettingsDefaults::standardPath(const QString& appName)
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return QDir(base).filePath(appName + u'/' + appName + QStringLiteral(".conf"));
}

QString QSettingsDefaults::filePath() const
{
    return m_settings->fileName();
}

QVariant QSettingsDefaults::object(const QString& key) const
{
    const QVariant raw = m_settings->value(key);
    switch (raw.typeId()) {
    case QMetaType::QByteArray:
        return decode(raw.toByteArray());
    // A line edited by hand is plain text (or a comma list) in the file.
    case QMetaType::QString:
        return raw;
    case QMetaType::QStringList:
        return QVariant(raw.toList());
    default:
        return {};
    }
}

void QSettingsDefaults::setObject(const QString& key, const QVariant& value)
{
    const QByteArray stored = storedForm(key, value);
    if (stored.isEmpty())
        return;
    m_settings->setValue(key, stored);
    sync();
}

void QSettingsDefaults::remove(const QString& key)
{
    m_settings->remove(key);
    sync();
}

void QSettingsDefaults::sync()
{
    m_settings->sync();
    // QSettings keeps its first error; say it once. The values stay readable for this run.
    if (m_settings->status() != QSettings::NoError && !m_reportedFailure) {
        qCWarning(logApp, "Settings could not be written to %s", qUtf8Printable(m_settings->fileName()));
        m_reportedFailure = true;
    }
}

} // namespace brenvo
