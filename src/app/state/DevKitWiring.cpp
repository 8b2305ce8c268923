#include "app/state/DevKitWiring.h"

#include "app/core/PreferencesStore.h"
#include "http/SiteIconLoader.h"
#include "model/Scheduler.h"
#include "payments/PolarClient.h"
#include "payments/StripeClient.h"
#include "sources/CloudflareSource.h"
#include "sources/GitHubSource.h"
#include "sources/GitLabSource.h"
#include "sources/VercelSource.h"
#include "usage/AnthropicAdminClient.h"
#include "usage/ClaudeUsageFile.h"
#include "usage/CodexUsageReader.h"
#include "usage/OpenAIAdminClient.h"
#include "usage/ToolAccount.h"

#include <QDir>
#include <QStandardPaths>

using namespace Qt::Literals::StringLiterals;

namespace brenvo {

LoaderSiteIcons::LoaderSiteIcons(std::shared_ptr<SiteIconLoader> loader)
    : m_loader(std::move(loader))
{
}

QCoro::Task<std::optional<QImage>> LoaderSiteIcons::icon(QString website)
{
    const auto loader = m_loader; // outlives this object while the lookup runs
    co_return co_await loader->iconForWebsite(website);
}

QCoro::Task<std::optional<QImage>> LoaderSiteIcons::image(QUrl url)
{
    const auto loader = m_loader;
    co_return co_await loader->image(url);
}

DevKitStore::Sources standardSources(PreferencesStore& preferences, Scheduler& scheduler,
    std::shared_ptr<HTTPClient> http, std::optional<DevKitStore::UsageSources> usage)
{
    DevKitStore::Sources sources;
    const SiteIconLoader icons(http);
    Scheduler* clock = &scheduler;
    const auto now = [clock] { return clock->wallNow(); };
    sources.activity.insert(KitService::vercel, std::make_shared<VercelSource>(http, icons));
    sources.activity.insert(KitService::cloudflare, std::make_shared<CloudflareSource>(http, icons, now));
    sources.activity.insert(KitService::github, std::make_shared<GitHubSource>(http, icons, now));
    sources.activity.insert(KitService::gitlab, std::make_shared<GitLabSource>(http, icons, now));
    sources.payments.insert(KitService::stripe, std::make_shared<StripeClient>(http));
    sources.payments.insert(KitService::polar, std::make_shared<PolarClient>(http));
    sources.spend.insert(KitService::claude, std::make_shared<AnthropicAdminClient>(http));
    sources.spend.insert(KitService::codex, std::make_shared<OpenAIAdminClient>(http));
    if (usage) {
        sources.usage = std::move(*usage);
    } else {
        auto claude = std::make_shared<ClaudeUsageFile>();
        const auto claudeTool = std::make_shared<ToolAccount>(u"claude"_s, scheduler);
        claude->claudeDirectory = QDir::homePath() + u"/.claude"_s;
        claude->directory
            = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + u"/Brenvo"_s;
        claude->askAccount = ClaudeUsageFile::accountAsker(claudeTool);
        claude->ask = ClaudeUsageFile::limitsProbe(claudeTool);
        PreferencesStore* settings = &preferences;
        claude->refreshEvery = [settings] { return settings->checkInterval(KitService::claude); };
        claude->now = now;
        sources.usage.insert(KitService::claude, claude);
        const auto codex = std::make_shared<ToolAccount>(QStringLiteral("codex"), scheduler);
        sources.usage.insert(KitService::codex,
            std::make_shared<CodexUsageReader>(
                preferences, codex, std::make_shared<CodexAppServer>(codex), now));
    }
    sources.siteIcons = std::make_shared<LoaderSiteIcons>(std::make_shared<SiteIconLoader>(http));
    return sources;
}

std::unique_ptr<DevKitStore> makeDevKitStore(PreferencesStore& preferences, SecretStore& secrets,
    Scheduler& scheduler, bool usesMockData, std::shared_ptr<HTTPClient> http,
    std::optional<DevKitStore::UsageSources> usage, QObject* parent)
{
    return std::make_unique<DevKitStore>(preferences, secrets, scheduler, usesMockData,
        standardSources(preferences, scheduler, std::move(http), std::move(usage)), parent);
}

} // namespace brenvo
