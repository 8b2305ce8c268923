// Tiles, cards and the tuck handle read from a real tool store, with and without sample data.
#include "app/core/MemoryDefaults.h"
#include "app/core/PreferencesStore.h"
#include "cards/ConnectCard.h"
#include "cards/ServiceBadge.h"
#include "edge/EdgeAssembly.h"
#include "edge/EdgeStoreContent.h"
#include "store/DevKitStore.h"
#include "support/FakeEdge.h"
#include "support/FakeSecretStore.h"
#include "support/ManualScheduler.h"

#include <QPushButton>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace brenvo;
using brenvo::test::FakeEdgeWindow;
using brenvo::test::ManualScheduler;

namespace {

class EdgeStoreContentTest : public ::testing::Test {
protected:
    MemoryDefaults defaults;
    PreferencesStore preferences {defaults};
    test::FakeSecretStore secrets;
    ManualScheduler scheduler;

    FakeEdgeWindow::Log window;
    test::FakeEdgeContext context;
    std::unique_ptr<EdgeController> panel;

    EdgeController& installPanel()
    {
        panel = std::make_unique<EdgeController>(
            context, scheduler, [this](EdgeController&) { return std::make_unique<FakeEdgeWindow>(window); },
            []() { return QPointF(0, 0); });
        panel->install();
        return *panel;
    }

    std::unique_ptr<DevKitStore> store(bool mock)
    {
        return std::make_unique<DevKitStore>(preferences, secrets, scheduler, mock, DevKitStore::Sources {});
    }
};

} // namespace

TEST_F(EdgeStoreContentTest, SampleDataShowsEveryToolsSignalAndTheWorstUnseenOnTheHandle)
{
    auto kit = store(true);
    EdgeStoreContent content(*kit, scheduler);
    EXPECT_EQ(content.cardServices(), kit->enabledServices());
    for (KitService service : kit->enabledServices()) {
        EXPECT_TRUE(kit->connection(service).isConnected());
        EXPECT_EQ(content.tile(service).signal, content.groupSignal(service))
            << service.rawValue().toStdString();
        EXPECT_NE(content.tile(service).signal, KitSignal::disconnected);
    }
    EXPECT_EQ(content.handleSignal(), std::nullopt); // nothing unseen

    // An announcement going away opens nothing.
    EdgeController& edge = installPanel();
    connectEdgeStore(edge, *kit);
    ASSERT_FALSE(kit->announcement().has_value());
    Q_EMIT kit->announcementChanged();
    scheduler.runPending();
    EXPECT_EQ(window.frames.size(), 1u);
    edge.uninstall();

    QSignalSpy changed(&content, &EdgeContent::changed);
    kit->markUnseen(KitService::vercel);
    EXPECT_GE(changed.count(), 1);
    EXPECT_TRUE(content.tile(KitService::vercel).isFresh);
    EXPECT_EQ(content.handleSignal(), content.groupSignal(KitService::vercel));
}

TEST_F(EdgeStoreContentTest, ToolsWithoutConnectionAreGreyAndOfferTheirSettings)
{
    auto kit = store(false);
    EdgeStoreContent content(*kit, scheduler);
    kit->markUnseen(KitService::github);
    EXPECT_EQ(content.tile(KitService::github).signal, KitSignal::disconnected);
    EXPECT_TRUE(content.tile(KitService::github).isFresh);
    EXPECT_EQ(content.handleSignal(), std::nullopt); // a disconnected tool never colours the handle

    // The connect card closes the open card, then asks for the tool's settings page.
    EdgeController& edge = installPanel();
    std::vector<std::optional<KitService>> pages;
    edge.setShowSettings([&](std::optional<KitService> page) { pages.push_back(page); });
    content.setController(&edge);
    edge.open(KitService::github, true);
    scheduler.runPending();

    std::unique_ptr<QWidget> card(content.makeCard(KitService::github, nullptr));
    auto* connect = qobject_cast<ConnectCard*>(card.get());
    ASSERT_NE(connect, nullptr);
    connect->settingsButton()->click();
    EXPECT_EQ(edge.openService(), std::nullopt);
    EXPECT_EQ(pages, (std::vector<std::optional<KitService>> {KitService::github}));

    // Badges follow the tile state.
    std::unique_ptr<QWidget> badge(content.makeBadge(KitService::github, nullptr));
    content.updateBadge(badge.get(), KitService::github, true);
    const ServiceBadge::State state = qobject_cast<ServiceBadge*>(badge.get())->state();
    EXPECT_TRUE(state.isLit && state.isFresh);
    EXPECT_EQ(state.signal, KitSignal::disconnected);
    edge.uninstall();
}
