#include "sources/CloudflareSource.h"

#include "http/ServiceFailure.h"
#include "model/Log.h"
#include "sources/SourceSupport.h"

#include <QPointer>

#include <algorithm>
#include <exception>

using namespace Qt::Literals::StringLiterals;

namespace brenvo {

namespace {

constexpr qint64 listsLifetimeSeconds = 300;
constexpr int rowSourcesPerAccount = 3;
constexpr int buildsPerWorker = 5;

bool isForbidden(const ServiceFailure& failure)
{
    return failure.isRefused() && failure.status() == 403;
}

enum class Verdict { rejected, forbidden, other };

Verdict verdict(const std::exception_ptr& error)
{
    try {
        std::rethrow_exception(error);
    } catch (const ServiceFailure& failure) {
        if (failure.isRejected())
            return Verdict::rejected;
        return isForbidden(failure) ? Verdict::forbidden : Verdict::other;
    } catch (...) {
        return Verdict::other;
    }
}

template <typename T> QList<T> newestFirst(QList<T> items, std::optional<QDateTime> T::*date)
{
    std::stable_sort(items.begin(), items.end(), [date](const T& a, const T& b) {
        return (a.*date).value_or(distantPast()) > (b.*date).value_or(distantPast());
    });
    return items;
}

QString dashboardWorkerLink(const QString& account, const QString& worker)
{
    return CloudflareClient::dashboardURL() + account + u"/workers/services/view/"_s + worker;
}

std::optional<QUrl> link(const QString& text)
{
    const QUrl url(text);
    if (!url.isValid())
        return std::nullopt;
    return url;
}

} // namespace

CloudflareSource::CloudflareSource(
    std::shared_ptr<HTTPClient> http, SiteIconLoader siteIcons, Clock now, QObject* parent)
    : CloudflareSource(CloudflareClient(std::move(http), CloudflareClient::defaultBaseURL()),
        std::move(siteIcons), std::move(now), parent)
{
}

CloudflareSource::CloudflareSource(
    CloudflareClient client, SiteIconLoader siteIcons, Clock now, QObject* parent)
    : QObject(parent)
    , m_client(std::move(client))
    , m_siteIcons(std::move(siteIcons))
    , m_now(std::move(now))
{
}

QString CloudflareSource::productPhrase(Product product)
{
    switch (product) {
    case Product::pages:
        return u"Pages (Cloudflare Pages)"_s;
    case Product::workers:
        return u"Workers (Workers Scripts)"_s;
    case Product::builds:
        return u"the builds of Workers, where their commit messages are (Workers Builds Configuration)"_s;
    }
    return {};
}

std::optional<CloudflareSource::Product> CloudflareSource::product(const QString& phrase)
{
    for (Product p : {Product::pages, Product::workers, Product::builds}) {
        if (productPhrase(p) == phrase)
            return p;
    }
    return std::nullopt;
}

QString CloudflareSource::sourceText(const QString& source)
{
    if (source == u"wrangler")
        return u"with Wrangler"_s;
    if (source == u"dash" || source == u"dash_template" || source == u"quick_editor")
        return u"in the dashboard"_s;
    if (source == u"api")
        return u"through the API"_s;
    if (source == u"terraform")
        return u"with Terraform"_s;
    if (source == u"workersci")
        return u"by Workers Builds"_s;
    return u"with "_s + spaced(source).toLower();
}

std::optional<CloudflareSource::RowID> CloudflareSource::rowKind(const QString& id)
{
    // Split once at the first ":" that follows a non-empty piece; empty pieces do not count.
    QStringView rest(id);
    while (rest.startsWith(u':'))
        rest = rest.mid(1);
    const qsizetype colon = rest.indexOf(u':');
    if (colon < 0)
        return std::nullopt;
    const QStringView head = rest.left(colon);
    QStringView key = rest.mid(colon + 1);
    while (key.startsWith(u':'))
        key = key.mid(1);
    if (key.isEmpty())
        return std::nullopt;
    RowKind kind = RowKind::worker;
    if (head == u"pages")
        kind = RowKind::pages;
    else if (head == u"build")
        kind = RowKind::build;
    return RowID {kind, key.toString()};
}

Deployment CloudflareSource::deployment(
    const CloudflareClient::Build& build, const QString& worker, const QString& account)
{
    Deployment row;
    row.id = u"build:"_s + build.id;
    row.project = worker;
    row.branch = build.branch;
    if (build.commit)
        row.commit = build.commit->left(7);
    row.message = build.message.isEmpty() ? u"Build "_s + build.id.left(8) : build.message;
    row.state = build.state;
    row.date = build.created;
    row.environment = u"Worker"_s;
    row.url = link(dashboardWorkerLink(account, worker) + u"/production/builds/"_s + build.id);
    row.scope = account;
    row.stateNote = build.stateNote;
    return row;
}

std::optional<QString> CloudflareSource::advice() const
{
    if (m_refused.empty())
        return std::nullopt;
    QStringList phrases;
    for (Product p : {Product::pages, Product::workers, Product::builds}) {
        if (m_refused.contains(p))
            phrases.append(productPhrase(p));
    }
    return u"This token cannot read "_s + phrases.join(u", or "_s)
        + u". Edit the token on Cloudflare and set that to Read to see it."_s;
}

QCoro::Task<QString> CloudflareSource::account(QString token)
{
    QPointer<CloudflareSource> self(this);
    const quint64 generation = ++m_generation;
    m_lists.reset();
    m_refused.clear();
    const QList<CloudflareClient::Account> accounts = co_await m_client.accounts(token);
    requireAlive(self);
    if (generation == m_generation)
        m_accounts = accounts;
    co_return accounts.isEmpty() ? QString() : accounts.front().name;
}

std::optional<CloudflareClient::Worker> CloudflareSource::worker(
    const QString& name, const QString& account) const
{
    if (!m_lists)
        return std::nullopt;
    const auto found = m_lists->lists.workers.constFind(account);
    if (found == m_lists->lists.workers.cend())
        return std::nullopt;
    for (const auto& worker : *found) {
        if (worker.name == name)
            return worker;
    }
    return std::nullopt;
}

QCoro::Task<CloudflareSource::Lists> CloudflareSource::lists(QString token)
{
    return readLists(std::move(token), m_accounts, m_generation);
}

QCoro::Task<CloudflareSource::Lists> CloudflareSource::readLists(
    QString token, QList<CloudflareClient::Account> accounts, quint64 generation)
{
    QPointer<CloudflareSource> self(this);
    const QByteArray reader = tokenDigest(token);
    if (m_lists && m_lists->reader == reader) {
        const qint64 age = m_lists->read.secsTo(m_now());
        if (age >= 0 && age < listsLifetimeSeconds) {
            // A copy: returning the member itself would move the cache out.
            Lists cached = m_lists->lists;
            co_return cached;
        }
    }

    Lists fresh;
    std::set<Product> refused;
    std::exception_ptr firstFailure;
    std::exception_ptr rejection;
    auto settle = [&](const std::exception_ptr& error, Product product) {
        switch (verdict(error)) {
        case Verdict::rejected:
            if (!rejection)
                rejection = error;
            [[fallthrough]];
        case Verdict::forbidden:
            refused.insert(product);
            break;
        case Verdict::other:
            // No refusal, so no advice: the list is only left out until the lists are read again.
            qCInfo(logApp, "Cloudflare lists: %s", qUtf8Printable(failureName(error)));
            if (!firstFailure)
                firstFailure = error;
            break;
        }
    };

    for (const auto& account : accounts) {
        const auto projects = co_await attempt(m_client.pagesProjects(token, account.id));
        requireAlive(self);
        if (projects.value)
            fresh.pages.insert(account.id, *projects.value);
        else
            settle(projects.error, Product::pages);

        const auto scripts = co_await attempt(m_client.workers(token, account.id));
        requireAlive(self);
        if (scripts.value)
            fresh.workers.insert(account.id, *scripts.value);
        else
            settle(scripts.error, Product::workers);
    }

    // A token that could read any list was accepted: the lists it could not read are permissions it
    // lacks.
    if (rejection && fresh.pages.isEmpty() && fresh.workers.isEmpty())
        std::rethrow_exception(rejection);
    if (!fresh.pages.isEmpty())
        refused.erase(Product::pages);
    if (!fresh.workers.isEmpty())
        refused.erase(Product::workers);
    if (firstFailure && fresh.pages.isEmpty() && fresh.workers.isEmpty())
        std::rethrow_exception(firstFailure);

    // Read with a token that was replaced meanwhile: they serve this walk and are not kept.
    if (generation != m_generation)
        co_return fresh;
    // Kept even when a list failed: details, redeploys and icons read the Workers and projects from
    // here, and a refresh should not read every list again for the one that failed.
    m_refused = refused;
    m_lists = CachedLists {fresh, m_now(), reader};
    co_return fresh;
}

QCoro::Task<QList<Deployment>> CloudflareSource::deployments(QString token, std::optional<QString>, int limit)
{
    QPointer<CloudflareSource> self(this);
    limit = std::max(limit, 0);
    // The whole walk goes by the accounts of its own token.
    const quint64 generation = m_generation;
    QList<CloudflareClient::Account> accounts = m_accounts;
    if (accounts.isEmpty()) {
        const QList<CloudflareClient::Account> read = co_await m_client.accounts(token);
        requireAlive(self);
        accounts = read;
        if (generation == m_generation)
            m_accounts = read;
    }
    const Lists maps = co_await readLists(token, accounts, generation);
    requireAlive(self);

    QList<Deployment> rows;
    std::exception_ptr firstFailure;
    bool anySucceeded = false;
    auto gather = [&](Attempt<QList<Deployment>> got) {
        if (got.value) {
            anySucceeded = true;
            rows.append(*got.value);
            return;
        }
        qCInfo(logApp, "Cloudflare rows: %s", qUtf8Printable(failureName(got.error)));
        if (!firstFailure)
            firstFailure = got.error;
    };

    for (const auto& account : accounts) {
        const auto projects
            = newestFirst(maps.pages.value(account.id), &CloudflareClient::PagesProject::deployed)
                  .mid(0, rowSourcesPerAccount);
        for (const auto& project : projects) {
            auto got = co_await attempt(m_client.pagesDeployments(token, account.id, project.name, limit));
            requireAlive(self);
            gather(std::move(got));
        }

        const auto workers = newestFirst(maps.workers.value(account.id), &CloudflareClient::Worker::modified)
                                 .mid(0, rowSourcesPerAccount);
        for (const auto& worker : workers) {
            auto got = co_await attempt(workerRows(token, account.id, worker, limit));
            requireAlive(self);
            gather(std::move(got));
        }
    }

    if (firstFailure && !anySucceeded)
        std::rethrow_exception(firstFailure);
    std::stable_sort(
        rows.begin(), rows.end(), [](const Deployment& a, const Deployment& b) { return a.date > b.date; });
    co_return rows.mid(0, limit);
}

QCoro::Task<QList<Deployment>> CloudflareSource::workerRows(
    QString token, QString account, CloudflareClient::Worker worker, int limit)
{
    QPointer<CloudflareSource> self(this);
    const auto all = co_await m_client.workerDeployments(token, account, worker.name);
    requireAlive(self);
    const QList<CloudflareClient::WorkerDeployment> deployments = all.mid(0, limit);

    QList<CloudflareClient::Build> builds;
    QMap<QString, CloudflareClient::Build> byVersion;
    if (worker.tag && !m_refused.contains(Product::builds)) {
        bool listed = false;
        bool forbidden = false;
        try {
            builds = co_await m_client.builds(token, account, *worker.tag, buildsPerWorker);
            listed = true;
        } catch (const ServiceFailure& failure) {
            // Workers Builds answers a token without its permission with 401 (code 12005).
            forbidden = isForbidden(failure) || failure.isRejected();
            qCInfo(logApp, "Cloudflare builds: %s", failure.what());
        } catch (...) {
            qCInfo(logApp, "Cloudflare builds: %s", qUtf8Printable(failureName(std::current_exception())));
        }
        requireAlive(self);
        if (forbidden)
            m_refused.insert(Product::builds);

        QList<QString> versions;
        for (const auto& deployment : deployments) {
            if (deployment.version)
                versions.append(*deployment.version);
        }
        if (listed && !builds.isEmpty() && !versions.isEmpty()) {
            try {
                byVersion = co_await m_client.builds(token, account, versions);
            } catch (...) {
                qCInfo(logApp, "Cloudflare builds by version: %s",
                    qUtf8Printable(failureName(std::current_exception())));
            }
            requireAlive(self);
        }
    }

    QList<Deployment> rows;
    for (const auto& build : builds)
        rows.append(deployment(build, worker.name, account));
    for (const auto& item : deployments) {
        if (item.version && byVersion.contains(*item.version)) {
            const Deployment row = deployment(byVersion.value(*item.version), worker.name, account);
            const bool listed = std::any_of(
                rows.cbegin(), rows.cend(), [&row](const Deployment& r) { return r.id == row.id; });
            if (!listed)
                rows.append(row);
            continue;
        }
        Deployment row;
        row.id = u"worker:"_s + item.id;
        row.project = worker.name;
        row.message = item.message.isEmpty() ? u"Manually deployed"_s : item.message;
        row.state = Deployment::State::ready;
        row.date = item.created;
        row.environment = u"Worker"_s;
        row.url = link(dashboardWorkerLink(account, worker.name) + u"/production/deployments"_s);
        row.scope = account;
        rows.append(row);
    }
    co_return rows;
}

QCoro::Task<QList<QString>> CloudflareSource::hosts(QString token, QString account, QString worker)
{
    QPointer<CloudflareSource> self(this);
    const QString key = account + u'/' + worker;
    if (m_workerHosts.contains(key))
        co_return m_workerHosts.value(key);
    const CloudflareClient::WorkerHosts found = co_await m_client.workerDomains(token, account, worker);
    // A host list that a failed request cut short is not kept: the next look asks again.
    if (self && found.complete)
        m_workerHosts.insert(key, found.names);
    co_return found.names;
}

QCoro::Task<DeploymentDetails> CloudflareSource::details(QString token, Deployment deployment)
{
    const auto id = rowKind(deployment.id);
    if (!id || !deployment.scope)
        throw ServiceFailure::explained(u"This row is not one that Cloudflare can show."_s);
    switch (id->kind) {
    case RowKind::pages:
        co_return co_await m_client.pagesDeploymentLog(token, *deployment.scope, deployment.project, id->key);
    case RowKind::build:
        co_return co_await buildDetails(token, deployment, id->key);
    case RowKind::worker:
        co_return co_await workerDetails(token, deployment, id->key);
    }
    throw ServiceFailure::explained(u"This row is not one that Cloudflare can show."_s);
}

QCoro::Task<DeploymentDetails> CloudflareSource::buildDetails(
    QString token, Deployment deployment, QString key)
{
    QPointer<CloudflareSource> self(this);
    const QString account = deployment.scope.value_or(QString());
    DeploymentDetails details;
    // Offered only when the build and the trigger that starts it again are known.
    details.canRedeploy = false;
    const auto worker = this->worker(deployment.project, account);
    if (worker && worker->tag) {
        const auto builds = co_await m_client.builds(token, account, *worker->tag, 20);
        requireAlive(self);
        const auto found = std::find_if(
            builds.cbegin(), builds.cend(), [&key](const CloudflareClient::Build& b) { return b.id == key; });
        if (found != builds.cend()) {
            details.buildDuration = found->duration();
            details.creator = found->author;
            details.canRedeploy = found->trigger.has_value();
            if (found->state == Deployment::State::failed)
                details.errorMessage = u"The build failed. Its log is on its page on Cloudflare."_s;
        }
    }
    if (deployment.state == Deployment::State::ready)
        details.domains = co_await hosts(token, account, deployment.project);
    co_return details;
}

QCoro::Task<DeploymentDetails> CloudflareSource::workerDetails(
    QString token, Deployment deployment, QString key)
{
    QPointer<CloudflareSource> self(this);
    const QString account = deployment.scope.value_or(QString());
    const auto items = co_await m_client.workerDeployments(token, account, deployment.project);
    requireAlive(self);
    DeploymentDetails details;
    details.canRedeploy = false;
    details.domains = co_await hosts(token, account, deployment.project);
    const auto found = std::find_if(items.cbegin(), items.cend(),
        [&key](const CloudflareClient::WorkerDeployment& d) { return d.id == key; });
    if (found != items.cend()) {
        details.creator = found->author;
        if (found->source)
            details.summary = u"Deployed "_s + sourceText(*found->source) + u'.';
    }
    co_return details;
}

QCoro::Task<std::optional<QString>> CloudflareSource::redeploy(QString token, Deployment deployment)
{
    try {
        co_return co_await startAgain(token, deployment);
    } catch (const ServiceFailure& failure) {
        if (!isForbidden(failure))
            throw;
    }
    throw ServiceFailure::explained(QStringLiteral(
        "Cloudflare will not let this token start a deployment. Edit the token on Cloudflare and set "
        "Cloudflare Pages and Workers Builds Configuration to Edit."));
}

QCoro::Task<std::optional<QString>> CloudflareSource::startAgain(QString token, Deployment deployment)
{
    QPointer<CloudflareSource> self(this);
    const auto id = rowKind(deployment.id);
    if (!deployment.scope || !id || id->kind == RowKind::worker)
        co_return std::nullopt;
    const QString account = *deployment.scope;
    if (id->kind == RowKind::pages) {
        const Deployment started
            = co_await m_client.retryPagesDeployment(token, account, deployment.project, id->key);
        co_return started.id;
    }

    // Nothing can be started without the build's trigger: say so rather than report a start.
    const ServiceFailure noTrigger = ServiceFailure::explained(
        u"Cloudflare lists no build trigger for this build, so it cannot be started again here."_s);
    const auto worker = this->worker(deployment.project, account);
    if (!worker || !worker->tag)
        throw noTrigger;
    const auto builds = co_await m_client.builds(token, account, *worker->tag, 20);
    requireAlive(self);
    const auto found = std::find_if(
        builds.cbegin(), builds.cend(), [&id](const CloudflareClient::Build& b) { return b.id == id->key; });
    if (found == builds.cend() || !found->trigger)
        throw noTrigger;
    const CloudflareClient::Build build = *found;
    const auto started
        = co_await m_client.runBuildTrigger(token, account, *build.trigger, build.branch, build.commit);
    co_return u"build:"_s + started.id;
}

QCoro::Task<std::optional<QImage>> CloudflareSource::projectIcon(QString token, Deployment deployment)
{
    QPointer<CloudflareSource> self(this);
    if (!deployment.scope)
        co_return std::nullopt;
    const QString account = *deployment.scope;
    const SiteIconLoader icons = m_siteIcons;
    QList<QString> names;
    const auto id = rowKind(deployment.id);
    if (id && id->kind == RowKind::pages) {
        if (m_lists) {
            for (const auto& project : m_lists->lists.pages.value(account)) {
                if (project.name == deployment.project) {
                    names = project.domains;
                    break;
                }
            }
        }
    } else {
        names = co_await hosts(token, account, deployment.project);
    }
    co_return co_await firstIcon(icons, names);
}

} // namespace brenvo
