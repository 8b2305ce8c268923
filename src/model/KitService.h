#pragma once

#include <QDebug>
#include <QHashFunctions>
#include <QList>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>

namespace brenvo {

// One of the eight watched tools. The enumerators live in the class, so `KitService::github`
// reads as a value, a KitService converts to its enumerator for `switch` and comparisons, and
// the order of declaration is the order in which the whole application walks the tools.
class KitService {
public:
    enum Value : std::uint8_t { vercel, cloudflare, github, gitlab, stripe, polar, claude, codex };

    static constexpr int count = 8;

    // The first tool; there so that containers and meta-types can make a value before assigning.
    constexpr KitService() = default;
    constexpr KitService(Value value)
        : m_value(value)
    {
    }
    constexpr operator Value() const { return m_value; }

    constexpr int index() const { return static_cast<int>(m_value); }
    // Group tests go through the bit of the tool's index: 15 = deployments and checks, 48 = payments.
    constexpr bool isActivity() const { return ((1 << index()) & 15) != 0; }
    constexpr bool isPayment() const { return ((1 << index()) & 48) != 0; }
    constexpr bool isUsage() const { return !isActivity() && !isPayment(); }

    QString rawValue() const;
    QString displayName() const;
    QString serviceName() const;
    QString apiName() const;
    // The tool's name on cards and its section word ("Deployments", "Checks", ...).
    QString title() const;
    QString section() const;
    // "kit." and the raw value: the tool's entry in the secret store.
    QString secretKey() const;

    // The exact, case-sensitive raw value of a tool, or nothing.
    static std::optional<KitService> fromRaw(const QString& raw);
    static const std::array<KitService, count>& allCases();

private:
    Value m_value = vercel;
};

static_assert(sizeof(KitService) == 1);

inline QDebug operator<<(QDebug debug, KitService service)
{
    return debug << service.rawValue();
}

inline size_t qHash(KitService service, size_t seed = 0) noexcept
{
    return qHash(service.rawValue(), seed);
}

} // namespace brenvo

template <> struct std::hash<brenvo::KitService> {
    size_t operator()(brenvo::KitService service) const noexcept { return qHash(service.rawValue()); }
};
