#include "model/KitService.h"
#include "model/StripItem.h"

namespace brenvo {

namespace {

struct Names {
    const char* raw;
    const char* display;
    const char* sentence;
    const char* api;
    const char* title;
    const char* section;
};

// Indexed by the tool's declaration index.
constexpr std::array<Names, KitService::count> names = {{
    {"vercel", "Vercel", "Vercel", "Vercel", "Vercel", "Deployments"},
    {"cloudflare", "Cloudflare", "Cloudflare", "Cloudflare", "Cloudflare", "Deployments"},
    {"github", "GitHub", "GitHub", "GitHub", "GitHub", "Checks"},
    {"gitlab", "GitLab", "GitLab", "GitLab", "GitLab", "Pipelines"},
    {"stripe", "Stripe", "Stripe", "Stripe", "Stripe", "Payments"},
    {"polar", "Polar", "Polar", "Polar", "Polar", "Sales"},
    {"claude", "Claude Code", "Claude", "Claude API", "Claude", "Usage"},
    {"codex", "Codex", "OpenAI Codex", "OpenAI API", "OpenAI Codex", "Usage"},
}};

const Names& namesOf(KitService service)
{
    return names[static_cast<size_t>(service.index())];
}

} // namespace

QString KitService::rawValue() const
{
    return QString::fromLatin1(namesOf(*this).raw);
}

QString KitService::displayName() const
{
    return QString::fromLatin1(namesOf(*this).display);
}

QString KitService::serviceName() const
{
    return QString::fromLatin1(namesOf(*this).sentence);
}

QString KitService::apiName() const
{
    return QString::fromLatin1(namesOf(*this).api);
}

QString KitService::title() const
{
    return QString::fromLatin1(namesOf(*this).title);
}

QString KitService::section() const
{
    return QString::fromLatin1(namesOf(*this).section);
}

QString KitService::secretKey() const
{
    return QStringLiteral("kit.") + rawValue();
}

std::optional<KitService> KitService::fromRaw(const QString& raw)
{
    for (KitService service : allCases()) {
        if (raw == QLatin1String(namesOf(service).raw))
            return service;
    }
    return std::nullopt;
}

const std::array<KitService, KitService::count>& KitService::allCases()
{
    static constexpr std::array<KitService, count> all
        = {vercel, cloudflare, github, gitlab, stripe, polar, claude, codex};
    return all;
}

StripItem::Kind StripItem::kind() const
{
    if (m_code == moreCode)
        return Kind::more;
    if (m_code == settingsCode)
        return Kind::settings;
    return Kind::service;
}

std::optional<KitService> StripItem::tool() const
{
    if (m_code >= KitService::count)
        return std::nullopt;
    return KitService::allCases()[m_code];
}

QList<StripItem> StripItem::items(const QList<KitService>& services, int limit, bool expanded)
{
    QList<StripItem> result;
    const bool hides = limit >= 1 && limit < services.size() && !expanded;
    const qsizetype shown = hides ? limit : services.size();
    result.reserve(shown + 2);
    for (qsizetype i = 0; i < shown; ++i)
        result.append(service(services[i]));
    result.append(settings());
    if (hides)
        result.append(more());
    return result;
}

size_t qHash(const StripItem& item, size_t seed) noexcept
{
    // The discriminator first, then the tool's raw value for a tool's tile.
    switch (item.kind()) {
    case StripItem::Kind::service:
        return qHashMulti(seed, 0, item.tool()->rawValue());
    case StripItem::Kind::more:
        return qHashMulti(seed, 1);
    case StripItem::Kind::settings:
        return qHashMulti(seed, 2);
    }
    return seed;
}

} // namespace brenvo
