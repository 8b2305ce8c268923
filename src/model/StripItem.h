#pragma once

#include "model/KitService.h"

#include <QList>

#include <cstdint>
#include <functional>
#include <optional>

namespace brenvo {

// One entry of the panel's strip: a tool's tile, the tile standing for the hidden tools, or the
// settings tile.
class StripItem {
public:
    enum class Kind : std::uint8_t { service, more, settings };

    static StripItem service(KitService tool) { return StripItem(static_cast<std::uint8_t>(tool.index())); }
    static StripItem more() { return StripItem(moreCode); }
    static StripItem settings() { return StripItem(settingsCode); }

    Kind kind() const;
    // The tool of a service entry; nothing for the other two.
    std::optional<KitService> tool() const;

    bool operator==(const StripItem& other) const = default;

    // The strip, top to bottom, for the enabled tools (in declaration order) and the panel limit
    // (0 or less: no limit).
    static QList<StripItem> items(const QList<KitService>& services, int limit, bool expanded);

private:
    // A tool's index for its tile, then the two fixed tiles: one byte for the whole entry.
    static constexpr std::uint8_t moreCode = KitService::count;
    static constexpr std::uint8_t settingsCode = KitService::count + 1;
    explicit StripItem(std::uint8_t code)
        : m_code(code)
    {
    }
    std::uint8_t m_code;
};

static_assert(sizeof(StripItem) == 1);

size_t qHash(const StripItem& item, size_t seed = 0) noexcept;

} // namespace brenvo

template <> struct std::hash<brenvo::StripItem> {
    size_t operator()(const brenvo::StripItem& item) const noexcept { return brenvo::qHash(item); }
};
