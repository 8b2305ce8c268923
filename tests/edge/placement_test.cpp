// Stored forms of the panel's placement and the choice of its screen.
#include "edge/EdgeGeometry.h"
#include "model/EdgePlacement.h"

#include <QGuiApplication>
#include <QScreen>

#include <gtest/gtest.h>

using namespace brenvo;

TEST(EdgePlacementStoredForms, RoundTripExactlyAndRejectEverythingElse)
{
    for (EdgeSide side : allEdgeSides)
        EXPECT_EQ(edgeSideFromRawValue(rawValue(side)), side);
    for (EdgeTrigger trigger : allEdgeTriggers)
        EXPECT_EQ(edgeTriggerFromRawValue(rawValue(trigger)), trigger);
    EXPECT_EQ(rawValue(EdgeSide::left), "left");
    EXPECT_EQ(rawValue(EdgeTrigger::click), "click");
    for (const char* raw : {"top", "Left", "Hover", "click ", ""})
        EXPECT_FALSE(edgeSideFromRawValue(raw) || edgeTriggerFromRawValue(raw)) << raw;

    // A display needs both keys; an empty name is still a name.
    EXPECT_EQ(EdgeDisplay::fromDictionary({{"id", "DEL/U2720Q/X1"}}), std::nullopt);
    EXPECT_EQ(EdgeDisplay::fromDictionary({{"name", "Dell U2720Q"}}), std::nullopt);
    const auto display = EdgeDisplay::fromDictionary({{"id", "X"}, {"name", ""}, {"extra", "Z"}});
    EXPECT_EQ(display, (EdgeDisplay {"X", ""}));
    EXPECT_EQ(display->dictionary(), (EdgeDisplay::Dictionary {{"id", "X"}, {"name", ""}}));
}

TEST(EdgeDisplayChoice, MatchingIdElseFirstScreenElseNone)
{
    const QStringList ids {"A", "", "C"};
    EXPECT_EQ(EdgeDisplay::pick(ids, QString("C")), 2);
    EXPECT_EQ(EdgeDisplay::pick(ids, QString("Z")), 0); // not attached: the first screen
    EXPECT_EQ(EdgeDisplay::pick(ids, QString("")), 0); // a screen without identifier never matches
    EXPECT_EQ(EdgeDisplay::pick({}, QString("A")), std::nullopt);

    // A display that is gone: the first screen.
    EXPECT_EQ(EdgeDisplay::screen(QString("no such display")), QGuiApplication::screens().front());
    const auto g = EdgeGeometry::forPlacement(EdgeSide::left, EdgeDisplay {"no such display", "Gone"});
    EXPECT_EQ(g.screenFrame, QRectF(QGuiApplication::screens().front()->geometry()));
    EXPECT_EQ(g.side, EdgeSide::left);
    EXPECT_EQ(EdgeGeometry::forScreen(nullptr, EdgeSide::right), EdgeGeometry {});
}
