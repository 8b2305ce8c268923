#pragma once

// The object graph on fakes: a configuration, surfaces that record what they are asked, and the
// launch switches of a test.
#include "app/state/AppState.h"

#include "support/FakeHTTPClient.h"

#include <QStringList>

namespace brenvo::test {

// A surface that records what the graph asks of it ("start Edge", "toggle Edge", ...).
class RecordingSurface final : public Surface {
public:
    RecordingSurface(QString name, QStringList& log)
        : m_name(std::move(name))
        , m_log(log)
    {
    }
    QString name() const override { return m_name; }
    void start(AppState&) override { m_log.append(QStringLiteral("start ") + m_name); }
    void stop() override { m_log.append(QStringLiteral("stop ") + m_name); }
    void toggle() override { m_log.append(QStringLiteral("toggle ") + m_name); }
    void bringOut() override { m_log.append(QStringLiteral("bringOut ") + m_name); }

private:
    QString m_name;
    QStringList& m_log;
};

inline AppConfig graphConfig()
{
    AppConfig config;
    config.name = QStringLiteral("Brenvo");
    config.bundleID = QStringLiteral("dev.brenvo.Test");
    config.version = QStringLiteral("2.3");
    config.build = QStringLiteral("45");
    return config;
}

// No network, no local usage readers, recording surfaces.
inline AppState::Launch graphLaunch(
    Scheduler& scheduler, QStringList& surfaceLog, bool underTest, bool mockData = false)
{
    AppState::Launch launch;
    launch.usesMockData = mockData;
    launch.isRunningTests = underTest;
    launch.scheduler = &scheduler;
    launch.usage = DevKitStore::UsageSources {};
    launch.http = std::make_shared<FakeHTTPClient>();
    launch.makeSurface = [&surfaceLog](AppState&, const QString& name) {
        return std::make_unique<RecordingSurface>(name, surfaceLog);
    };
    return launch;
}

} // namespace brenvo::test
