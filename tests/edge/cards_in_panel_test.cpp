// The tool cards as the panel hosts them: at the content width in the card frame, on a real tool
// store over fake tools. Rows start right under a card's header; the room the frame leaves lies
// under the last one.
#include "app/core/MemoryDefaults.h"
#include "app/core/PreferencesStore.h"
#include "cards/CardActions.h"
#include "cards/ConnectCard.h"
#include "cards/DeploymentDetailView.h"
#include "cards/DeploymentsCard.h"
#include "cards/KitCard.h"
#include "cards/KitDetailHeader.h"
#include "cards/KitFaceStack.h"
#include "cards/KitRows.h"
#include "cards/PaymentsCard.h"
#include "cards/UsageCard.h"
#include "edge/EdgeAssembly.h"
#include "edge/EdgeCardReel.h"
#include "edge/EdgeHostingView.h"
#include "edge/EdgePanel.h"
#include "edge/EdgeRootView.h"
#include "edge/EdgeStoreContent.h"
#include "store/DevKitStore.h"
#include "support/FakeEdge.h"
#include "support/FakeSecretStore.h"
#include "support/FakeToolSources.h"
#include "support/ManualScheduler.h"
#include "support/ModelBuilders.h"

#include <QApplication>
#include <QScrollArea>

#include <gtest/gtest.h>

using namespace brenvo;

namespace {

const QString token = QStringLiteral("test-token-not-real");

class CardsInPanelTest : public ::testing::Test {
protected:
    MemoryDefaults defaults;
    PreferencesStore preferences {defaults};
    test::FakeSecretStore secrets;
    test::ManualScheduler scheduler;
    std::shared_ptr<test::FakeActivitySource> vercel = std::make_shared<test::FakeActivitySource>();
    std::shared_ptr<test::FakeActivitySource> github = std::make_shared<test::FakeActivitySource>();
    std::shared_ptr<test::FakePaymentSource> stripe = std::make_shared<test::FakePaymentSource>();
    std::shared_ptr<test::FakeUsageSource> claude = std::make_shared<test::FakeUsageSource>();
    std::unique_ptr<DevKitStore> kit;
    std::unique_ptr<EdgeStoreContent> content;
    test::FakeEdgeContext context;
    std::unique_ptr<EdgeController> edge;

    void SetUp() override
    {
        DevKitStore::Sources sources;
        sources.activity.insert(KitService::vercel, vercel);
        sources.activity.insert(KitService::github, github);
        sources.payments.insert(KitService::stripe, stripe);
        sources.usage.insert(KitService::claude, claude);
        preferences.setEnabledServices({KitService::vercel, KitService::github, KitService::stripe,
            KitService::polar, KitService::claude});
        kit = std::make_unique<DevKitStore>(preferences, secrets, scheduler, false, sources);
        content = std::make_unique<EdgeStoreContent>(*kit, scheduler);
        context.enabled = kit->enabledServices();
        context.limit = 8; // every tool has its tile
        edge = std::make_unique<EdgeController>(
            context, scheduler, edgePanelFactory(context, *content), []() { return QPointF(0, 0); });
        content->setController(edge.get());
        edge->install();
    }
    void TearDown() override { edge->uninstall(); }

    EdgeRootView* root() const
    {
        return static_cast<EdgeRootView*>(static_cast<EdgePanel*>(edge->panel())->hostingView()->rootView());
    }

    void run(QCoro::Task<> task)
    {
        scheduler.runPending();
        ASSERT_TRUE(task.isReady());
    }

