#pragma once

#include "model/KitService.h"

#include <QDateTime>
#include <QHashFunctions>
#include <QList>
#include <QString>
#include <QUrl>

#include <cstdint>
#include <functional>
#include <optional>

namespace brenvo {

// One row of a deployment or check tool: a deployment, a workflow run or commit, a pipeline.
struct Deployment {
    class State {
    public:
        enum Value : std::uint8_t { ready, building, failed, canceled };

        constexpr State() = default;
        constexpr State(Value value)
            : m_value(value)
        {
        }
        constexpr operator Value() const { return m_value; }

        // Building outranks failed, which outranks ready; nothing at all is canceled.
        static State rollUp(const QList<State>& states);

    private:
        Value m_value = ready;
    };

    QString id;
    QString project;
    std::optional<QString> branch;
    std::optional<QString> commit;
    QString message;
    State state = State::ready;
    QDateTime date;
    std::optional<QString> environment;
    std::optional<QString> target;
    std::optional<QUrl> url;
    std::optional<QString> scope;
    std::optional<QString> stateNote;

    bool operator==(const Deployment&) const = default;

    // Commit, branch and environment, those present, joined with " · ".
    QString subtitle() const;
    // The state note, else the state's word in the tool's wording.
    QString stateWord(KitService service) const;
    // The part of the id after its first underscore, at most 9 characters.
    QString shortID() const;

    // Change detection between a tool's previous and new rows; each gives a sub-list of the new
    // rows, in their order.
    static QList<Deployment> newlyReady(const QList<Deployment>& rows, const QList<Deployment>& since);
    static QList<Deployment> settledChanges(const QList<Deployment>& rows, const QList<Deployment>& since);

    // The three rows of the sample data, dated back from now.
    static QList<Deployment> samples(const std::optional<QString>& environment, const QDateTime& now);
};

inline size_t qHash(Deployment::State state, size_t seed = 0) noexcept
{
    return ::qHash(static_cast<int>(Deployment::State::Value(state)), seed);
}

// One check, job or commit status of an opened row.
struct DeploymentCheck {
    QString id;
    QString name;
    Deployment::State state = Deployment::State::ready;
    std::optional<QString> note;
    std::optional<QUrl> url;

    bool operator==(const DeploymentCheck&) const = default;

    // Failed first, then building, ready, canceled; equal states keep their order.
    static QList<DeploymentCheck> sortedForDisplay(const QList<DeploymentCheck>& checks);
};

// What an opened row shows.
struct DeploymentDetails {
    std::optional<QString> errorMessage;
    QList<QString> domains;
    std::optional<double> buildDuration; // seconds
    std::optional<QString> creator;
    QList<QString> logTail;
    QList<DeploymentCheck> checks;
    bool canRedeploy = false;
    std::optional<QString> summary;

    bool operator==(const DeploymentDetails&) const = default;

    // What the sample-data mode shows for an opened row.
    static DeploymentDetails sample(const Deployment& deployment, KitService service);
};

// The row open in the detail view of a deployment or check tool.
struct DeploymentInspection {
    // Progress of a redeploy asked for in the detail view.
    class Redeploy {
    public:
        enum class Kind : std::uint8_t { idle, starting, started, failed };

        Redeploy() = default;
        static Redeploy idle() { return Redeploy(); }
        static Redeploy starting() { return Redeploy(Kind::starting, {}); }
        static Redeploy started() { return Redeploy(Kind::started, {}); }
        static Redeploy failed(QString message) { return Redeploy(Kind::failed, std::move(message)); }

        Kind kind() const { return m_kind; }
        // The failure sentence; empty unless failed.
        const QString& message() const { return m_message; }

        bool operator==(const Redeploy&) const = default;

    private:
        Redeploy(Kind kind, QString message)
            : m_kind(kind)
            , m_message(std::move(message))
        {
        }
        Kind m_kind = Kind::idle;
        QString m_message;
    };

    KitService service = KitService::vercel;
    Deployment deployment;
    std::optional<DeploymentDetails> details;
    bool isLoading = false;
    Redeploy redeploy;

    bool operator==(const DeploymentInspection&) const = default;
};

} // namespace brenvo

template <> struct std::hash<brenvo::Deployment::State> {
    size_t operator()(brenvo::Deployment::State state) const noexcept { return brenvo::qHash(state); }
};
