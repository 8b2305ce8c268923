// The deployments card: its header, rows and faces as the store changes.
#include "CardStoreFixture.h"
#include "CardTestSupport.h"
#include "cards/DeploymentDetailView.h"
#include "cards/DeploymentsCard.h"
#include "cards/DevKitCardView.h"
#include "cards/KitCard.h"
#include "cards/KitDetailHeader.h"
#include "cards/KitFaceStack.h"
#include "cards/KitLine.h"
#include "cards/KitProjectPicker.h"
#include "cards/KitRows.h"
#include "cards/KitSymbols.h"
#include "cards/PaymentsCard.h"
#include "cards/UsageCard.h"

#include <QLabel>

namespace brenvo {
namespace {

using test::click;
using test::layOut;

class DeploymentsCardTest : public test::CardStoreTest { };

TEST_F(DeploymentsCardTest, EmptyToolsNameTheirSection)
{
    build();
    for (KitService s : {KitService::vercel, KitService::github, KitService::gitlab}) {
        connectWith(s, {});
        DeploymentsCard card(s, *kit, clock);
        const auto header = DeploymentsCard::header(s, *kit);
        EXPECT_EQ(header.title, s.section());
        EXPECT_EQ(header.detail, "Every 30s");
        auto* note = card.list()->content()->findChild<QLabel*>();
        ASSERT_TRUE(note);
        EXPECT_EQ(note->text(), QString("No %1 yet.").arg(s.section().toLower()));
        // Nothing to pick from: no chooser.
        EXPECT_FALSE(card.list()->header().choose);
    }
}

TEST_F(DeploymentsCardTest, OneProjectNamesItAndKeepsRowsShort)
{
    build();
    tool(KitService::vercel).icons.insert("docs", test::testImage(qRgb(1, 2, 3)));
    connectWith(KitService::vercel,
        {row("dpl_a", Deployment::State::ready, 300, "docs"),
            row("dpl_b", Deployment::State::failed, 900, "docs")});
    DeploymentsCard card(KitService::vercel, *kit, clock);
    layOut(card);
    const auto header = DeploymentsCard::header(KitService::vercel, *kit);
    EXPECT_EQ(header.title, "docs");
    EXPECT_EQ(header.detail, QString("Every 30s \u00B7 Deployments"));
    EXPECT_FALSE(header.spansProjects);
    EXPECT_TRUE(card.list()->plate()->hasImage());
    ASSERT_TRUE(card.rows());
    // Rows do not repeat the project.
    const QStringList texts = test::shownTexts(*card.rows());
    EXPECT_TRUE(texts.contains("Change dpl_a") && texts.contains("Failed"));
    EXPECT_FALSE(texts.contains("docs"));
}

TEST_F(DeploymentsCardTest, SeveralProjectsAreCountedAndNamedOnEachRow)
{
    build();
    const QList<Deployment> rows = {row("1", Deployment::State::ready, 60, "web"),
        row("2", Deployment::State::ready, 120, "docs"), row("3", Deployment::State::building, 180, "api"),
        row("4", Deployment::State::ready, 240, "web")};
    connectWith(KitService::vercel, rows);
    auto header = DeploymentsCard::header(KitService::vercel, *kit);
    EXPECT_EQ(header.title, "Deployments");
    EXPECT_TRUE(header.detail.endsWith(QString("\u00B7 3 projects")));
    EXPECT_TRUE(header.spansProjects);
    Deployment withBranch = rows[0];
    withBranch.branch = "main";
    EXPECT_EQ(DeploymentsCard::secondLine(withBranch, true), QString("web \u00B7 main"));
    EXPECT_EQ(DeploymentsCard::secondLine(withBranch, false), "main");
    withBranch.message.clear(); // an empty message shows the short ID
    EXPECT_EQ(DeploymentsCard::rowTitle(withBranch), "1");

    // GitHub counts repositories; its rows read Passed and Running.
    connectWith(KitService::github, rows);
    header = DeploymentsCard::header(KitService::github, *kit);
    EXPECT_EQ(header.title, "Checks");
    EXPECT_TRUE(header.detail.endsWith(QString("\u00B7 3 repositories")));
    DeploymentsCard card(KitService::github, *kit, clock);
    layOut(card);
    const QStringList texts = test::shownTexts(*card.rows());
    EXPECT_TRUE(texts.contains("Passed") && texts.contains("Running") && texts.contains("web"));
}

TEST_F(DeploymentsCardTest, ListedProjectsOfferAChoiceAndNameThePick)
{
    build();
    auto& github = tool(KitService::github);
    github.accountName = "acme";
    github.avatar = test::testImage(qRgb(9, 9, 9));
    github.projectList = {{"acme/site", "acme/site"}, {"///", "///"}};
    connectWith(KitService::github, {row("1", Deployment::State::ready, 60, "acme/site")});
    ASSERT_FALSE(kit->projects(KitService::github).isEmpty());

    DeploymentsCard card(KitService::github, *kit, clock);
    layOut(card);
    auto header = DeploymentsCard::header(KitService::github, *kit);
    EXPECT_EQ(header.title, "acme");
    EXPECT_TRUE(header.detail.endsWith(QString("\u00B7 All repositories")));
    ASSERT_TRUE(card.list()->header().choose);
    EXPECT_TRUE(card.list()->chevron()->isVisible());

    kit->select(KitProject {"acme/site", "acme/site"}, KitService::github);
    header = DeploymentsCard::header(KitService::github, *kit);
    EXPECT_EQ(header.detail, QString("Every 30s \u00B7 Checks"));
    EXPECT_EQ(card.list()->titleLine()->text(), "site");

    // A name made only of slashes shows whole.
    kit->select(KitProject {"///", "///"}, KitService::github);
    EXPECT_EQ(DeploymentsCard::header(KitService::github, *kit).title, "///");

    // A change of interval shows at once.
    kit->setCheckInterval(120, KitService::github);
    EXPECT_EQ(card.list()->detailLine()->text(), QString("Every 2m \u00B7 Checks"));
}

TEST_F(DeploymentsCardTest, FacesFollowTheStore)
{
    build(true);
    DeploymentsCard card(KitService::github, *kit, clock);
    layOut(card);
    ASSERT_EQ(card.face(), KitFacedCard::Face::list);
    ASSERT_EQ(card.rows()->count(), 3);

    // A row opens its page.
    click(card.rows()->row(2));
    ASSERT_TRUE(kit->inspection());
    EXPECT_EQ(kit->inspection()->deployment.id, "dpl_3");
    ASSERT_EQ(card.face(), KitFacedCard::Face::detail);
    card.faces()->finishTransition();
    EXPECT_EQ(card.detailView()->header()->titleLine()->text(), "Fix broken anchor links");

    // Back to the list.
    click(card.detailView()->header()->backButton());
    EXPECT_FALSE(kit->inspection());
    EXPECT_EQ(card.face(), KitFacedCard::Face::list);

    // The picker of this tool, then a choice closes it.
    card.faces()->finishTransition();
    click(card.list()->headerButton());
    ASSERT_EQ(kit->picking(), KitService::github);
    ASSERT_EQ(card.face(), KitFacedCard::Face::picker);
    const auto buttons = card.picker()->rowButtons();
    ASSERT_EQ(buttons.size(), 4); // All repositories and the three sample projects
    click(buttons[1]);
    EXPECT_FALSE(kit->picking());
    EXPECT_EQ(card.face(), KitFacedCard::Face::list);
    EXPECT_EQ(card.rows()->count(), 1);
}

TEST_F(DeploymentsCardTest, AnotherToolsRowNeverOpensHere)
{
    build(true);
    DeploymentsCard card(KitService::vercel, *kit, clock);
    kit->inspect(kit->deployments(KitService::github).first(), KitService::github);
    EXPECT_EQ(card.face(), KitFacedCard::Face::list);
    EXPECT_FALSE(card.inspection());
    kit->pickProject(KitService::github);
    EXPECT_EQ(card.face(), KitFacedCard::Face::list);
}

TEST_F(DeploymentsCardTest, OpenPageIsUpdatedInPlaceAndRebuiltForANewRow)
{
    build(true);
    DeploymentsCard card(KitService::vercel, *kit, clock);
    layOut(card);
    const Deployment ready = kit->deployments(KitService::vercel)[1];
    kit->inspect(ready, KitService::vercel);
    clock.runPending();
    DeploymentDetailView* page = card.detailView();
    ASSERT_TRUE(page);
    card.faces()->finishTransition();
    ASSERT_TRUE(page->redeployButton());
    EXPECT_EQ(page->inspection().details, kit->inspection()->details);
    page->askToRedeploy();
    // A change of the same row's inspection keeps the page and its armed flag.
    finish(kit->redeploy());
    EXPECT_EQ(card.detailView(), page);
    EXPECT_TRUE(page->isAskingToRedeploy());
    EXPECT_EQ(page->inspection().redeploy.kind(), DeploymentInspection::Redeploy::Kind::started);

    // Another row makes a new, unarmed page.
    kit->inspect(kit->deployments(KitService::vercel)[2], KitService::vercel);
    ASSERT_NE(card.detailView(), page);
    EXPECT_FALSE(card.detailView()->isAskingToRedeploy());

    // The confirming press starts the store's redeploy (sample data: started at once).
    card.faces()->finishTransition();
    ASSERT_EQ(kit->inspection()->redeploy.kind(), DeploymentInspection::Redeploy::Kind::idle);
    card.detailView()->askToRedeploy();
    card.detailView()->confirmRedeploy();
    clock.runPending();
    ASSERT_TRUE(kit->inspection());
    EXPECT_EQ(kit->inspection()->redeploy.kind(), DeploymentInspection::Redeploy::Kind::started);
    ASSERT_TRUE(card.detailView()->redeployNote());
    EXPECT_EQ(card.detailView()->redeployNote()->text(), "Redeploy started");
}

TEST_F(DeploymentsCardTest, SwitcherPicksTheCardOfTheGroup)
{
    build(true);
    EXPECT_TRUE(qobject_cast<DeploymentsCard*>(DevKitCardView(KitService::gitlab, *kit, clock).card()));
    EXPECT_TRUE(qobject_cast<PaymentsCard*>(DevKitCardView(KitService::polar, *kit, clock).card()));
    EXPECT_TRUE(qobject_cast<UsageCard*>(DevKitCardView(KitService::codex, *kit, clock).card()));
}

} // namespace
} // namespace brenvo
