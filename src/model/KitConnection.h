#pragma once

#include "model/KitService.h"

#include <QString>
#include <QUuid>

#include <cstdint>
#include <optional>

namespace brenvo {

// A tool's connection state as every view shows it.
class KitConnection {
public:
    enum class Kind : std::uint8_t { connected, failing, notConnected, connecting, rejected };

    KitConnection() = default; // not connected
    static KitConnection connected(std::optional<QString> account)
    {
        return KitConnection(Kind::connected, std::move(account));
    }
    static KitConnection failing(QString reason) { return KitConnection(Kind::failing, std::move(reason)); }
    static KitConnection notConnected() { return KitConnection(); }
    static KitConnection connecting() { return KitConnection(Kind::connecting, std::nullopt); }
    static KitConnection rejected() { return KitConnection(Kind::rejected, std::nullopt); }

    Kind kind() const { return m_kind; }
    bool isConnected() const { return m_kind == Kind::connected; }
    // The account of a connected state (may be absent); nothing for the others.
    std::optional<QString> account() const { return isConnected() ? m_text : std::nullopt; }
    // The sentence of a failing state; empty for the others.
    QString reason() const { return m_kind == Kind::failing ? m_text.value_or(QString()) : QString(); }

    bool operator==(const KitConnection&) const = default;

private:
    KitConnection(Kind kind, std::optional<QString> text)
        : m_kind(kind)
        , m_text(std::move(text))
    {
    }
    Kind m_kind = Kind::notConnected;
    std::optional<QString> m_text;
};

// A payment news item that brings the panel out.
struct KitAnnouncement {
    QUuid id;
    KitService service = KitService::stripe;
    bool isProblem = false;

    bool operator==(const KitAnnouncement&) const = default;

    // A new announcement with a fresh id.
    static KitAnnouncement make(KitService service, bool isProblem)
    {
        return KitAnnouncement {QUuid::createUuid(), service, isProblem};
    }
};

// One project, repository or account that the user may pick.
struct KitProject {
    QString id;
    QString name;

    bool operator==(const KitProject&) const = default;
};

} // namespace brenvo
