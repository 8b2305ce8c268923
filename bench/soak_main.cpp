// A soak under faults: the real sources, store and transport polling fast against one loopback
// server per service, each answering with a rotating mix of good replies and failures, plus one
// other host that redirects point at. At the end it reports the resident memory after warm-up and
// at the end, every tool seen failing without a sentence, every token that reached a host other
// than its own, and the count of each failure served and seen. Loopback only; stops by itself.
//
// Usage: brenvo_soak [minutes]   (default 30; fractions allowed)

#include "app/core/KitSecrets.h"
#include "app/core/MemoryDefaults.h"
#include "app/core/PreferencesStore.h"
#include "app/state/DevKitWiring.h"
#include "http/NetworkHTTPClient.h"
#include "http/ServiceFailure.h"
#include "http/SiteIconLoader.h"
#include "model/DetachedTask.h"
#include "model/Log.h"
#include "model/Scheduler.h"
#include "payments/PolarClient.h"
#include "payments/StripeClient.h"
#include "sources/CloudflareSource.h"
#include "sources/GitHubSource.h"
#include "sources/GitLabSource.h"
#include "sources/VercelSource.h"
#include "store/DevKitStore.h"
#include "support/FakeSecretStore.h"
#include "support/LoopbackServer.h"
#include "usage/AnthropicAdminClient.h"
#include "usage/OpenAIAdminClient.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTimer>

#include <array>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <map>
#include <memory>
#include <set>

using namespace brenvo;
using namespace brenvo::test;
using namespace Qt::Literals::StringLiterals;

