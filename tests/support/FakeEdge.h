#pragma once

// Fakes of the edge panel's seams: the settings and store it reads, its window, and the mouse.
#include "edge/EdgeContent.h"
#include "edge/EdgeContext.h"

#include <QLabel>
#include <QMap>

#include <QList>
#include <QPointF>
#include <QRect>
#include <QRegion>

#include <optional>
#include <vector>

namespace brenvo::test {

class FakeEdgeContext : public EdgeContext {
public:
    QList<KitService> enabled {
        KitService::vercel, KitService::github, KitService::stripe, KitService::claude};
    int limit = 4;
    EdgeTrigger trigger = EdgeTrigger::hover;
    bool tucked = false;
    EdgeGeometry placement {QRectF(0, 0, 1920, 1080), QRectF(0, 0, 1920, 1080), EdgeSide::right};
    // Every watch() call in order; clearWatching() is recorded as "cleared".
    std::vector<std::optional<KitService>> watched;
    int cleared = 0;

    QList<KitService> enabledServices() const override { return enabled; }
    int panelLimit() const override { return limit; }
    EdgeTrigger edgeTrigger() const override { return trigger; }
    bool tucksAway() const override { return tucked; }
    mutable int geometryReads = 0;
    EdgeGeometry geometry() const override
    {
        ++geometryReads;
        return placement;
    }
    void watch(std::optional<KitService> service) override { watched.push_back(service); }
    void clearWatching() override { ++cleared; }
};

class FakeEdgeWindow : public EdgeWindow {
public:
    struct Log {
        std::vector<QRect> frames; // every change of frame, in order
        bool shown = false;
        bool allowsKey = false;
        EdgeSide side = EdgeSide::right;
        int layouts = 0;
        QRegion input;
        QRegion hover;
        bool destroyed = false;
    };

    explicit FakeEdgeWindow(Log& log)
        : m_log(log)
    {
    }
    ~FakeEdgeWindow() override { m_log.destroyed = true; }

    QRect frame() const override { return m_log.frames.empty() ? QRect() : m_log.frames.back(); }
    void setFrame(const QRect& frame) override
    {
        if (frame != this->frame())
            m_log.frames.push_back(frame);
    }
    void orderFront() override { m_log.shown = true; }
    void orderOut() override { m_log.shown = false; }
    void setAllowsKey(bool allows) override { m_log.allowsKey = allows; }
    void setSide(EdgeSide side) override { m_log.side = side; }
    void layoutContent() override { ++m_log.layouts; }
    void setInputRegion(const QRegion& region) override { m_log.input = region; }
    void setHoverArea(const QRegion& region) override { m_log.hover = region; }

private:
    Log& m_log;
};

// Tiles and stand-in cards for the views: every enabled tool with a given signal.
class FakeEdgeContent : public EdgeContent {
public:
    QList<KitService> services {
        KitService::vercel, KitService::github, KitService::stripe, KitService::claude};
    QMap<KitService::Value, Tile> tiles;
    std::optional<KitSignal> handle;
    int cardsMade = 0;

    Tile tile(KitService service) const override { return tiles.value(service); }
    QList<KitService> cardServices() const override { return services; }
    QWidget* makeCard(KitService service, QWidget* parent) override
    {
        ++cardsMade;
        auto* card = new QLabel(service.displayName(), parent);
        card->setObjectName(QStringLiteral("card-") + service.rawValue());
        card->setTextFormat(Qt::PlainText);
        card->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        card->setStyleSheet(QStringLiteral("color: white; font-size: 15px; font-weight: 600;"));
        card->setMinimumHeight(120);
        return card;
    }
    std::optional<KitSignal> handleSignal() const override { return handle; }
};

} // namespace brenvo::test
