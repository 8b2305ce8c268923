#pragma once

#include "model/KitService.h"
#include "model/KitSignal.h"

#include <QList>
#include <QObject>

#include <optional>

class QWidget;

namespace brenvo {

// What the panel's views show of the tool store: each tile's state, the card of each tool, and the
// tuck handle's colour.
class EdgeContent : public QObject {
    Q_OBJECT
public:
    struct Tile {
        enum class Mark { done, problem };
        KitSignal signal = KitSignal::disconnected;
        std::optional<Mark> mark;
        bool isWorking = false;
        bool isFresh = false;
        bool operator==(const Tile&) const = default;
    };

    using QObject::QObject;

    virtual Tile tile(KitService service) const = 0;
    // Every enabled tool in catalogue order, including those beyond the panel limit.
    virtual QList<KitService> cardServices() const = 0;
    // The card of a tool: its tool card when connected, else the card that leads to its settings.
    virtual QWidget* makeCard(KitService service, QWidget* parent) = 0;
    // The worst signal of the enabled tools with unseen news; none when there is none.
    virtual std::optional<KitSignal> handleSignal() const = 0;
    // A tile of the strip (draws itself at 26 × 26) made in its present state, or none to let the
    // strip draw a plain one.
    virtual QWidget* makeBadge(KitService, bool /*isLit*/, QWidget*) { return nullptr; }
    virtual void updateBadge(QWidget*, KitService, bool /*isLit*/) { }

Q_SIGNALS:
    // A tile, a card's connection or the handle may look different.
    void changed();
    // The set of cards changed: build them again.
    void cardsChanged();
    // One tool's kind of card changed (it connected or went): build that card alone again.
    void cardChanged(KitService service);
};

} // namespace brenvo
