// The tool pages and the General page driven like a user would, against a real tool store over
// fake tools and the real panel on a fake window: what the pages write, and what the panel does.
#include "SettingsFixture.h"
#include "edge/EdgeLayout.h"
#include "model/KitText.h"
#include "settings/GeneralSettingsView.h"
#include "settings/KeyGuide.h"
#include "settings/ServiceSettingsView.h"
#include "settings/SettingsView.h"
#include "settings/ShortcutRecorder.h"
#include "support/MessageRecorder.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QVBoxLayout>

using namespace brenvo;
using namespace brenvo::test;

namespace {

const QString token = QStringLiteral("test-token-not-real");

class PagesTest : public SettingsFixture {
protected:
    std::unique_ptr<ServiceSettingsView> page(KitService service)
    {
        return std::make_unique<ServiceSettingsView>(service, context());
    }
    void submit(ServiceSettingsView& view, const QString& key)
    {
        view.keyField()->setText(key);
        view.connectButton()->click();
    }
};

} // namespace

TEST_F(PagesTest, ConnectingStoresTheTokenLightsTheTileAndDisconnectingUndoesIt)
{
    installPanel();
    auto view = page(KitService::github);
    EXPECT_EQ(view->keyField()->echoMode(), QLineEdit::Password);
    EXPECT_FALSE(view->connectButton()->isEnabled()); // nothing typed

    MessageRecorder log;
    github->hold(QStringLiteral("account"));
    submit(*view, QStringLiteral("  ") + token + QStringLiteral(" "));
    // While the tool answers: one attempt at a time, and the token is not stored yet.
    EXPECT_TRUE(view->isBusy());
    EXPECT_FALSE(view->connectButton()->isEnabled());
    EXPECT_EQ(view->statusLabel()->text(), QStringLiteral("Connecting") + QChar(0x2026));
    view->connectButton()->click();
    EXPECT_EQ(github->count(QStringLiteral("account")), 1);
    EXPECT_FALSE(secrets.items.contains(QStringLiteral("kit.github")));

    github->release(QStringLiteral("account"));
    scheduler.runPending();
    EXPECT_EQ(secrets.items.value(QStringLiteral("kit.github")), token); // trimmed
    EXPECT_TRUE(view->keyField()->text().isEmpty());
    EXPECT_EQ(view->statusLabel()->text(), "Connected as robin.");
    EXPECT_NE(content->tile(KitService::github).signal, KitSignal::disconnected);
    EXPECT_FALSE(log.all().contains(token));

    view->disconnectButton()->click();
    EXPECT_FALSE(secrets.items.contains(QStringLiteral("kit.github")));
    EXPECT_EQ(view->statusLabel()->text(), "Not connected.");
    EXPECT_EQ(content->tile(KitService::github).signal, KitSignal::disconnected);
}

TEST_F(PagesTest, ARefusedOrFailingTokenShowsTheStoresSentenceAndStoresNothing)
{
    auto view = page(KitService::vercel);
    vercel->accountError = std::make_exception_ptr(ServiceFailure::rejected());
    submit(*view, token);
    scheduler.runPending();
    EXPECT_EQ(view->statusLabel()->text(), "Vercel did not accept the token.");
    EXPECT_TRUE(secrets.items.isEmpty());
    EXPECT_EQ(view->keyField()->text(), token); // kept to correct
    EXPECT_TRUE(view->disconnectButton()->isEnabled()); // the refusal can be cleared

    vercel->accountError = nullptr;
    vercel->rowsError = std::make_exception_ptr(ServiceFailure::refused(503, QStringLiteral("Try later")));
    view->connectButton()->click();
    scheduler.runPending();
    EXPECT_EQ(view->statusLabel()->text(), "Vercel answered 503: Try later");
    EXPECT_TRUE(secrets.items.isEmpty());
}

TEST_F(PagesTest, ATokenTheKeyringCouldNotTakeYetIsSaidHeldWhereItWasGivenUntilItIsSaved)
{
    auto view = page(KitService::github);
    secrets.refuseWrites = true; // locked since launch
    secrets.holdsRefused = true;
    submit(*view, token);
    scheduler.runPending();
    EXPECT_EQ(view->statusLabel()->text(), "Connected as robin. " + heldText(KitService::github));
    secrets.saveHeld(); // unlocked: the graph tells the store
    Q_EMIT kit->heldSecretsChanged();
    EXPECT_EQ(view->statusLabel()->text(), "Connected as robin.");
}