    void settle()
    {
        for (int i = 0; i < 4; ++i) {
            QApplication::processEvents();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
    }

    // Opens the tool's card in the panel and answers the card the reel shows for it.
    QWidget* open(KitService service)
    {
        edge->open(service, true);
        scheduler.runPending();
        root()->finishAnimations();
        settle();
        const auto* scroll = qobject_cast<QScrollArea*>(
            root()->reel()->cards().value(kit->enabledServices().indexOf(service)).data());
        return scroll ? scroll->widget() : nullptr;
    }

    // Heights in the panel's own frame.
    int top(const QWidget* w) const { return w->mapTo(root(), QPoint(0, 0)).y(); }
    int bottom(const QWidget* w) const { return top(w) + w->height(); }
    int frameTop() const { return int(root()->cardFrame().top()); }
    int frameBottom() const { return int(root()->cardFrame().bottom()); }

    // The first and last rows' labels of a list, measured under its hairline.
    void expectRowsUnderHairline(
        const KitCard* list, const QWidget* first, const QWidget* last, const char* what)
    {
        ASSERT_TRUE(list && first && last) << what;
        EXPECT_EQ(top(list->headerButton()), frameTop() + 14) << what;
        EXPECT_EQ(top(first) - bottom(list->divider()), 12) << what;
        // The spare room lies under the last row, inside the card's inner margin.
        EXPECT_LT(bottom(last), frameBottom() - 14 - 20) << what;
    }

    static const QWidget* label(QWidget* row)
    {
        auto* button = qobject_cast<KitRowButton*>(row);
        return button ? button->label() : row;
    }
};

} // namespace

TEST_F(CardsInPanelTest, ListsStartTwelvePointsUnderTheHairlineWithTheRoomBelow)
{
    for (int count : {1, 2}) {
        const std::string when = std::to_string(count) + " rows";
        QList<Deployment> rows;
        QList<Payment> payments;
        QList<UsageMeter> meters;
        for (int i = 0; i < count; ++i) {
            rows << test::deployment(QString::number(i), Deployment::State::ready, scheduler.wallNow());
            payments << test::payment(QString::number(i), Payment::State::succeeded, scheduler.wallNow());
            meters << test::meter(QStringLiteral("Window %1").arg(i), 0.4);
        }
        vercel->rows = rows;
        github->rows = rows;
        stripe->lists.insert("key-shop", payments);
        claude->answer = UsageReport {meters, std::nullopt, scheduler.wallNow(), std::nullopt};
        if (count == 1) {
            run(kit->connect(KitService::vercel, token));
            run(kit->connect(KitService::github, token));
            stripe->infos.insert("key-shop", PaymentAccountInfo {QString("Shop"), {}, {}, {}});
            run(kit->addPaymentAccount(KitService::stripe, "key-shop", std::nullopt, std::nullopt));
            run(kit->connectUsage(KitService::claude));
        } else {
            run(kit->refresh(KitService::vercel));
            run(kit->refresh(KitService::github));
            run(kit->refreshPayments(KitService::stripe));
            run(kit->refreshUsage(KitService::claude));
        }

        for (KitService service : {KitService::vercel, KitService::github}) {
            QWidget* shown = open(service);
            ASSERT_NE(shown, nullptr);
            auto* card = shown->findChild<DeploymentsCard*>();
            ASSERT_TRUE(card && card->rows()) << when;
            ASSERT_EQ(card->rows()->count(), count);
            expectRowsUnderHairline(card->list(), label(card->rows()->row(0)),
                label(card->rows()->row(count - 1)),
                (service.rawValue().toStdString() + ", " + when).c_str());
        }

        auto* payCard = open(KitService::stripe)->findChild<PaymentsCard*>();
        ASSERT_TRUE(payCard && payCard->rows()) << when;
        ASSERT_EQ(payCard->rows()->count(), count);
        expectRowsUnderHairline(payCard->list(), label(payCard->rows()->row(0)),
            label(payCard->rows()->row(count - 1)), ("stripe, " + when).c_str());

        auto* usage = open(KitService::claude)->findChild<UsageCard*>();
        ASSERT_NE(usage, nullptr);
        const auto views = usage->meterViews();
        ASSERT_EQ(views.size(), count);
        expectRowsUnderHairline(usage->card(), views.first(), views.last(), ("claude, " + when).c_str());
    }

    // A tool that is not connected: its header at the top, its note in the room under it.
    auto* connect = qobject_cast<ConnectCard*>(open(KitService::polar));
    ASSERT_NE(connect, nullptr);
    EXPECT_EQ(top(connect->card()->headerButton()), frameTop() + 14);
    const int noteMiddle = (top(connect->note()) + bottom(connect->note())) / 2;
    const int roomMiddle = (bottom(connect->card()->headerButton()) + 10 + frameBottom() - 14) / 2;
    EXPECT_NEAR(noteMiddle, roomMiddle, 2);
}

TEST_F(CardsInPanelTest, AnOpenedRowsChecksStartTwelvePointsUnderItsHeader)
{
    const Deployment row = test::deployment("d1", Deployment::State::failed, scheduler.wallNow());
    vercel->rows = {row};
    run(kit->connect(KitService::vercel, token));
    kit->start(); // details are asked for while the store runs
    for (int count : {1, 2}) {
        vercel->detailsAnswer.checks.clear();
        for (int i = 0; i < count; ++i)
            vercel->detailsAnswer.checks << DeploymentCheck {QString::number(i), QStringLiteral("build"),
                Deployment::State::failed, {}, QUrl(QStringLiteral("https://example.com/check"))};
        kit->inspect(vercel->rows.first(), KitService::vercel);
        QWidget* shown = open(KitService::vercel);
        auto* card = shown->findChild<DeploymentsCard*>();
        ASSERT_NE(card, nullptr);
        card->faces()->finishTransition();
        settle();
        DeploymentDetailView* page = card->detailView();
        ASSERT_NE(page, nullptr);
        ASSERT_EQ(page->middle(), DeploymentDetailView::Middle::checks);
        const auto header = page->findChild<KitDetailHeader*>();
        EXPECT_EQ(top(header), frameTop() + 14);
        const auto rows = page->findChildren<KitRows*>();
        ASSERT_EQ(rows.size(), 1);
        ASSERT_EQ(rows.first()->count(), count);
        EXPECT_EQ(top(label(rows.first()->row(0))) - bottom(header), 12) << count << " checks";
        closeOpenFaces(*kit);
        edge->closeCard();
        scheduler.runPending();
    }
}
