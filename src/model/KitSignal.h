#pragma once

#include <QHashFunctions>
#include <QList>

#include <cstdint>
#include <functional>

namespace brenvo {

struct Deployment;
struct Payment;

// The colour state of a tool's tile: green, orange, red, grey.
class KitSignal {
public:
    enum Value : std::uint8_t { good, attention, bad, disconnected };

    constexpr KitSignal() = default;
    constexpr KitSignal(Value value)
        : m_value(value)
    {
    }
    constexpr operator Value() const { return m_value; }

    // A tool's rows or payments as one tile colour (never disconnected: that is the caller's call).
    static KitSignal deployments(const QList<Deployment>& rows);
    static KitSignal payments(const QList<Payment>& payments);

private:
    Value m_value = good;
};

inline size_t qHash(KitSignal signal, size_t seed = 0) noexcept
{
    return ::qHash(static_cast<int>(KitSignal::Value(signal)), seed);
}

} // namespace brenvo

template <> struct std::hash<brenvo::KitSignal> {
    size_t operator()(brenvo::KitSignal signal) const noexcept
    {
        return std::hash<int>()(static_cast<int>(brenvo::KitSignal::Value(signal)));
    }
};