TEST_F(PagesTest, APageClosedWhileTheToolAnswersLeavesTheStoreToFinish)
{
    auto view = page(KitService::github);
    github->hold(QStringLiteral("account"));
    submit(*view, token);
    view.reset();
    github->release(QStringLiteral("account"));
    scheduler.runPending();
    EXPECT_EQ(secrets.items.value(QStringLiteral("kit.github")), token);
    EXPECT_TRUE(kit->connection(KitService::github).isConnected());
}

TEST_F(PagesTest, ShowOnPanelAndTheIntervalGoThroughTheStore)
{
    installPanel();
    auto view = page(KitService::vercel);
    preferences.setEnabledServices({KitService::github});
    EXPECT_FALSE(view->showOnPanel()->isChecked()); // follows the store

    // A connected tool that is not enabled stays off the panel until it is shown.
    submit(*view, token);
    scheduler.runPending();
    EXPECT_TRUE(kit->connection(KitService::vercel).isConnected());
    EXPECT_FALSE(onStrip(KitService::vercel));
    view->showOnPanel()->click();
    EXPECT_TRUE(onStrip(KitService::vercel));
    view->showOnPanel()->click();
    EXPECT_FALSE(onStrip(KitService::vercel));

    // Choices are worded by durationText; a stored value off the list stays choosable.
    kit->setCheckInterval(45, KitService::vercel);
    EXPECT_EQ(view->intervalBox()->currentText(), "45 seconds");
    const int fiveMinutes = view->intervalBox()->findText(QStringLiteral("5 minutes"));
    ASSERT_GE(fiveMinutes, 0);
    choose(view->intervalBox(), fiveMinutes);
    EXPECT_EQ(preferences.checkInterval(KitService::vercel), 300);
    EXPECT_EQ(intervalChoices(KitService::claude, 600).first(), 120); // the probe is never asked sooner
}

TEST_F(PagesTest, ProjectsListedByTheToolCanBePicked)
{
    auto view = page(KitService::github);
    EXPECT_TRUE(view->projectBox()->isHidden()); // nothing listed before connecting
    github->projectList = {{QStringLiteral("me/web"), QStringLiteral("me/web")},
        {QStringLiteral("me/api"), QStringLiteral("me/api")}};
    submit(*view, token);
    scheduler.runPending();
    ASSERT_EQ(view->projectBox()->count(), 3);
    EXPECT_EQ(view->projectBox()->itemText(0), "All repositories");
    choose(view->projectBox(), 2);
    EXPECT_EQ(preferences.selectedProjects().value(QStringLiteral("github")), "me/api");
    choose(view->projectBox(), 0);
    EXPECT_FALSE(preferences.selectedProjects().contains(QStringLiteral("github")));
}

TEST_F(PagesTest, TheProjectBoxFitsItsLongestItemEvenWhenItWasFirstShownEmpty)
{
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* view = new ServiceSettingsView(KitService::github, context());
    layout->addWidget(view);
    window.show();
    // Listed while the page is on screen, then listed again with other names.
    github->projectList = {{QStringLiteral("a/b"), QStringLiteral("a/b")}};
    submit(*view, token);
    scheduler.runPending();
    QComboBox* box = view->projectBox();
    ASSERT_EQ(box->count(), 2);
    ASSERT_TRUE(box->isVisible());
    const auto fits = [box](const QString& text) {
        return box->sizeHint().width() >= box->fontMetrics().horizontalAdvance(text) + 16;
    };
    EXPECT_TRUE(fits(QStringLiteral("All repositories"))) << box->sizeHint().width();
    github->projectList.append({QStringLiteral("me/a-much-longer-repository-name"),
        QStringLiteral("me/a-much-longer-repository-name")});
    view->disconnectButton()->click();
    EXPECT_TRUE(box->isHidden());
    submit(*view, token);
    scheduler.runPending();
    ASSERT_EQ(box->count(), 3);
    EXPECT_TRUE(fits(QStringLiteral("me/a-much-longer-repository-name"))) << box->sizeHint().width();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    EXPECT_GE(box->width(), box->fontMetrics().horizontalAdvance(QStringLiteral("All repositories")));
}

