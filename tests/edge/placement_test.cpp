// Stored forms of the panel's placement and the choice of its screen.
#include "edge/EdgeGeometry.h"
#include "model/EdgePlacement.h"

#include <QGuiApplication>
#include <QScreen>

#include <gtest/gtest.h>

using namespace brenvo;

TEST(EdgePlacementRawValues, RoundTripExactlyAndRejectEverythingElse)
{
    for (EdgeSide side : allEdgeSides)
        EXPECT_EQ(edgeSideFromRawValue(rawValue(side)), side);
    for (EdgeTrigger trigger : allEdgeTriggers)
        EXPECT_EQ(edgeTriggerFromRawValue(rawValue(trigger)), trigger);
    EXPECT_EQ(rawValue(EdgeSide::right), "right");
    EXPECT_EQ(rawValue(EdgeSide::left), "left");
    EXPECT_EQ(rawValue(EdgeTrigger::hover), "hover");
    EXPECT_EQ(rawValue(EdgeTrigger::click), "click");
    EXPECT_EQ(allEdgeSides.front(), EdgeSide::right);
    EXPECT_EQ(allEdgeTriggers.front(), EdgeTrigger::hover);
    EXPECT_EQ(edgeSideFromRawValue("top"), std::nullopt);
    EXPECT_EQ(edgeSideFromRawValue("Left"), std::nullopt);
    EXPECT_EQ(edgeTriggerFromRawValue("Hover"), std::nullopt);
    EXPECT_EQ(edgeTriggerFromRawValue("click "), std::nullopt);
    EXPECT_EQ(edgeTriggerFromRawValue(""), std::nullopt);
}

TEST(EdgeDisplayStoredForm, NeedsBothKeys)
{
    EXPECT_EQ(EdgeDisplay::fromDictionary({}), std::nullopt);
    EXPECT_EQ(EdgeDisplay::fromDictionary({{"id", "DEL/U2720Q/X1"}}), std::nullopt);
    EXPECT_EQ(EdgeDisplay::fromDictionary({{"name", "Dell U2720Q"}}), std::nullopt);
    const auto display = EdgeDisplay::fromDictionary({{"id", "X"}, {"name", "Y"}, {"extra", "Z"}});
    ASSERT_TRUE(display);
    EXPECT_EQ(*display, (EdgeDisplay {"X", "Y"}));
    EXPECT_EQ(display->dictionary(), (EdgeDisplay::Dictionary {{"id", "X"}, {"name", "Y"}}));
    // An empty name is still a name.
    EXPECT_EQ(EdgeDisplay::fromDictionary({{"id", "X"}, {"name", ""}}), (EdgeDisplay {"X", ""}));
}

TEST(EdgeDisplayChoice, MatchingIdElseFirstScreenElseNone)
{
    const QStringList ids {"A", "", "C"};
    EXPECT_EQ(EdgeDisplay::pick(ids, QString("C")), 2);
    EXPECT_EQ(EdgeDisplay::pick(ids, QString("Z")), 0); // not attached: the first screen
    EXPECT_EQ(EdgeDisplay::pick(ids, std::nullopt), 0);
    EXPECT_EQ(EdgeDisplay::pick(ids, QString("")), 0); // a screen without identifier never matches
    EXPECT_EQ(EdgeDisplay::pick({}, QString("A")), std::nullopt);
    EXPECT_EQ(EdgeDisplay::pick({}, std::nullopt), std::nullopt);
}

TEST(EdgeDisplayChoice, TheAttachedScreenIsListedAndChosen)
{
    QScreen* primary = QGuiApplication::primaryScreen();
    ASSERT_NE(primary, nullptr);
    const auto displays = EdgeDisplay::available();
    // The offscreen platform's screen has no output name: it cannot be listed, and is still chosen.
    if (!EdgeDisplay::identifier(primary).isEmpty()) {
        ASSERT_FALSE(displays.isEmpty());
        EXPECT_EQ(displays.front().id, EdgeDisplay::identifier(QGuiApplication::screens().front()));
        EXPECT_FALSE(displays.front().name.isEmpty());
        EXPECT_EQ(EdgeDisplay::screen(displays.front().id), QGuiApplication::screens().front());
    } else {
        EXPECT_TRUE(displays.isEmpty());
    }
    EXPECT_EQ(EdgeDisplay::screen(QString("no such display")), QGuiApplication::screens().front());

    const auto g = EdgeGeometry::forPlacement(EdgeSide::left, EdgeDisplay {"no such display", "Gone"});
    EXPECT_EQ(g.screenFrame, QRectF(QGuiApplication::screens().front()->geometry()));
    EXPECT_EQ(g.side, EdgeSide::left);
    EXPECT_EQ(EdgeGeometry::forScreen(nullptr, EdgeSide::right), EdgeGeometry {});
}
