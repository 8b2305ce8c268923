#pragma once

#include "model/EdgePlacement.h"

#include <QPointF>
#include <QRectF>
#include <QSizeF>

#include <optional>

namespace brenvo {

// The strip, its tile slots and the card inside the panel's view (origin top left, y downward), so
// that drawing and hit-testing agree.
struct EdgeLayout {
    QSizeF viewSize;
    QSizeF stripSize;
    double stripFlare = 0; // a card stays within the strip less these ends
    int slotCount = 0;
    double slotLength = 0;
    double slotSpacing = 0;
    double firstSlotInset = 0;
    double cardGap = 0;
    double cardHeight = 0;
    EdgeSide side = EdgeSide::right;

    struct Zone {
        enum class Kind { slot, strip, card, outside };
        Kind kind = Kind::outside;
        int index = 0; // only for a slot

        static Zone slot(int i) { return {Kind::slot, i}; }
        static Zone strip() { return {Kind::strip, 0}; }
        static Zone card() { return {Kind::card, 0}; }
        static Zone outside() { return {Kind::outside, 0}; }
        bool isSlot() const { return kind == Kind::slot; }
        bool isOutside() const { return kind == Kind::outside; }

        friend bool operator==(const Zone& a, const Zone& b)
        {
            return a.kind == b.kind && (a.kind != Kind::slot || a.index == b.index);
        }
    };

    QRectF stripFrame() const;
    double slotCenterY(int i) const;
    std::optional<int> slot(double y) const;
    QRectF cardFrame(int slot, double cardWidth) const;
    Zone zone(QPointF p, double cardWidth, std::optional<int> openSlot) const;

    friend bool operator==(const EdgeLayout&, const EdgeLayout&) = default;
};

// The platform's rectangle test: left and top edges inside, right and bottom edges outside.
bool edgeRectContains(const QRectF& r, QPointF p);

// The panel's fixed measures, shared by the controller, the root view and the strip.
namespace EdgeMetrics {
inline constexpr double stripWidth = 44;
inline constexpr double slotLength = 26;
inline constexpr double slotSpacing = 12;
inline constexpr double firstSlotInset = 22;
inline constexpr double stripFlare = 8;
inline constexpr double cardGap = 8;
inline constexpr double cardHeight = 206;
inline constexpr double cardWidth = 320;
inline constexpr double openWidth = 388;
inline constexpr double tuckedWidth = 10;
inline constexpr double tuckedHeight = 64;

// Sized for at least one tile.
double stripHeight(int count);
// The layout the panel is drawn and hit-tested with.
EdgeLayout layout(QSizeF viewSize, int slotCount, EdgeSide side);
} // namespace EdgeMetrics

} // namespace brenvo
