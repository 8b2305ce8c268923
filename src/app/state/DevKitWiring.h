#pragma once

#include "store/DevKitStore.h"
#include "store/SiteIconSource.h"

#include <QObject>

#include <memory>
#include <optional>

namespace brenvo {

class HTTPClient;
class PreferencesStore;
class Scheduler;
class SecretStore;
class SiteIconLoader;

// The web's icons through the shared loader.
class LoaderSiteIcons final : public SiteIconSource {
public:
    explicit LoaderSiteIcons(std::shared_ptr<SiteIconLoader> loader);

    QCoro::Task<std::optional<QImage>> icon(QString website) override;
    QCoro::Task<std::optional<QImage>> image(QUrl url) override;

private:
    std::shared_ptr<SiteIconLoader> m_loader;
};

// The application's own wiring of every tool, all over the one transport. Without a usage map the
// usage tools get the application's own local readers. Contacts no tool.
DevKitStore::Sources standardSources(PreferencesStore& preferences, Scheduler& scheduler,
    std::shared_ptr<HTTPClient> http, std::optional<DevKitStore::UsageSources> usage);
std::unique_ptr<DevKitStore> makeDevKitStore(PreferencesStore& preferences, SecretStore& secrets,
    Scheduler& scheduler, bool usesMockData, std::shared_ptr<HTTPClient> http,
    std::optional<DevKitStore::UsageSources> usage = std::nullopt, QObject* parent = nullptr);

} // namespace brenvo