TEST_F(PagesTest, PaymentAccountsAreAddedWithTheirFailuresShownAndRemoved)
{
    auto view = page(KitService::stripe);
    EXPECT_TRUE(view->removeButtons().isEmpty());
    stripe->accountErrors.insert(
        QStringLiteral("bad-key-not-real"), std::make_exception_ptr(ServiceFailure::rejected()));
    submit(*view, QStringLiteral("bad-key-not-real"));
    scheduler.runPending();
    EXPECT_EQ(view->keyStateLabel()->text(), "Stripe did not accept the key.");
    EXPECT_EQ(view->keyField()->text(), "bad-key-not-real");
    EXPECT_TRUE(secrets.items.isEmpty());

    PaymentAccountInfo acme;
    acme.name = QStringLiteral("Acme");
    stripe->infos.insert(token, acme);
    submit(*view, token);
    scheduler.runPending();
    EXPECT_TRUE(view->keyField()->text().isEmpty());
    EXPECT_TRUE(view->keyStateLabel()->isHidden()); // the earlier failure is gone
    ASSERT_EQ(view->accountLabels().size(), 1);
    EXPECT_EQ(view->accountLabels().first()->text(), QStringLiteral("Acme \u2014 Connected."));

    view->removeButtons().first()->click(); // the row goes while its own button is being clicked
    scheduler.runPending();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(preferences.paymentAccounts().value(QStringLiteral("stripe")).isEmpty());
    EXPECT_TRUE(secrets.items.isEmpty());
    EXPECT_TRUE(view->removeButtons().isEmpty());
}

TEST_F(PagesTest, UsageToolsConnectAnAdminKeyAndTheirPlanLimitsApart)
{
    auto view = page(KitService::claude);
    claudeSpend->error = std::make_exception_ptr(ServiceFailure::rejected());
    submit(*view, token);
    scheduler.runPending();
    EXPECT_EQ(view->keyStateLabel()->text(), "Claude did not accept the key.");
    EXPECT_TRUE(secrets.items.isEmpty());

    claudeSpend->error = nullptr;
    submit(*view, token);
    scheduler.runPending();
    EXPECT_EQ(secrets.items.value(QStringLiteral("kit.claude")), token);
    EXPECT_EQ(view->keyStateLabel()->text(), "Connected.");

    ASSERT_NE(view->planButton(), nullptr);
    EXPECT_EQ(view->planStateLabel()->text(), "Not connected.");
    view->planButton()->click();
    scheduler.runPending();
    EXPECT_EQ(claudeUsage->connects, 1);
    EXPECT_EQ(view->planButton()->text(), "Disconnect");
    view->planButton()->click();
    EXPECT_EQ(claudeUsage->disconnects, 1);

    view->disconnectButton()->click(); // Remove the admin key
    EXPECT_FALSE(secrets.items.contains(QStringLiteral("kit.claude")));

    planLimits = false; // no local reader: no plan-limits controls
    EXPECT_EQ(page(KitService::claude)->planButton(), nullptr);
}

TEST_F(PagesTest, SampleDataLeavesNothingToConnect)
{
    kit = std::make_unique<DevKitStore>(preferences, secrets, scheduler, true, DevKitStore::Sources {});
    auto view = page(KitService::github);
    view->keyField()->setText(token);
    EXPECT_FALSE(view->connectButton()->isEnabled());
    EXPECT_FALSE(view->disconnectButton()->isEnabled());
    EXPECT_EQ(view->statusLabel()->text(), "Connected as demo.");
}

TEST_F(PagesTest, GuidesLinkToEachToolsOwnSecurePage)
{
    for (KitService service : KitService::allCases())
        EXPECT_EQ(KeyGuide::forService(service).link.scheme(), "https") << service.rawValue().toStdString();
    auto view = page(KitService::gitlab);
    view->guideLinkButton()->click();
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened.first(), KeyGuide::forService(KitService::gitlab).link);
    // The write permissions named by the tools' refusals are named in their guides.
    EXPECT_TRUE(
        KeyGuide::forService(KitService::github).steps.join(' ').contains("Actions to Read and write"));
    EXPECT_TRUE(KeyGuide::forService(KitService::gitlab).steps.join(' ').contains("api scope"));
    EXPECT_TRUE(KeyGuide::forService(KitService::cloudflare)
                    .steps.join(' ')
                    .contains("Workers Builds Configuration to Edit"));
}

