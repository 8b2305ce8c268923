#include "settings/KeyGuide.h"

#include "model/KitText.h"

#include <algorithm>
#include <cmath>

namespace brenvo {

KeyGuide KeyGuide::forService(KitService service)
{
    KeyGuide g;
    switch (service) {
    case KitService::vercel:
        g.title = QStringLiteral("Create a Vercel token");
        g.steps = {
            QStringLiteral("On vercel.com open Account Settings, then Tokens, and create a token."),
            QStringLiteral(
                "Scope it to your own account or to the team whose deployments you want to see. "
                "Vercel tokens have no finer permissions: the token reads deployments, domains and "
                "build logs, and lets you redeploy from the panel."),
            QStringLiteral("Copy the token and paste it here."),
        };
        g.fieldPlaceholder = QStringLiteral("Vercel token");
        g.link = QUrl(QStringLiteral("https://vercel.com/account/tokens"));
        g.linkTitle = QStringLiteral("Open Vercel tokens");
        break;
    case KitService::cloudflare:
        g.title = QStringLiteral("Create a Cloudflare API token");
        g.steps = {
            QStringLiteral(
                "In the Cloudflare dashboard open My Profile, then API Tokens, and create a custom token."),
            QStringLiteral("Add the account permissions Cloudflare Pages: Read, Workers Scripts: Read and "
                           "Workers Builds Configuration: Read."),
            QStringLiteral("To retry deployments and start builds from the panel, set Cloudflare Pages and "
                           "Workers Builds Configuration to Edit instead."),
            QStringLiteral(
                "Under Account Resources include the accounts to watch, create the token and paste it "
                "here."),
        };
        g.fieldPlaceholder = QStringLiteral("Cloudflare API token");
        g.link = QUrl(QStringLiteral("https://dash.cloudflare.com/profile/api-tokens"));
        g.linkTitle = QStringLiteral("Open Cloudflare API tokens");
        break;
    case KitService::github:
        g.title = QStringLiteral("Create a GitHub token");
        g.steps = {
            QStringLiteral(
                "On GitHub open Settings, Developer settings, Personal access tokens, Fine-grained "
                "tokens, and generate a new token."),
            QStringLiteral("Choose the resource owner and the repositories to watch."),
            QStringLiteral(
                "Under Repository permissions set Contents, Actions, Commit statuses and Deployments "
                "to Read-only."),
            QStringLiteral("To re-run failed checks from the panel, set Actions to Read and write."),
        };
        g.fieldPlaceholder = QStringLiteral("GitHub token");
        g.link = QUrl(QStringLiteral("https://github.com/settings/personal-access-tokens/new"));
        g.linkTitle = QStringLiteral("Open GitHub tokens");
        break;
    case KitService::gitlab:
        g.title = QStringLiteral("Create a GitLab token");
        g.steps = {
            QStringLiteral(
                "On GitLab open Preferences, then Access tokens, and add a personal access token."),
            QStringLiteral("Select the read_api scope: it reads your projects, pipelines and jobs."),
            QStringLiteral("To retry pipelines from the panel, select the api scope instead."),
        };
        g.fieldPlaceholder = QStringLiteral("GitLab personal access token");
        g.link = QUrl(QStringLiteral("https://gitlab.com/-/user_settings/personal_access_tokens"));
        g.linkTitle = QStringLiteral("Open GitLab access tokens");
        break;
    case KitService::stripe:
        g.title = QStringLiteral("Create a Stripe key");
        g.steps = {
            QStringLiteral(
                "In the Stripe Dashboard open Developers, then API keys, and create a restricted key."),
            QStringLiteral("Set Charges to Read; everything else can stay None."),
            QStringLiteral("Each account has its own key: add one key per account."),
        };
        g.fieldPlaceholder = QStringLiteral("Stripe restricted key");
        g.link = QUrl(QStringLiteral("https://dashboard.stripe.com/apikeys"));
        g.linkTitle = QStringLiteral("Open Stripe API keys");
        break;
    case KitService::polar:
        g.title = QStringLiteral("Create a Polar token");
        g.steps = {
            QStringLiteral("In Polar open your organization's settings and create an organization access "
                           "token."),
            QStringLiteral("Give it the scopes organizations:read and orders:read."),
            QStringLiteral("Each organization has its own token: add one per organization."),
        };
        g.fieldPlaceholder = QStringLiteral("Polar organization access token");
        g.link = QUrl(QStringLiteral("https://polar.sh/dashboard"));
        g.linkTitle = QStringLiteral("Open Polar");
        break;
    case KitService::claude:
        g.title = QStringLiteral("Create an Anthropic admin key");
        g.steps = {
            QStringLiteral("In the Claude Console open Settings, then Admin keys, and create an admin key "
                           "(organization admins only)."),
            QStringLiteral("The key reads your organization's cost and token usage reports."),
        };
        g.fieldPlaceholder = QStringLiteral("Anthropic admin key");
        g.link = QUrl(QStringLiteral("https://console.anthropic.com/settings/admin-keys"));
        g.linkTitle = QStringLiteral("Open Anthropic admin keys");
        break;
    case KitService::codex:
        g.title = QStringLiteral("Create an OpenAI admin key");
        g.steps = {
            QStringLiteral(
                "On the OpenAI platform open Settings, Organization, then Admin keys, and create an "
                "admin key (organization owners only)."),
            QStringLiteral("The key reads your organization's costs and token usage."),
        };
        g.fieldPlaceholder = QStringLiteral("OpenAI admin key");
        g.link = QUrl(QStringLiteral("https://platform.openai.com/settings/organization/admin-keys"));
        g.linkTitle = QStringLiteral("Open OpenAI admin keys");
        break;
    }
    return g;
}

QString connectionSentence(KitService service, const KitConnection& connection)
{
    switch (connection.kind()) {
    case KitConnection::Kind::connected:
        if (const auto account = connection.account(); account && !account->isEmpty())
            return QStringLiteral("Connected as ") + *account + u'.';
        return QStringLiteral("Connected.");
    case KitConnection::Kind::failing:
        return connection.reason();
    case KitConnection::Kind::rejected:
        return rejectedText(service);
    case KitConnection::Kind::connecting:
        return QStringLiteral("Connecting") + QChar(0x2026);
    case KitConnection::Kind::notConnected:
        break;
    }
    return QStringLiteral("Not connected.");
}

QList<double> intervalChoices(KitService service, double current)
{
    QList<double> choices;
    if (service == KitService::claude)
        choices = {120, 300, 600, 900, 1800, 3600};
    else if (service == KitService::codex)
        choices = {30, 60, 120, 300, 600, 900, 1800};
    else
        choices = {15, 30, 60, 120, 300, 600, 900, 1800};
    // A value set by hand or by an older version stays choosable rather than being replaced.
    if (std::isfinite(current) && current > 0 && !choices.contains(current)) {
        choices.append(current);
        std::sort(choices.begin(), choices.end());
    }
    return choices;
}

} // namespace brenvo
