// The built-in sample data: every card, tile and detail view has content without a token or network.
#include "model/DevKitSnapshot.h"

namespace brenvo {

namespace {

QString text(const char* latin1)
{
    return QString::fromUtf8(latin1);
}

// Host names of the sample rows live under a domain reserved for examples.
const char* const sampleDomainSuffix = ".example.com";

} // namespace

const DevKitSnapshot& DevKitSnapshot::empty()
{
    static const DevKitSnapshot none;
    return none;
}

QList<Deployment> Deployment::samples(const std::optional<QString>& environment, const QDateTime& now)
{
    const auto row = [&](const char* id, const char* project, const char* branch, const char* message,
                         State state, qint64 secondsAgo) {
        Deployment d;
        d.id = text(id);
        d.project = text(project);
        d.branch = text(branch);
        d.message = text(message);
        d.state = state;
        d.date = now.addSecs(-secondsAgo);
        d.environment = environment;
        return d;
    };
    return {
        row("dpl_1", "dashboard", "feat/funnels", "Add funnel breakdown by source", State::building, 60),
        row("dpl_2", "marketing-site", "main", "Tighten hero copy", State::ready, 720),
        row("dpl_3", "docs", "main", "Fix broken anchor links", State::failed, 5700),
    };
}

QList<Payment> Payment::samples(const QDateTime& now)
{
    const auto payment = [&](const char* id, qint64 amount, State state, qint64 secondsAgo) {
        Payment p;
        p.id = text(id);
        p.amount = amount;
        p.currency = QStringLiteral("USD");
        p.state = state;
        p.date = now.addSecs(-secondsAgo);
        return p;
    };
    Payment first = payment("pay_1", 2900, State::succeeded, 240);
    first.customerName = text("Mara Quill");
    first.customerEmail = text("mara@example.com");
    first.country = text("GB");
    first.description = text("Pro license");
    first.method = text("Visa \u2022\u2022\u2022\u2022 4242");
    first.reference = text("1042-7731");

    Payment second = payment("pay_2", 9900, State::succeeded, 2280);
    second.customerName = text("Jonah Reed");
    second.customerEmail = text("jonah@example.org");
    second.country = text("US");
    second.description = text("Team plan, yearly");
    second.method = text("Mastercard \u2022\u2022\u2022\u2022 4444");
    second.note = text("Renewal");

    Payment third = payment("pay_3", 2900, State::failed, 10200);
    third.customerEmail = text("buyer@example.net");
    third.country = text("FI");
    third.description = text("Pro license");
    third.method = text("Visa \u2022\u2022\u2022\u2022 0341");
    third.note = text("Your card was declined.");

    return {first, second, third};
}

DevKitSnapshot DevKitSnapshot::sample(const QDateTime& now)
{
    DevKitSnapshot snapshot;
    for (KitService service : KitService::allCases()) {
        if (!service.isActivity())
            continue;
        const bool deploys = service == KitService::vercel || service == KitService::cloudflare;
        snapshot.deployments.insert(service,
            Deployment::samples(deploys ? std::optional(QStringLiteral("Production")) : std::nullopt, now));
    }
    const QList<Payment> payments = Payment::samples(now);
    snapshot.payments.insert(KitService::stripe, payments);
    snapshot.payments.insert(KitService::polar, payments);

    const auto meter = [&](const char* id, const char* name, double fraction, qint64 resetsIn) {
        return UsageMeter {text(id), text(name), fraction, now.addSecs(resetsIn)};
    };
    snapshot.usage.insert(KitService::claude,
        UsageReport {{meter("five_hour", "5-hour limit", 0.62, 6480),
                         meter("seven_day", "Weekly limit", 0.34, 345600)},
            std::nullopt, now.addSecs(-60), std::nullopt});
    snapshot.usage.insert(KitService::codex,
        UsageReport {{meter("main.primary", "5-hour limit", 0.18, 12000),
                         meter("main.secondary", "Weekly limit", 0.81, 172800)},
            QStringLiteral("Plus"), now, std::nullopt});
    snapshot.spend.insert(KitService::codex,
        {UsageSpend {QStringLiteral("today"), QStringLiteral("Today"), 3.42, QStringLiteral("USD"), 1240000},
            UsageSpend {QStringLiteral("month"), QStringLiteral("This month"), 61.8, QStringLiteral("USD"),
                std::nullopt}});
    return snapshot;
}

DeploymentDetails DeploymentDetails::sample(const Deployment& deployment, KitService service)
{
    using State = Deployment::State;
    DeploymentDetails details;
    details.creator = QStringLiteral("robin");
    if (service == KitService::vercel) {
        details.canRedeploy = true;
        switch (deployment.state) {
        case State::ready:
            details.domains = {deployment.project + QLatin1String(sampleDomainSuffix)};
            details.buildDuration = 42;
            break;
        case State::failed:
            details.errorMessage = QStringLiteral("Command \"npm run build\" exited with 1");
            details.logTail = {QStringLiteral("./docs/guide.mdx"),
                QStringLiteral("Error: Link to #install has no matching heading"),
                QStringLiteral("error Command failed with exit code 1.")};
            break;
        case State::building:
        case State::canceled:
            break;
        }
        return details;
    }
    const bool failed = deployment.state == State::failed;
    details.buildDuration = 96;
    details.canRedeploy = failed;
    details.checks = DeploymentCheck::sortedForDisplay({
        DeploymentCheck {QStringLiteral("1"), QStringLiteral("test"), failed ? State::failed : State::ready,
            failed ? text("unit \u203A Run tests") : QStringLiteral("1m 12s"), std::nullopt},
        DeploymentCheck {
            QStringLiteral("2"), QStringLiteral("lint"), State::ready, QStringLiteral("24s"), std::nullopt},
        DeploymentCheck {QStringLiteral("3"), QStringLiteral("Deploy to production"),
            deployment.state == State::building ? State::building : State::ready, std::nullopt, std::nullopt},
    });
    return details;
}

} // namespace brenvo