TEST_F(PagesTest, SideDisplayTriggerAndLimitMoveThePanel)
{
    installPanel();
    GeneralSettingsView general(context());
    EXPECT_EQ(frame().right(), 1919); // right edge of the first screen

    choose(general.sideBox(), 1);
    EXPECT_EQ(window.side, EdgeSide::left);
    EXPECT_EQ(frame().left(), 0);

    ASSERT_EQ(general.displayBox()->count(), 3); // first display, Desk, Projector
    choose(general.displayBox(), 2);
    EXPECT_EQ(preferences.edgeDisplay(), displays.at(1));
    EXPECT_EQ(frame().left(), 1920); // the projector's left edge
    // Unplugged, the chosen display stays chosen and listed.
    displays.removeLast();
    general.reloadDisplays();
    EXPECT_EQ(general.displayBox()->currentText(), "Projector (not connected)");
    EXPECT_EQ(preferences.edgeDisplay(), (EdgeDisplay {QStringLiteral("B"), QStringLiteral("Projector")}));
    choose(general.displayBox(), 0);
    EXPECT_EQ(preferences.edgeDisplay(), std::nullopt);
    EXPECT_EQ(frame().left(), 0);

    // With the click trigger, pointing at a tile opens nothing; back on hover, it does.
    const auto pointAt = [this](int slot) {
        const EdgeLayout layout = EdgeMetrics::layout(
            frame().size(), static_cast<int>(edge->stripItems().size()), preferences.edgeSide());
        edge->handlePointer(QPointF(22, layout.slotCenterY(slot)), QSizeF(frame().size()));
    };
    choose(general.triggerBox(), 1);
    EXPECT_EQ(preferences.edgeTrigger(), EdgeTrigger::click);
    pointAt(0);
    scheduler.advance(1.0);
    EXPECT_EQ(edge->openService(), std::nullopt);
    choose(general.triggerBox(), 0);
    pointAt(1);
    scheduler.advance(0.15);
    EXPECT_EQ(edge->openService(), KitService::github);
    edge->closeCard();
    scheduler.runPending();

    general.limitBox()->setValue(2);
    EXPECT_EQ(edge->stripItems().size(), 4); // two tools, settings, more
    general.limitBox()->setValue(0);
    EXPECT_EQ(general.limitBox()->text(), "No limit");
    EXPECT_EQ(edge->stripItems().size(), 5);

    // Changes made elsewhere show at once, and a stored limit beyond the box is kept.
    preferences.setEdgeSide(EdgeSide::right);
    preferences.setPanelLimit(20);
    EXPECT_EQ(general.sideBox()->currentIndex(), 0);
    EXPECT_EQ(general.limitBox()->value(), 8);
    EXPECT_EQ(preferences.panelLimit(), 20);
}

TEST_F(PagesTest, TheGeneralToolSwitchesAndEachToolsShowOnPanelAreOneSetting)
{
    installPanel();
    GeneralSettingsView general(context());
    auto view = page(KitService::github);
    preferences.setEnabledServices({KitService::vercel, KitService::github});
    for (KitService service : KitService::allCases())
        EXPECT_EQ(general.toolSwitch(service)->isChecked(),
            service == KitService::vercel || service == KitService::github);
    EXPECT_EQ(general.toolSwitch(KitService::github)->text(), "GitHub");

    general.toolSwitch(KitService::github)->click();
    EXPECT_EQ(preferences.enabledServices(), QSet<KitService> {KitService::vercel});
    EXPECT_FALSE(view->showOnPanel()->isChecked());
    EXPECT_FALSE(onStrip(KitService::github));

    view->showOnPanel()->click();
    EXPECT_TRUE(general.toolSwitch(KitService::github)->isChecked());
    general.toolSwitch(KitService::polar)->click();
    EXPECT_EQ(preferences.enabledServices(),
        (QSet<KitService> {KitService::vercel, KitService::github, KitService::polar}));
    EXPECT_TRUE(page(KitService::polar)->showOnPanel()->isChecked());
    EXPECT_TRUE(onStrip(KitService::polar));
}