namespace {

enum class Fault {
    good,
    notModified,
    unauthorized,
    rateLimited,
    tooMany,
    serverError,
    malformed,
    truncated,
    slow,
    droppedBefore,
    droppedMid,
    redirected,
    stalled,
    count
};
constexpr int faultCount = static_cast<int>(Fault::count);

const char* faultName(Fault fault)
{
    static const std::array<const char*, faultCount> names {"good 200", "good 304", "401", "403 rate limit",
        "429 Retry-After", "500", "malformed body", "truncated body", "slow body", "dropped before reply",
        "dropped mid-body", "redirect to other host", "stalled (no reply)"};
    return names.at(static_cast<int>(fault));
}

// Out of 100 replies; 304 is what a good reply becomes when the client holds its ETag.
constexpr std::array<std::pair<Fault, int>, 12> mix {
    {{Fault::good, 55}, {Fault::unauthorized, 4}, {Fault::rateLimited, 4}, {Fault::tooMany, 4},
        {Fault::serverError, 5}, {Fault::malformed, 5}, {Fault::truncated, 4}, {Fault::slow, 6},
        {Fault::droppedBefore, 4}, {Fault::droppedMid, 4}, {Fault::redirected, 4}, {Fault::stalled, 1}}};

QByteArray fixture(const QString& path)
{
    QFile file(QStringLiteral(BRENVO_SOURCE_DIR "/tests/") + path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing fixture %s", qPrintable(path));
    return file.readAll();
}

// What a service answers when all is well: the recorded fixture for a path, nothing when the path
// is not one the soak knows.
using GoodReplies = std::function<std::optional<QByteArray>(const RecordedRequest&)>;

struct Host {
    QString name;
    QString token; // empty for the other host: no token belongs there
    QUrl base;
    GoodReplies good;
    std::unique_ptr<LoopbackServer> server = std::make_unique<LoopbackServer>();
    QRandomGenerator rotation;
    std::array<qint64, faultCount> served {};
    qint64 requests = 0;
    qint64 malformedTurn = 0;
    std::map<QByteArray, qint64> unknown; // paths no good reply is known for
};

Fault nextFault(QRandomGenerator& rotation)
{
    int roll = static_cast<int>(rotation.bounded(100));
    for (const auto& [fault, weight] : mix) {
        if (roll < weight)
            return fault;
        roll -= weight;
    }
    return Fault::good;
}

QByteArray etagOf(const QByteArray& body)
{
    return '"' + QCryptographicHash::hash(body, QCryptographicHash::Sha1).toHex().left(16) + '"';
}

CannedReply replyFor(Host& host, const LoopbackServer& other, const RecordedRequest& request)
{
    const auto good = host.good(request);
    if (!good) {
        ++host.unknown[request.method + ' ' + request.path];
        return CannedReply::json(404, R"({"message":"Not Found"})");
    }
    Fault fault = nextFault(host.rotation);
    const QByteArray etag = etagOf(*good);
    if (fault == Fault::good && request.header("If-None-Match") == etag)
        fault = Fault::notModified;
    ++host.served[static_cast<int>(fault)];
    switch (fault) {
    case Fault::good:
        return CannedReply::json(200, *good).with("ETag", etag);
    case Fault::notModified: {
        CannedReply reply;
        reply.status = 304;
        return reply.with("ETag", etag);
    }
    case Fault::unauthorized:
        return CannedReply::json(401,
            R"({"message":"Bad credentials","error":{"message":"Invalid token","type":"authentication_error"}})");
    case Fault::rateLimited:
        return CannedReply::json(403,
            R"({"message":"API rate limit exceeded for 127.0.0.1.","error":{"message":"Rate limit exceeded"},)"
            R"("errors":[{"code":10000,"message":"Rate limit exceeded"}]})")
            .with("X-RateLimit-Remaining", "0")
            .with("X-RateLimit-Reset", "4102444800");
    case Fault::tooMany:
        return CannedReply::json(
            429, R"({"message":"Too many requests","error":{"message":"Too many requests"}})")
            .with("Retry-After", "2");
    case Fault::serverError:
        return CannedReply::json(500, R"({"message":"Server Error","error":{"message":"Internal error"}})");
    case Fault::malformed:
        switch (host.malformedTurn++ % 4) {
        case 0:
            return CannedReply::text(200, "<html><body>Down for maintenance</body></html>");
        case 1:
            return CannedReply::json(200, "[]");
        case 2:
            return CannedReply::json(200, QByteArray("\x00\xff{\"not\": json", 14));
        default:
            return CannedReply::json(
                200, R"({"data":7,"result":"x","items":{},"teams":1,"deployments":"no"})");
        }
    case Fault::truncated:
        return CannedReply::json(200, good->left(good->size() / 2));
    case Fault::slow: {
        const auto interval = std::clamp<qint64>(2000 / std::max<qint64>(good->size(), 1), 1, 50);
        return CannedReply::slow(*good, std::chrono::milliseconds(interval));
    }
    case Fault::droppedBefore:
        return CannedReply::dropped();
    case Fault::droppedMid: {
        CannedReply reply = CannedReply::json(200, *good);
        reply.behaviour = CannedReply::Behaviour::dropMidBody;
        return reply;
    }
    case Fault::redirected: {
        static const std::array<int, 3> statuses {302, 307, 301};
        return CannedReply::redirect(
            other.url(QString::fromLatin1(request.target)), statuses.at(host.rotation.bounded(3)));
    }
    case Fault::stalled:
    case Fault::count:
        break;
    }
    return CannedReply::hanging();
}

// The segments of a path after a prefix: segments("/repos/o/n/commits", "/") = {repos, o, n, commits}.
QList<QByteArray> segments(const QByteArray& path, const QByteArray& prefix)
{
    if (!path.startsWith(prefix))
        return {};
    QList<QByteArray> out = path.mid(prefix.size()).split('/');
    out.removeAll(QByteArray());
    return out;
}

GoodReplies vercelReplies()
{
    return [](const RecordedRequest& r) -> std::optional<QByteArray> {
        const auto s = segments(r.path, "/");
        const auto f = [](const char* name) {
            return fixture(u"sources/fixtures/vercel/"_s + QLatin1StringView(name));
        };
        if (r.path == "/v2/user")
            return f("user.json");
        if (r.path == "/v2/teams")
            return f("teams.json");
        if (r.path == "/v6/deployments") {
            if (r.query.contains("teamId=team_alpha"))
                return f("deployments_alpha.json");
            if (r.query.contains("teamId=team_beta"))
                return f("deployments_beta.json");
            return f("deployments_user.json");
        }
        if (s.size() == 3 && s[0] == "v13" && s[1] == "deployments")
            return f("deployment_failed.json");
        if (s.size() == 4 && s[0] == "v3" && s[3] == "events")
            return f("events_failed.json");
        if (s.size() == 4 && s[0] == "v9" && s[3] == "domains")
            return f("domains.json");
        return std::nullopt;
    };
}

GoodReplies cloudflareReplies()
{
    return [](const RecordedRequest& r) -> std::optional<QByteArray> {
        const auto f = [](const QByteArray& name) {
            return fixture(u"sources/fixtures/cloudflare/"_s + QString::fromLatin1(name) + u".json"_s);
        };
        const auto s = segments(r.path, "/client/v4/");
        if (s == QList<QByteArray> {"accounts"})
            return f("accounts");
        if (s.size() < 3 || s[0] != "accounts")
            return std::nullopt;
        const QList<QByteArray> rest = s.mid(2);
        const QByteArray joined = rest.join('/');
        if (joined == "pages/projects")
            return f("pages_projects");
        if (rest.size() == 4 && joined.startsWith("pages/projects/") && rest[3] == "deployments") {
            const QByteArray project = rest[2];
            if (project == "docs" || project == "landing" || project == "shop")
                return f("pages_deployments_" + project);
            return f("pages_deployments_landing");
        }
        if (rest.size() == 5 && rest[0] == "pages")
            return f(rest[2] == "landing" ? "pages_deployment_landing" : "pages_deployment_failed");
        if (rest.size() == 7 && rest[0] == "pages" && rest[5] == "history")
            return f("pages_logs");
        if (joined == "workers/scripts")
            return f("workers");
        if (rest.size() == 4 && rest[1] == "scripts" && rest[3] == "deployments") {
            const QByteArray worker = rest[2];
            if (worker == "api" || worker == "cron" || worker == "odd")
                return f("worker_deployments_" + worker);
            return f("worker_deployments_api");
        }
        if (rest.size() == 4 && rest[0] == "builds" && rest[1] == "workers")
            return f("builds_api");
        if (joined == "builds/builds")
            return f("builds_by_version");
        if (joined == "workers/domains")
            return QByteArray(
                R"({"success":true,"result":[{"hostname":"api.example.com","service":"api"}]})");
        if (rest.size() == 4 && rest[1] == "scripts" && rest[3] == "subdomain")
            return QByteArray(R"({"success":true,"result":{"enabled":true}})");
        if (joined == "workers/subdomain")
            return QByteArray(R"({"success":true,"result":{"subdomain":"studio"}})");
        return std::nullopt;
    };
}

GoodReplies githubReplies()
{
    return [](const RecordedRequest& r) -> std::optional<QByteArray> {
        const auto f = [](const char* name) {
            return fixture(u"sources/fixtures/github/"_s + QLatin1StringView(name));
        };
        if (r.path == "/user")
            return f("user.json");
        if (r.path == "/user/repos")
            return f("repos.json");
        const auto s = segments(r.path, "/repos/");
        if (s.size() < 3)
            return std::nullopt;
        const QList<QByteArray> rest = s.mid(2);
        if (rest == QList<QByteArray> {"commits"})
            return f("commits.json");
        if (rest.size() == 2 && rest[0] == "commits")
            return f("commit.json");
        if (rest.size() == 3 && rest[0] == "commits" && rest[2] == "status")
            return f("status.json");
        if (rest == QList<QByteArray> {"actions", "runs"})
            return f("runs.json");
        if (rest.size() == 4 && rest[1] == "runs" && rest[3] == "jobs")
            return f("jobs.json");
        if (rest == QList<QByteArray> {"deployments"})
            return f("deployments.json");
        if (rest.size() == 3 && rest[0] == "deployments" && rest[2] == "statuses")
            return f("deployment_statuses.json");
        return std::nullopt;
    };
}

GoodReplies gitlabReplies()
{
    return [](const RecordedRequest& r) -> std::optional<QByteArray> {
        const auto f = [](const char* name) {
            return fixture(u"sources/fixtures/gitlab/"_s + QLatin1StringView(name));
        };
        const auto s = segments(r.path, "/api/v4/");
        if (s == QList<QByteArray> {"user"})
            return f("user.json");
        if (s == QList<QByteArray> {"projects"})
            return f("projects.json");
        if (s.size() < 3 || s[0] != "projects")
            return std::nullopt;
        const QList<QByteArray> rest = s.mid(2);
        if (rest == QList<QByteArray> {"pipelines"})
            return f("pipelines.json");
        if (rest.size() == 2 && rest[0] == "pipelines")
            return f("pipeline.json");
        if (rest.size() == 3 && rest[0] == "pipelines" && rest[2] == "jobs")
            return f("jobs.json");
        if (rest.size() == 3 && rest[0] == "repository" && rest[1] == "commits")
            return f("commit.json");
        return std::nullopt;
    };
}

GoodReplies byPath(std::map<QByteArray, QString> paths)
{
    return [paths = std::move(paths)](const RecordedRequest& r) -> std::optional<QByteArray> {
        QByteArray path = r.path;
        if (path.endsWith('/'))
            path.chop(1);
        const auto it = paths.find(path);
        if (it == paths.end())
            return std::nullopt;
        return fixture(it->second);
    };
}

// Every address that is not on this machine is sent to the other host instead: the soak never
// leaves loopback, and a token meant for the web is seen where it does not belong.
class LoopbackOnly final : public HTTPClient {
public:
    LoopbackOnly(std::shared_ptr<HTTPClient> inner, QUrl other)
        : m_inner(std::move(inner))
        , m_other(std::move(other))
    {
    }
    qint64 rerouted = 0;
    std::set<QString> reroutedHosts;

    QCoro::Task<HTTPResponse> data(HTTPRequest request) override
    {
        if (request.url.host() != u"127.0.0.1") {
            ++rerouted;
            reroutedHosts.insert(request.url.host());
            request.setHeader("X-Soak-Meant-For", request.url.host().toUtf8());
            QUrl url = request.url;
            url.setScheme(u"http"_s);
            url.setHost(m_other.host());
            url.setPort(m_other.port());
            request.url = url;
        }
        return m_inner->data(std::move(request));
    }

private:
    std::shared_ptr<HTTPClient> m_inner;
    QUrl m_other;
};

qint64 residentKiB()
{
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// Every log line, scanned for tokens, and the failures the store logged by their kind.
struct LogWatch {
    QStringList tokens;
    qint64 lines = 0;
    qint64 withToken = 0;
    std::map<QString, qint64> failures; // kind of sentence -> count
    std::map<QString, qint64> sentences;
};
LogWatch* logWatch = nullptr;

QString sentenceKind(const QString& sentence)
{
    static const QRegularExpression answered(u" answered (\\d+): "_s);
    if (sentence.contains(u"did not accept the"_s))
        return u"rejected (401)"_s;
    if (const auto m = answered.match(sentence); m.hasMatch())
        return u"refused "_s + m.captured(1);
    if (sentence.contains(u"does not understand"_s))
        return u"not understood"_s;
    if (sentence.contains(u"could not be reached"_s))
        return u"unreachable"_s;
    return u"explained by the service"_s;
}

void onMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (!logWatch)
        return;
    ++logWatch->lines;
    for (const QString& token : logWatch->tokens) {
        if (message.contains(token)) {
            ++logWatch->withToken;
            std::fprintf(stderr, "TOKEN IN LOG LINE: %s\n", qPrintable(message.left(200)));
        }
    }
    if (type == QtCriticalMsg && context.category
        && QByteArrayView(context.category) == logApp().categoryName()) {
        ++logWatch->failures[sentenceKind(message)];
        ++logWatch->sentences[message.left(160)];
    }
    if (type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

std::atomic<bool> stopAsked {false};

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const double minutes = argc > 1 ? QString::fromLocal8Bit(argv[1]).toDouble() : 30.0;
    if (!(minutes > 0)) {
        std::fprintf(stderr, "usage: brenvo_soak [minutes]\n");
        return 2;
    }
    const qint64 totalMs = static_cast<qint64>(minutes * 60'000);
    const qint64 warmUpMs = std::min<qint64>(60'000, totalMs / 5);

    LogWatch watch;
    logWatch = &watch;
    qInstallMessageHandler(onMessage);

    // One host per service, each with its own token, and the other host.
    Host other;
    other.name = u"other host"_s;
    std::map<KitService::Value, Host> hosts;
    const auto add = [&](KitService service, QString name, QString base, GoodReplies good, quint32 seed) {
        Host& host = hosts[service];
        host.name = std::move(name);
        host.token = u"soak-"_s + service.rawValue() + u"-token-not-real"_s;
        host.base = host.server->url(base);
        host.good = std::move(good);
        host.rotation.seed(seed);
        LoopbackServer* otherServer = other.server.get();
        Host* self = &host;
        host.server->fallback(
            [self, otherServer](const RecordedRequest& r) { return replyFor(*self, *otherServer, r); });
    };
    add(KitService::vercel, u"Vercel"_s, QString(), vercelReplies(), 1);
    add(KitService::cloudflare, u"Cloudflare"_s, u"/client/v4"_s, cloudflareReplies(), 2);
    add(KitService::github, u"GitHub"_s, QString(), githubReplies(), 3);
    add(KitService::gitlab, u"GitLab"_s, u"/api/v4"_s, gitlabReplies(), 4);
    add(KitService::stripe, u"Stripe"_s, u"/v1"_s,
        byPath({{"/v1/account", u"payments/fixtures/stripe/account.json"_s},
            {"/v1/charges", u"payments/fixtures/stripe/charges.json"_s}}),
        5);
    add(KitService::polar, u"Polar"_s, u"/v1"_s,
        byPath({{"/v1/organizations", u"payments/fixtures/polar/organizations.json"_s},
            {"/v1/orders", u"payments/fixtures/polar/orders.json"_s}}),
        6);
    add(KitService::claude, u"Anthropic"_s, u"/v1"_s,
        byPath({{"/v1/organizations/cost_report", u"usage/fixtures/anthropic/cost_today.json"_s},
            {"/v1/organizations/usage_report/messages", u"usage/fixtures/anthropic/usage.json"_s}}),
        7);
    add(KitService::codex, u"OpenAI"_s, u"/v1"_s,
        byPath({{"/v1/organization/costs", u"usage/fixtures/openai/cost_today.json"_s},
            {"/v1/organization/usage/completions", u"usage/fixtures/openai/usage.json"_s}}),
        8);
    other.server->fallback([&other](const RecordedRequest& r) {
        ++other.unknown[r.method + ' ' + r.path];
        return CannedReply::json(404, R"({"message":"Not Found"})");
    });
    for (const auto& [service, host] : hosts)
        watch.tokens.append(host.token);

    // The application's parts, over the one transport.
    MemoryDefaults defaults;
    PreferencesStore preferences(defaults);
    FakeSecretStore keyring;
    KitSecrets secrets(keyring);
    TimerScheduler scheduler;
    auto network = std::make_shared<NetworkHTTPClient>();
    auto guard = std::make_shared<LoopbackOnly>(network, other.server->baseUrl());
    std::shared_ptr<HTTPClient> http = guard;

    QSet<KitService> all;
    QMap<QString, double> intervals;
    for (const auto& [service, host] : hosts) {
        all.insert(service);
        intervals.insert(KitService(service).rawValue(), 1.0);
        secrets.setSecret(host.token, KitService(service).secretKey());
    }
    preferences.setEnabledServices(all);
    preferences.setCheckIntervals(intervals);

    const SiteIconLoader icons(http);
    const auto now = [clock = &scheduler] { return clock->wallNow(); };
    DevKitStore::Sources sources;
    sources.activity.insert(KitService::vercel,
        std::make_shared<VercelSource>(VercelClient(http, hosts[KitService::vercel].base), icons));
    sources.activity.insert(KitService::cloudflare,
        std::make_shared<CloudflareSource>(
            CloudflareClient(http, hosts[KitService::cloudflare].base), icons, now));
    sources.activity.insert(KitService::github,
        std::make_shared<GitHubSource>(GitHubClient(http, hosts[KitService::github].base), icons, now));
    sources.activity.insert(KitService::gitlab,
        std::make_shared<GitLabSource>(GitLabClient(http, hosts[KitService::gitlab].base), icons, now));
    sources.payments.insert(
        KitService::stripe, std::make_shared<StripeClient>(http, hosts[KitService::stripe].base));
    sources.payments.insert(
        KitService::polar, std::make_shared<PolarClient>(http, hosts[KitService::polar].base));
    sources.spend.insert(
        KitService::claude, std::make_shared<AnthropicAdminClient>(http, hosts[KitService::claude].base));
    sources.spend.insert(
        KitService::codex, std::make_shared<OpenAIAdminClient>(http, hosts[KitService::codex].base));
    sources.siteIcons = std::make_shared<LoaderSiteIcons>(std::make_shared<SiteIconLoader>(http));
    auto store = std::make_unique<DevKitStore>(preferences, secrets, scheduler, false, std::move(sources));

    // Checks, every second: the requests on every host, and the states the store shows.
    std::map<QString, qint64> leaks; // "token of X at host Y (header)" -> count
    qint64 tokensInUrls = 0;
    std::map<QString, qint64> silentFailures; // "tool: state" -> samples
    std::map<QString, qint64> tokenInSentence;
    std::map<QString, qint64> stateChanges; // kind of failure state entered -> count
    std::map<QString, qint64> longestConnectingMs;
    std::map<QString, qint64> connectingSince;
    std::map<QString, KitConnection> lastState;
    qint64 samples = 0;
    QElapsedTimer elapsed;
    elapsed.start();

    const auto scanRequests = [&](Host& host) {
        for (const RecordedRequest& request : host.server->requests()) {
            ++host.requests;
            for (const auto& [service, owner] : hosts) {
                const QByteArray token = owner.token.toUtf8();
                const QByteArray forms[]
                    = {token, token.toBase64(), QByteArray(":").prepend(token).toBase64()};
                for (const QByteArray& form : forms) {
                    if (request.target.contains(form)) {
                        ++tokensInUrls;
                        std::fprintf(stderr, "TOKEN IN URL at %s\n", qPrintable(host.name));
                    }
                    for (const auto& [name, value] : request.headers) {
                        if (value.contains(form) && &owner != &host)
                            ++leaks[owner.name + u" token at "_s + host.name + u" in "_s
                                + QString::fromLatin1(name) + u" ("_s
                                + QString::fromLatin1(request.method + ' ' + request.path.left(60)) + u")"_s];
                    }
                    if (request.body.contains(form) && &owner != &host)
                        ++leaks[owner.name + u" token at "_s + host.name + u" in the body"_s];
                }
            }
        }
        host.server->clearRequests();
    };

    const auto sampleStates = [&] {
        ++samples;
        std::map<QString, KitConnection> states;
        const auto connections = store->connections();
        for (auto it = connections.cbegin(); it != connections.cend(); ++it)
            states[it.key().rawValue()] = it.value();
        const auto accounts = store->accountConnections();
        for (auto it = accounts.cbegin(); it != accounts.cend(); ++it)
            states[u"account "_s + it.key()] = it.value();
        const auto api = store->apiConnections();
        for (auto it = api.cbegin(); it != api.cend(); ++it)
            states[it.key().rawValue() + u" API"_s] = it.value();
        const qint64 at = elapsed.elapsed();
        for (const auto& [name, state] : states) {
            QString sentence;
            const QString service
                = name.startsWith(u"account "_s) ? name.mid(8).section(u'/', 0, 0) : name.section(u' ', 0, 0);
            if (state.kind() == KitConnection::Kind::failing)
                sentence = state.reason();
            else if (state.kind() == KitConnection::Kind::rejected)
                sentence = DevKitStore::failureText(std::make_exception_ptr(ServiceFailure::rejected()),
                    KitService::fromRaw(service).value_or(KitService::vercel));
            const bool failingNow = state.kind() == KitConnection::Kind::failing
                || state.kind() == KitConnection::Kind::rejected;
            if (failingNow && sentence.trimmed().isEmpty())
                ++silentFailures[name];
            for (const QString& token : watch.tokens) {
                if (sentence.contains(token))
                    ++tokenInSentence[name];
            }
            const auto before = lastState.find(name);
            if (failingNow && (before == lastState.end() || before->second != state))
                ++stateChanges[state.kind() == KitConnection::Kind::rejected ? u"rejected (401)"_s
                                                                             : sentenceKind(sentence)];
            if (state.kind() == KitConnection::Kind::connecting) {
                connectingSince.try_emplace(name, at);
                longestConnectingMs[name] = std::max(longestConnectingMs[name], at - connectingSince[name]);
            } else {
                connectingSince.erase(name);
            }
            lastState[name] = state;
        }
    };

    QTimer checks;
    QObject::connect(&checks, &QTimer::timeout, [&] {
        for (auto& [service, host] : hosts)
            scanRequests(host);
        scanRequests(other);
        keyring.calls.clear();
        sampleStates();
    });
    checks.start(1000);

    qint64 startRss = -1;
    std::vector<std::pair<qint64, qint64>> rssLine;
    QTimer minute;
    QObject::connect(&minute, &QTimer::timeout, [&] {
        const qint64 rss = residentKiB();
        rssLine.emplace_back(elapsed.elapsed() / 1000, rss);
        qint64 served = 0;
        for (const auto& [service, host] : hosts)
            served += host.requests;
        QStringList states;
        const auto connections = store->connections();
        for (auto it = connections.cbegin(); it != connections.cend(); ++it) {
            static const char* kinds[] = {"ok", "failing", "off", "connecting", "rejected"};
            states.append(
                it.key().rawValue() + u'=' + QLatin1StringView(kinds[static_cast<int>(it.value().kind())]));
        }
        std::printf("[%5llds] rss %lld KiB, %lld requests, %s\n",
            static_cast<long long>(elapsed.elapsed() / 1000), static_cast<long long>(rss),
            static_cast<long long>(served), qPrintable(states.join(u' ')));
        std::fflush(stdout);
    });
    minute.start(std::clamp<qint64>(totalMs / 30, 5'000, 60'000));

    // The store asks for API spend every five minutes at most: the user entering an admin key again
    // every 20 s, each usage tool in turn, keeps that path as busy as the others.
    QTimer reentry;
    qint64 reentered = 0;
    QObject::connect(&reentry, &QTimer::timeout, [&] {
        const KitService service = reentered++ % 2 == 0 ? KitService::claude : KitService::codex;
        runDetached(store->connectAPIUsage(service, hosts[service].token), "The soak's key entry");
    });
    reentry.start(20'000);

    QTimer::singleShot(warmUpMs, [&] { startRss = residentKiB(); });
    QTimer::singleShot(totalMs, [&] { app.quit(); });
    // Stopped early (Ctrl-C, a kill), the soak still reports what it saw.
    std::signal(SIGINT, [](int) { stopAsked = true; });
    std::signal(SIGTERM, [](int) { stopAsked = true; });
    QTimer stopWatch;
    QObject::connect(&stopWatch, &QTimer::timeout, [&] {
        if (stopAsked)
            app.quit();
    });
    stopWatch.start(200);

    std::printf("soak: %.1f min, warm-up %lld s, %zu service hosts and the other host on loopback\n", minutes,
        static_cast<long long>(warmUpMs / 1000), hosts.size());
    std::fflush(stdout);
    store->start();
    app.exec();

    const qint64 endRss = residentKiB();
    store->stop();
    checks.stop();
    reentry.stop();
    for (auto& [service, host] : hosts)
        scanRequests(host);
    scanRequests(other);
    sampleStates();

    // The report.
    bool sound = true;
    std::printf("\n== soak report (%.1f min%s, %lld state samples)\n",
        static_cast<double>(elapsed.elapsed()) / 60'000.0, stopAsked ? ", stopped early" : "",
        static_cast<long long>(samples));
    const double growth
        = startRss > 0 ? 100.0 * static_cast<double>(endRss - startRss) / static_cast<double>(startRss) : 0;
    // Stopped during the warm-up, there is no start to compare with.
    const bool flat = startRss <= 0 || std::abs(growth) <= 5.0;
    sound = sound && flat;
    std::printf("resident memory: %lld KiB after warm-up, %lld KiB at the end (%+.1f %%): %s\n",
        static_cast<long long>(startRss), static_cast<long long>(endRss), growth,
        startRss <= 0 ? "not measured"
            : flat    ? "flat"
                      : "NOT FLAT");

    std::printf("tools failing without a sentence: %s\n", silentFailures.empty() ? "none" : "");
    for (const auto& [name, count] : silentFailures)
        std::printf("  %s: %lld samples\n", qPrintable(name), static_cast<long long>(count));
    sound = sound && silentFailures.empty();
    std::printf("sentences holding a token: %s\n", tokenInSentence.empty() ? "none" : "");
    for (const auto& [name, count] : tokenInSentence)
        std::printf("  %s: %lld samples\n", qPrintable(name), static_cast<long long>(count));
    sound = sound && tokenInSentence.empty();
    std::printf("log lines: %lld, holding a token: %lld\n", static_cast<long long>(watch.lines),
        static_cast<long long>(watch.withToken));
    sound = sound && watch.withToken == 0;

    qint64 total = 0;
    for (const auto& [service, host] : hosts)
        total += host.requests;
    std::printf(
        "requests: %lld to the services, %lld to the other host (%lld meant for the web, hosts: %s)\n",
        static_cast<long long>(total), static_cast<long long>(other.requests),
        static_cast<long long>(guard->rerouted),
        qPrintable(QStringList(guard->reroutedHosts.begin(), guard->reroutedHosts.end()).join(u", "_s)));
    std::printf("tokens at a host not their own: %s\n", leaks.empty() ? "none" : "");
    for (const auto& [what, count] : leaks)
        std::printf("  %s: %lld\n", qPrintable(what), static_cast<long long>(count));
    std::printf("tokens in a URL: %lld\n", static_cast<long long>(tokensInUrls));
    sound = sound && leaks.empty() && tokensInUrls == 0;

    std::printf("longest time a tool stayed connecting: ");
    qint64 longest = 0;
    QString longestName;
    for (const auto& [name, ms] : longestConnectingMs) {
        if (ms > longest) {
            longest = ms;
            longestName = name;
        }
    }
    std::printf("%lld s%s%s\n", static_cast<long long>(longest / 1000), longestName.isEmpty() ? "" : " (",
        longestName.isEmpty() ? "" : qPrintable(longestName + u')'));

    std::printf(
        "\nreplies served (per host: %s)\n", "Vercel Cloudflare GitHub GitLab Stripe Polar Anthropic OpenAI");
    for (int f = 0; f < faultCount; ++f) {
        qint64 sum = 0;
        QStringList per;
        for (const auto& [service, host] : hosts) {
            sum += host.served.at(f);
            per.append(QString::number(host.served.at(f)));
        }
        std::printf("  %-24s %8lld   (%s)\n", faultName(static_cast<Fault>(f)), static_cast<long long>(sum),
            qPrintable(per.join(u' ')));
    }
    for (const auto& [service, host] : hosts) {
        for (const auto& [path, count] : host.unknown)
            std::printf("  unknown path at %s: %s (%lld)\n", qPrintable(host.name), path.constData(),
                static_cast<long long>(count));
    }
    std::printf("\nfailures the store logged, by kind\n");
    for (const auto& [kind, count] : watch.failures)
        std::printf("  %-26s %8lld\n", qPrintable(kind), static_cast<long long>(count));
    std::printf("failure states entered (sampled each second), by kind\n");
    for (const auto& [kind, count] : stateChanges)
        std::printf("  %-26s %8lld\n", qPrintable(kind), static_cast<long long>(count));
    std::printf("distinct failure sentences logged: %zu; the most frequent:\n", watch.sentences.size());
    std::vector<std::pair<qint64, QString>> ranked;
    for (const auto& [sentence, count] : watch.sentences)
        ranked.emplace_back(count, sentence);
    std::sort(ranked.rbegin(), ranked.rend());
    for (std::size_t i = 0; i < ranked.size() && i < 12; ++i)
        std::printf("  %6lld  %s\n", static_cast<long long>(ranked[i].first), qPrintable(ranked[i].second));
    std::printf("\nresident memory by time:");
    for (const auto& [second, rss] : rssLine)
        std::printf(" %llds=%lld", static_cast<long long>(second), static_cast<long long>(rss));
    std::printf("\n\nverdict: %s\n", sound ? "sound" : "FAULTS FOUND");
    std::fflush(stdout);

    logWatch = nullptr;
    store.reset();
    return sound ? 0 : 1;
}
