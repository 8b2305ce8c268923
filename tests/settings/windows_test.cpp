// The settings window's pages and sidebar, the About page and the first-run window.
#include "SettingsFixture.h"
#include "cards/ButtonStyles.h"
#include "cards/ServiceTile.h"
#include "cards/WindowPieces.h"
#include "settings/AboutSettingsView.h"
#include "settings/GeneralSettingsView.h"
#include "settings/OnboardingView.h"
#include "settings/OnboardingWindowController.h"
#include "settings/ServiceSettingsView.h"
#include "settings/SettingsView.h"

#include <QCheckBox>
#include <QGraphicsDropShadowEffect>
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

TEST_F(WindowsTest, EachToolShowsItsTileInTheSidebarTheGeneralSwitchesAndAtTheHeadOfItsPage)
{
    SettingsView view(context());
    EXPECT_EQ(view.sidebar()->iconSize(), QSize(22, 22));
    QList<ServiceTile*> switchTiles = view.generalPage()->findChildren<ServiceTile*>();
    ASSERT_EQ(switchTiles.size(), KitService::count);
    for (KitService service : KitService::allCases()) {
        const ServiceTile* head = view.servicePage(service)->tile();
        ASSERT_NE(head, nullptr);
        EXPECT_TRUE(head->service() == service && head->size() == 40);
        EXPECT_TRUE(switchTiles.at(service.index())->service() == service
            && switchTiles.at(service.index())->size() == 24);
        // The sidebar row's tile: the tool's ground beside the logo, not a bare logo.
        const QImage row = view.sidebar()->item(1 + service.index())->icon().pixmap(22, 22).toImage();
        ASSERT_FALSE(row.isNull());
        const QColor ground = row.pixelColor(row.width() * 2 / 22, row.height() / 2);
        const QColor expected = ServiceTile::color(service);
        EXPECT_LT(std::abs(ground.red() - expected.red()) + std::abs(ground.green() - expected.green())
                + std::abs(ground.blue() - expected.blue()),
            12)
            << service.rawValue().toStdString();
        EXPECT_EQ(ground.alpha(), 255);
    }
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

    // The application's icon stands beside its name.
    AboutSettingsView about(c);
    about.resize(600, 400);
    about.show();
    ASSERT_NE(about.iconView(), nullptr);
    const QRect icon = about.iconView()->geometry();
    const QRect name = about.nameLabel()->geometry();
    EXPECT_EQ(about.nameLabel()->text(), "Brenvo");
    EXPECT_TRUE(icon.isValid() && icon.right() < name.left());
    EXPECT_TRUE(icon.top() < name.bottom() && name.top() < icon.bottom());
}

TEST_F(WindowsTest, OnboardingLaysTheWashBehindItsContentAndStylesItsButtons)
{
    OnboardingWindowController onboarding;
    onboarding.show(context());
    OnboardingView* window = onboarding.window();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->finishButton()->text(), "Finish");
    EXPECT_EQ(window->finishButton()->style(), PrimaryButtonStyle::shared());
    EXPECT_EQ(window->settingsButton()->style(), SecondaryButtonStyle::shared());
    EXPECT_NE(qobject_cast<QGraphicsDropShadowEffect*>(window->iconView()->graphicsEffect()), nullptr);

    // The wash covers the whole window, under everything else.
    ASSERT_NE(window->wash(), nullptr);
    EXPECT_EQ(window->wash()->geometry(), window->rect());
    window->resize(window->width(), window->height() + 40);
    EXPECT_EQ(window->wash()->geometry(), window->rect());
    EXPECT_EQ(window->childAt(QPoint(4, 4)), nullptr); // the wash lets clicks through
    const QImage shot = window->grab().toImage();
    const QColor corner = shot.pixelColor(shot.width() - 2, shot.height() - 2);
    EXPECT_EQ(corner, QColor(Qt::white)); // the wash's ground at the bottom
    const QColor top = shot.pixelColor(shot.width() / 2, 1);
    EXPECT_TRUE(top.blue() > top.red() + 30) << top.name().toStdString(); // its blue at the top
    // Its text is dark on the pale ground whatever the desktop's scheme.
    EXPECT_LT(window->pitchLabel()->palette().color(QPalette::WindowText).lightnessF(), 0.3);
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