TEST_F(PagesTest, LaunchAtLoginFollowsTheEntryAndSpringsBack)
{
    GeneralSettingsView general(context());
    EXPECT_FALSE(general.loginBox()->isChecked());
    general.loginBox()->click();
    EXPECT_TRUE(loginItem->isEnabled());
    EXPECT_TRUE(QFile::exists(loginItem->entryPath()));
    general.loginBox()->click();
    EXPECT_FALSE(QFile::exists(loginItem->entryPath()));

    // The folder cannot be made: the switch goes back off.
    ASSERT_TRUE(QDir(home.filePath(QStringLiteral("autostart"))).removeRecursively());
    QFile blocker(home.filePath(QStringLiteral("autostart")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    general.loginBox()->click();
    EXPECT_FALSE(loginItem->isEnabled());
    EXPECT_FALSE(general.loginBox()->isChecked());
}

TEST_F(PagesTest, TheRecorderSetsTheShortcutOnlyThroughTheSetterAndReportsATakenOne)
{
    GeneralSettingsView general(context());
    ShortcutRecorder& recorder = *general.recorder();
    EXPECT_EQ(recorder.recordButton()->text(), "Alt+Shift+Space"); // the desktop's words

    shortcutFree = false;
    recorder.startRecording();
    EXPECT_EQ(suspends, 1); // the old shortcut cannot fire while a new one is typed
    auto taken = keyPress(40, Qt::Key_K, Qt::ControlModifier | Qt::AltModifier);
    QCoreApplication::sendEvent(recorder.recordButton(), &taken);
    const HotKey controlOptionK {40, HotKey::control | HotKey::option};
    ASSERT_EQ(shortcutsSet.size(), 1u);
    EXPECT_EQ(shortcutsSet.back(), controlOptionK);
    EXPECT_EQ(recorder.note(), "Ctrl+Alt+K is taken. Try another combination.");
    EXPECT_EQ(preferences.hotKey(), HotKey::defaultShortcut());
    EXPECT_EQ(resumes, 1);

    shortcutFree = true;
    recorder.startRecording();
    QCoreApplication::sendEvent(recorder.recordButton(), &taken);
    EXPECT_EQ(preferences.hotKey(), controlOptionK);
    EXPECT_TRUE(recorder.note().isEmpty());

    recorder.clearButton()->click();
    EXPECT_EQ(shortcutsSet.back(), std::nullopt);
    EXPECT_EQ(recorder.recordButton()->text(), "None");
}

TEST_F(PagesTest, TheRecordersNotesHaveRoomForTheirLinesAtEveryWindowWidth)
{
    SettingsView window(context());
    window.showPage(SettingsPage::general());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ShortcutRecorder& recorder = *window.generalPage()->recorder();
    const QLabel& note = *recorder.noteLabel();
    // What the note's text needs at the note's width, measured apart from it.
    auto needed = [&]() {
        QLabel probe(note.text());
        probe.setWordWrap(true);
        probe.setFont(note.font());
        return probe.heightForWidth(note.width());
    };
    auto fits = [&](const char* what) {
        for (const int width : {640, 760, 900, 1400}) {
            window.resize(width, 560);
            QTest::qWait(20);
            EXPECT_GE(note.height(), needed()) << what << " at " << width;
            EXPECT_LE(note.geometry().bottom(), recorder.rect().bottom()) << what << " at " << width;
        }
    };

    shortcutFree = false;
    recorder.startRecording();
    auto taken = keyPress(49, Qt::Key_Space, Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier);
    QCoreApplication::sendEvent(recorder.recordButton(), &taken);
    ASSERT_EQ(recorder.note(), "Ctrl+Alt+Shift+Space is taken. Try another combination.");
    ASSERT_GT(needed(), note.fontMetrics().lineSpacing()); // two lines
    fits("taken");

    // A shorter note gives the room back.
    recorder.startRecording();
    auto bare = keyPress(40, Qt::Key_K, Qt::ShiftModifier);
    QCoreApplication::sendEvent(recorder.recordButton(), &bare);
    ASSERT_EQ(recorder.note(), "Add Ctrl, Alt or Super to the key.");
    fits("bare");
    EXPECT_LT(note.height(), 2 * note.fontMetrics().lineSpacing());
}

TEST_F(PagesTest, TheRecorderIgnoresBareKeysAndCancelsOnEscapeOrLeaving)
{
    GeneralSettingsView general(context());
    ShortcutRecorder& recorder = *general.recorder();
    recorder.startRecording();
    auto shiftOnly = keyPress(56, Qt::Key_Shift, Qt::ShiftModifier);
    auto bare = keyPress(40, Qt::Key_K, Qt::ShiftModifier);
    QCoreApplication::sendEvent(recorder.recordButton(), &shiftOnly);
    QCoreApplication::sendEvent(recorder.recordButton(), &bare);
    EXPECT_TRUE(shortcutsSet.empty());
    EXPECT_TRUE(recorder.isRecording());
    EXPECT_EQ(recorder.note(), "Add Ctrl, Alt or Super to the key.");

    auto escape = keyPress(53, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(recorder.recordButton(), &escape);
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_EQ(resumes, 1);

    // A function key may stand alone.
    recorder.startRecording();
    auto f5 = keyPress(96, Qt::Key_F5, Qt::NoModifier);
    QCoreApplication::sendEvent(recorder.recordButton(), &f5);
    EXPECT_EQ(preferences.hotKey(), (HotKey {96, 0}));

    // Leaving the window mid-recording gives the shortcut back.
    {
        GeneralSettingsView other(context());
        other.recorder()->startRecording();
        EXPECT_EQ(suspends, 3);
    }
    EXPECT_EQ(resumes, 3);
}
