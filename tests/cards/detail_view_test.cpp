// The deployment detail page: its texts, its middle, and the two-step redeploy button.
#include "CardTestSupport.h"
#include "cards/DeploymentDetailView.h"
#include "cards/KitDetailHeader.h"
#include "cards/KitIndicators.h"
#include "cards/KitLine.h"
#include "cards/KitPalette.h"
#include "cards/KitRows.h"
#include "cards/KitScrollArea.h"
#include "cards/OpenInBrowser.h"
#include "support/ManualScheduler.h"

#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace brenvo {
namespace {

using Kind = DeploymentInspection::Redeploy::Kind;
using test::layOut;

class DetailViewTest : public ::testing::Test {
protected:
    test::ManualScheduler clock;
    QList<QUrl> opened;

    void SetUp() override
    {
        setBrowserOpener([this](const QUrl& url) { opened << url; });
    }
    void TearDown() override { setBrowserOpener({}); }

    DeploymentInspection open(KitService service, Deployment::State state,
        std::optional<DeploymentDetails> details, bool loading = false) const
    {
        Deployment row;
        row.id = "dpl_42";
        row.project = "docs";
        row.message = "Fix broken anchor links";
        row.state = state;
        row.date = clock.wallNow().addSecs(-300);
        row.branch = "main";
        return DeploymentInspection {service, row, std::move(details), loading, {}};
    }
};

TEST_F(DetailViewTest, HeaderTellsTheRowItsStateAndAFreshAge)
{
    auto inspection = open(KitService::github, Deployment::State::building, DeploymentDetails {});
    inspection.deployment.stateNote = "Needs approval";
    DeploymentDetailView page(inspection, clock);
    layOut(page, 292, 206);
    EXPECT_EQ(page.header()->titleLine()->text(), "Fix broken anchor links");
    EXPECT_EQ(page.header()->stateLine()->text(), "Needs approval");
    // A note replaces the word but not the colour.
    EXPECT_EQ(page.header()->stateLine()->colour(), KitPalette::orange());

    // The age stays fresh while shown.
    page.repaint();
    KitLine* detail = page.header()->detailLine();
    EXPECT_EQ(detail->text(), QString("main \u00B7 5m"));
    EXPECT_TRUE(detail->isTicking());
    clock.advance(3600.0);
    page.repaint();
    EXPECT_EQ(detail->text(), QString("main \u00B7 1h"));
    page.hide();
    EXPECT_FALSE(detail->isTicking());

    Deployment row = inspection.deployment;
    row.branch.reset();
    row.message.clear();
    EXPECT_EQ(DeploymentDetailView::detail(row, clock.wallNow()), "1h");
    EXPECT_EQ(DeploymentDetailView::title(row), "42");
}

TEST_F(DetailViewTest, LoadingShowsOnlyTheIndicatorBetweenHeaderAndActions)
{
    auto inspection = open(KitService::vercel, Deployment::State::ready, std::nullopt, true);
    inspection.deployment.url = QUrl("https://vercel.com/acme/docs/dpl_42");
    DeploymentDetailView page(inspection, clock);
    layOut(page, 292, 206);
    EXPECT_EQ(page.middle(), DeploymentDetailView::Middle::loading);
    ASSERT_TRUE(page.openButton()->isVisible());
    EXPECT_EQ(page.openButton()->text(), "Open in Vercel");
    // While loading a Vercel row already offers the button.
    ASSERT_TRUE(page.redeployButton());
    EXPECT_EQ(page.redeployButton()->text(), "Redeploy");
    test::click(page.openButton());
    EXPECT_EQ(opened, QList<QUrl>({QUrl("https://vercel.com/acme/docs/dpl_42")}));
}

TEST_F(DetailViewTest, ChecksListWithErrorAndLiveLink)
{
    DeploymentDetails details;
    details.errorMessage = "Tests failed";
    details.domains = {"docs.example.com"};
    details.buildDuration = 42;
    details.creator = "robin";
    DeploymentCheck failed {
        "1", "test", Deployment::State::failed, std::nullopt, QUrl("https://ci.example.com/1")};
    DeploymentCheck plain {"2", "lint", Deployment::State::ready, std::nullopt, std::nullopt};
    DeploymentCheck noted {"3", "deploy", Deployment::State::building, QString("1m 12s"), std::nullopt};
    details.checks = {failed, plain, noted};
    DeploymentDetailView page(open(KitService::github, Deployment::State::failed, details), clock);
    layOut(page, 292, 300);
    ASSERT_EQ(page.middle(), DeploymentDetailView::Middle::checks);
    const QStringList shown = test::shownTexts(page);
    EXPECT_TRUE(shown.contains("Tests failed"));
    EXPECT_TRUE(shown.contains("docs.example.com"));
    EXPECT_FALSE(shown.contains("Built in 42s by robin")); // not beside checks

    const auto pairs = test::visibleChildren<KitPairLine>(page);
    ASSERT_EQ(pairs.size(), 3);
    EXPECT_EQ(pairs[0]->trailingColour(), KitPalette::red());
    EXPECT_EQ(pairs[1]->trailingText(), "Passed");
    EXPECT_EQ(pairs[2]->trailingText(), "1m 12s");

    // A check with a link opens it; rows with and without a link stand equally high.
    auto* rows = page.findChild<KitRows*>();
    ASSERT_TRUE(rows);
    auto* linked = qobject_cast<KitRowButton*>(rows->row(0));
    ASSERT_TRUE(linked);
    EXPECT_FALSE(qobject_cast<KitRowButton*>(rows->row(1)));
    EXPECT_EQ(rows->row(0)->height(), rows->row(1)->height());
    test::click(linked);
    EXPECT_EQ(opened, QList<QUrl>({QUrl("https://ci.example.com/1")}));
}

TEST_F(DetailViewTest, ALongCheckNameLeavesItsStatusInSight)
{
    DeploymentDetails details;
    details.checks = {DeploymentCheck {"1", QString("integration suite ").repeated(8),
        Deployment::State::failed, QString("Process completed with exit code 1"), std::nullopt}};
    DeploymentDetailView page(open(KitService::github, Deployment::State::failed, details), clock);
    layOut(page, 292, 300);
    const auto pairs = test::visibleChildren<KitPairLine>(page);
    ASSERT_EQ(pairs.size(), 1);
    const QString status = pairs[0]->shownTrailing(pairs[0]->width());
    EXPECT_TRUE(status.startsWith(QChar(0x2026)) && status.endsWith("de 1")) << status.toStdString();
    EXPECT_TRUE(pairs[0]->shownLeading(pairs[0]->width()).endsWith(QChar(0x2026)));
    EXPECT_EQ(pairs[0]->trailingColour(), KitPalette::red());
}

TEST_F(DetailViewTest, ChecksKeepTheirScrollPositionAcrossARefresh)
{
    DeploymentDetails details;
    for (int i = 0; i < 30; ++i)
        details.checks << DeploymentCheck {
            QString::number(i), QString("job %1").arg(i), Deployment::State::ready, {}, {}};
    auto inspection = open(KitService::gitlab, Deployment::State::ready, details);
    DeploymentDetailView page(inspection, clock);
    layOut(page, 292, 206);
    KitScrollArea* area = page.checksArea();
    ASSERT_TRUE(area);
    ASSERT_GT(area->verticalScrollBar()->maximum(), 40);
    area->verticalScrollBar()->setValue(40);
    details.checks[3].state = Deployment::State::failed;
    inspection.details = details;
    page.setInspection(inspection);
    QApplication::processEvents();
    EXPECT_EQ(page.checksArea(), area);
    EXPECT_EQ(area->verticalScrollBar()->value(), 40);
}

TEST_F(DetailViewTest, StatusSectionByState)
{
    const std::tuple<KitService, Deployment::State, bool, std::optional<QString>, QString> cases[] = {
        {KitService::cloudflare, Deployment::State::ready, false, {}, "Cloudflare did not give its details."},
        {KitService::github, Deployment::State::building, true, {}, "Its checks are running."},
        {KitService::gitlab, Deployment::State::building, true, {}, "The pipeline is running."},
        {KitService::vercel, Deployment::State::building, true, {}, "Building now."},
        {KitService::vercel, Deployment::State::canceled, true, {}, "This was canceled."},
        {KitService::vercel, Deployment::State::canceled, true, QString("Skipped"), "Skipped."},
        {KitService::vercel, Deployment::State::ready, true, {}, QString()}};
    for (const auto& [service, state, answered, note, text] : cases) {
        auto in = open(service, state, answered ? std::optional(DeploymentDetails {}) : std::nullopt);
        in.deployment.stateNote = note;
        EXPECT_EQ(DeploymentDetailView::statusSentence(in).value_or(QString()), text) << text.toStdString();
    }

    DeploymentDetails built;
    built.buildDuration = -5;
    built.creator = "robin";
    EXPECT_EQ(DeploymentDetailView::buildLine(built), QString("by robin"));
    built.creator.reset();
    EXPECT_FALSE(DeploymentDetailView::buildLine(built));

    DeploymentDetails bad;
    bad.domains = {"exa mple.com"};
    EXPECT_FALSE(DeploymentDetailView::liveURL(bad));
}

TEST_F(DetailViewTest, FailureBoxShowsTheMessageAndEveryLogLine)
{
    DeploymentDetails details;
    details.logTail = {"error", "error", "exit 1"};
    DeploymentDetailView page(open(KitService::vercel, Deployment::State::failed, details), clock);
    layOut(page, 292, 300);
    const QStringList shown = test::shownTexts(page);
    EXPECT_TRUE(shown.contains("It failed."));
    EXPECT_EQ(shown.count("error"), 2);
    EXPECT_TRUE(shown.contains("exit 1"));

    // Ready notes, with nothing to say, show nothing.
    DeploymentDetailView quiet(
        open(KitService::vercel, Deployment::State::ready, DeploymentDetails {}), clock);
    layOut(quiet, 292, 206);
    EXPECT_EQ(quiet.middle(), DeploymentDetailView::Middle::status);
    EXPECT_TRUE(test::visibleChildren<QLabel>(*quiet.middleWidget()).isEmpty());
    EXPECT_TRUE(test::visibleChildren<KitLine>(*quiet.middleWidget()).isEmpty());
}

TEST_F(DetailViewTest, RedeployIsOfferedOnlyWhenItMayRun)
{
    DeploymentDetails allowed;
    allowed.canRedeploy = true;
    EXPECT_FALSE(
        DeploymentDetailView::offersRedeploy(open(KitService::vercel, Deployment::State::building, allowed)));
    EXPECT_TRUE(DeploymentDetailView::offersRedeploy(
        open(KitService::vercel, Deployment::State::ready, std::nullopt)));
    for (KitService s : {KitService::cloudflare, KitService::github, KitService::gitlab})
        EXPECT_FALSE(DeploymentDetailView::offersRedeploy(open(s, Deployment::State::failed, std::nullopt)));
    EXPECT_FALSE(DeploymentDetailView::offersRedeploy(
        open(KitService::vercel, Deployment::State::ready, DeploymentDetails {})));

    // Without an address there is no "Open in" link; the control still sits at the trailing edge.
    DeploymentDetailView page(open(KitService::gitlab, Deployment::State::failed, allowed), clock);
    layOut(page, 292, 206);
    EXPECT_FALSE(page.openButton()->isVisible());
    ASSERT_TRUE(page.redeployButton());
    EXPECT_EQ(page.redeployButton()->text(), "Retry");
    EXPECT_NEAR(page.redeployButton()->geometry().right(), page.width() - 1, 1);
}

TEST_F(DetailViewTest, TwoStepButtonArmsLapsesAndConfirms)
{
    DeploymentDetails allowed;
    allowed.canRedeploy = true;
    DeploymentDetailView page(open(KitService::github, Deployment::State::failed, allowed), clock);
    QSignalSpy redeploys(&page, &DeploymentDetailView::redeploy);
    layOut(page, 292, 206);

    test::click(page.redeployButton());
    // Unconfirmed for 4 s: back to the first title, nothing called.
    clock.advance(3.9);
    EXPECT_TRUE(page.isAskingToRedeploy());
    clock.advance(0.1);
    EXPECT_FALSE(page.isAskingToRedeploy());
    EXPECT_EQ(page.redeployButton()->text(), "Re-run failed");
    EXPECT_EQ(redeploys.count(), 0);

    // Two presses within 4 s: one redeploy, and the lapse of the first arming does nothing later.
    test::click(page.redeployButton());
    EXPECT_EQ(page.redeployButton()->text(), "Confirm re-run");
    clock.advance(2.0);
    test::click(page.redeployButton());
    EXPECT_EQ(redeploys.count(), 1);
    EXPECT_FALSE(page.isAskingToRedeploy());
    test::click(page.redeployButton());
    clock.advance(2.5);
    EXPECT_TRUE(page.isAskingToRedeploy()); // armed 2.5 s ago, the old lapse is void
    clock.advance(1.5);
    EXPECT_FALSE(page.isAskingToRedeploy());
}

TEST_F(DetailViewTest, RedeployProgressFromTheStore)
{
    DeploymentDetails allowed;
    allowed.canRedeploy = true;
    auto inspection = open(KitService::vercel, Deployment::State::ready, allowed);
    DeploymentDetailView page(inspection, clock);
    layOut(page, 292, 206);

    inspection.redeploy = DeploymentInspection::Redeploy::starting();
    page.setInspection(inspection);
    EXPECT_FALSE(page.redeployButton());
    ASSERT_TRUE(page.redeployNote());
    EXPECT_EQ(page.redeployNote()->text(), QString("Starting") + QChar(0x2026));

    inspection.redeploy = DeploymentInspection::Redeploy::failed("Vercel answered 500: Boom");
    page.setInspection(inspection);
    QApplication::processEvents();
    EXPECT_TRUE(page.failureMessage()->isVisible());
    EXPECT_EQ(static_cast<QLabel*>(page.failureMessage())->text(), "Vercel answered 500: Boom");
    ASSERT_TRUE(page.redeployButton());
    EXPECT_EQ(page.redeployButton()->text(), "Redeploy");

    inspection.redeploy = DeploymentInspection::Redeploy::started();
    page.setInspection(inspection);
    EXPECT_FALSE(page.failureMessage()->isVisible());
    EXPECT_EQ(page.redeployNote()->text(), "Redeploy started");
    EXPECT_EQ(page.redeployNote()->colour(), KitPalette::green());
}

TEST_F(DetailViewTest, AddressesOfOtherSchemesAreNotOpened)
{
    DeploymentDetails details;
    details.checks = {{"1", "evil", Deployment::State::ready, std::nullopt, QUrl("file:///etc/passwd")}};
    auto inspection = open(KitService::github, Deployment::State::ready, details);
    inspection.deployment.url = QUrl("javascript:alert(1)");
    DeploymentDetailView page(inspection, clock);
    layOut(page, 292, 206);
    test::click(page.openButton());
    test::click(page.findChild<KitRows*>()->row(0));
    EXPECT_TRUE(opened.isEmpty());
}

} // namespace
} // namespace brenvo
