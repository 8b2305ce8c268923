// The settings window's pages and sidebar, the About page and the first-run window.
#include "SettingsFixture.h"
#include "settings/AboutSettingsView.h"
#include "settings/GeneralSettingsView.h"
#include "settings/OnboardingView.h"
#include "settings/OnboardingWindowController.h"
#include "settings/ServiceSettingsView.h"
#include "settings/SettingsView.h"

#include <QCheckBox>
#include <QLabel>
#include <QLayout>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>

using namespace brenvo;
using namespace brenvo::test;

namespace {

class WindowsTest : public SettingsFixture { };

} // namespace

TEST_F(WindowsTest, TheSidebarListsGeneralEveryToolInOrderAndAbout)
{
    SettingsView view(context());
    ASSERT_EQ(view.sidebar()->count(), KitService::count + 2);
    EXPECT_EQ(view.sidebar()->item(0)->text(), "General");
    for (KitService service : KitService::allCases()) {
        EXPECT_EQ(view.sidebar()->item(1 + service.index())->text(), service.displayName());
        EXPECT_EQ(view.servicePage(service)->service(), service);
    }
    EXPECT_EQ(view.sidebar()->item(KitService::count + 1)->text(), "About");
    EXPECT_EQ(view.windowTitle(), "Brenvo Settings");
}

TEST_F(WindowsTest, ThePageFollowsTheOwnerAndTheUsersPickIsReported)
{
    SettingsView view(context());
    QSignalSpy chosen(&view, &SettingsView::pageChosen);
    EXPECT_EQ(view.page(), SettingsPage::general());

    view.showPage(SettingsPage::service(KitService::polar));
    EXPECT_EQ(view.sidebar()->currentItem()->text(), "Polar");
    EXPECT_EQ(chosen.count(), 0); // only the user's picks are reported

    view.sidebar()->setCurrentRow(1 + KitService::codex);
    ASSERT_EQ(chosen.count(), 1);
    EXPECT_EQ(chosen.at(0).at(0).value<SettingsPage>(), SettingsPage::service(KitService::codex));

    view.showPage(SettingsPage::ai()); // a page this window does not have
    EXPECT_EQ(view.page(), SettingsPage::general());
    view.present();
    EXPECT_EQ(view.layout()->menuBar(), view.menuBar()); // for the owner's menu commands
    EXPECT_TRUE(view.isVisible());
}

TEST_F(WindowsTest, AboutShowsTheVersionAndASafeSupportLink)
{
    auto c = context();
    {
        AboutSettingsView about(c);
        EXPECT_EQ(about.versionLabel()->text(), "Version 1.4 (27)");
        ASSERT_NE(about.supportButton(), nullptr);
        about.supportButton()->click();
        ASSERT_EQ(opened.size(), 1);
        EXPECT_EQ(opened.first().toString(), "mailto:help@example.com");
    }
    c.config.supportEmail.clear();
    EXPECT_EQ(AboutSettingsView(c).supportButton(), nullptr);
    // An address that would add headers or a body to the message is not offered.
    EXPECT_TRUE(AboutSettingsView::supportUrl(QStringLiteral("help@example.com?bcc=x@y.z")).isEmpty());
    EXPECT_TRUE(AboutSettingsView::supportUrl(QStringLiteral("not an address")).isEmpty());
    c.config.version.clear();
    EXPECT_EQ(AboutSettingsView::versionText(c.config), "Build 27");
}

TEST_F(WindowsTest, OnboardingIsBuiltOnceAndFinishingKeepsItAway)
{
    OnboardingWindowController onboarding;
    EXPECT_EQ(onboarding.window(), nullptr);
    onboarding.show(context());
    OnboardingView* first = onboarding.window();
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->isVisible());
    onboarding.show(context());
    EXPECT_EQ(onboarding.window(), first);

    first->settingsButton()->click();
    EXPECT_EQ(settingsOpened, 1);
    first->loginBox()->click();
    EXPECT_TRUE(loginItem->isEnabled());

    // Closing without finishing leaves it for the next launch.
    first->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(onboarding.window(), nullptr);
    EXPECT_FALSE(preferences.hasCompletedOnboarding());

    onboarding.show(context());
    QSignalSpy finished(&onboarding, &OnboardingWindowController::finished);
    onboarding.window()->finishButton()->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(preferences.hasCompletedOnboarding());
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(onboarding.window(), nullptr);
}
