#include "app/core/MemoryDefaults.h"
#include "app/core/PreferencesStore.h"
#include "updates/AlertWindow.h"
#include "updates/FeedbackWindowController.h"
#include "updates/UpdateManager.h"
#include "updates/WhatsNewController.h"

#include "support/FakeHTTPClient.h"
#include "support/RunTask.h"

#include <QApplication>
#include <QMessageBox>
#include <QUrlQuery>
#include <gtest/gtest.h>

using namespace brenvo;

namespace {

AppConfig siteConfig(QString host, QString path)
{
    AppConfig config;
    config.name = QStringLiteral("Brenvo");
    config.version = QStringLiteral("1.4");
    config.build = QStringLiteral("12");
    config.siteHost = std::move(host);
    config.sitePath = std::move(path);
    return config;
}

struct Opened {
    QList<QUrl> urls;
    UrlOpener opener()
    {
        return [this](const QUrl& url) {
            urls.append(url);
            return true;
        };
    }
};

} // namespace

TEST(UpdateManager, CheckingSaysUpdatesAreNotSetUpInOneAlertWindow)
{
    AppConfig config = siteConfig({}, {});
    config.sparklePublicKey = QStringLiteral("test-key-not-real");
    UpdateManager updates(config, true);
    EXPECT_TRUE(updates.wantsUpdater() && !updates.isUpdaterRunning());
    EXPECT_FALSE(UpdateManager(config, false).wantsUpdater()
        || UpdateManager(siteConfig({}, {}), true).wantsUpdater());

    QStringList shown;
    updates.setAlert([&](const QString& title, const QString& text) { shown << title << text; });
    updates.checkForUpdates();
    ASSERT_EQ(shown.size(), 2);
    EXPECT_TRUE(shown[0] == "Updates are not set up" && shown[1].contains("Brenvo"));

    // The real alert is one window however often it is asked for.
    UpdateManager real(siteConfig({}, {}), false);
    real.checkForUpdates();
    real.checkForUpdates();
    int boxes = 0;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible()) {
            ++boxes;
            EXPECT_TRUE(box->text() == real.alertText() && !box->isModal());
        }
    }
    EXPECT_EQ(boxes, 1);
}

TEST(WhatsNew, TheLaunchCheckRecordsTheRunningVersionOnlyWhenItChanged)
{
    MemoryDefaults defaults;
    PreferencesStore preferences(defaults);
    auto http = std::make_shared<test::FakeHTTPClient>();
    Opened opened;
    WhatsNewController whatsNew(siteConfig("example.test", {}), preferences, http, opened.opener());
    test::runTask(whatsNew.checkOnLaunch());
    EXPECT_EQ(preferences.lastSeenVersion(), QStringLiteral("1.4"));

    int changes = 0;
    QObject::connect(&preferences, &PreferencesStore::lastSeenVersionChanged, [&]() { ++changes; });
    test::runTask(whatsNew.checkOnLaunch());
    EXPECT_TRUE(changes == 0 && opened.urls.isEmpty() && http->requests.empty());

    // A build without a version has nothing to record.
    AppConfig noVersion = siteConfig("example.test", {});
    noVersion.version.clear();
    preferences.setLastSeenVersion(QStringLiteral("1.0"));
    WhatsNewController unversioned(noVersion, preferences, http, opened.opener());
    test::runTask(unversioned.checkOnLaunch());
    EXPECT_EQ(preferences.lastSeenVersion(), QStringLiteral("1.0"));
}

TEST(WhatsNew, ThePageOpensOnTheConfiguredSiteOnly)
{
    MemoryDefaults defaults;
    PreferencesStore preferences(defaults);
    auto http = std::make_shared<test::FakeHTTPClient>();
    Opened opened;
    // No host, or one that would carry the address elsewhere, opens nothing.
    for (const auto& [host, path] : std::initializer_list<std::pair<const char*, const char*>> {
             {"example.test", "/apps/brenvo"}, {"example.test", ""}, {"", ""}, {"user@evil.test", ""},
             {"example.test?x=1", ""}, {"example.test#frag", ""}, {"exa mple.test", ""}}) {
        WhatsNewController whatsNew(siteConfig(host, path), preferences, http, opened.opener());
        EXPECT_EQ(whatsNew.pageURL().has_value(), std::string(host) == "example.test") << host;
        test::runTask(whatsNew.show());
    }
    ASSERT_EQ(opened.urls.size(), 2);
    EXPECT_EQ(opened.urls[0].toString(), "https://example.test/apps/brenvo/whatsnew/");
    EXPECT_EQ(opened.urls[1].toString(), "https://example.test/whatsnew/");
    EXPECT_FALSE(preferences.lastSeenVersion().has_value());
}

TEST(Feedback, AMailGoesToThePlainSupportAddressAndOneThatWouldAddRecipientsOrHeadersOpensNothing)
{
    Opened opened;
    FeedbackWindowController feedback(opened.opener());
    AppConfig config = siteConfig({}, {});
    EXPECT_EQ(FeedbackWindowController::mailURL(config), std::nullopt);
    config.supportEmail = QStringLiteral("help@example.test");
    feedback.show(config);
    ASSERT_EQ(opened.urls.size(), 1);
    const QUrl mail = opened.urls.front();
    EXPECT_EQ(mail.toString(QUrl::RemoveQuery), "mailto:help@example.test");
    const QUrlQuery query(mail);
    EXPECT_EQ(query.queryItemValue("subject", QUrl::FullyDecoded), "Brenvo Feedback");
    EXPECT_TRUE(query.queryItemValue("body", QUrl::FullyDecoded).contains("Brenvo 1.4 (12)"));
    EXPECT_EQ(query.queryItems().size(), 2);
    for (const char* address :
        {"help@example.test?bcc=x@evil.test", "a@b.test,c@d.test", "a@b.test&cc=c", "no-at-sign",
            "a b@example.test", "a@example.test\nBcc: x", "@example.test", "a@", "a@b..test"}) {
        config.supportEmail = QString::fromUtf8(address);
        EXPECT_EQ(FeedbackWindowController::mailURL(config), std::nullopt) << address;
    }
}

TEST(NotSetUp, WithoutASiteOrASupportAddressWhatsNewAndFeedbackSayWhyInTheOneAlertWindow)
{
    MemoryDefaults defaults;
    PreferencesStore preferences(defaults);
    auto http = std::make_shared<test::FakeHTTPClient>();
    Opened opened;
    QStringList shown;
    const auto alert = [&](const QString& title, const QString& text) { shown << title << text; };

    // A host that makes no plain address counts as none.
    for (const char* host : {"", "user@evil.test"}) {
        WhatsNewController whatsNew(siteConfig(host, {}), preferences, http, opened.opener());
        whatsNew.setAlert(alert);
        test::runTask(whatsNew.show());
    }
    FeedbackWindowController feedback(opened.opener());
    feedback.setAlert(alert);
    AppConfig config = siteConfig({}, {});
    feedback.show(config);
    config.supportEmail = QStringLiteral("help@example.test?bcc=x@evil.test");
    feedback.show(config);
    EXPECT_TRUE(opened.urls.isEmpty());
    const QString news = "This copy of Brenvo cannot show what's new. Read the release notes where you got "
                         "this one.";
    const QString mail
        = "This copy of Brenvo cannot send feedback. Give your feedback where you got this one.";
    EXPECT_EQ(shown,
        (QStringList {"Release notes are not set up", news, "Release notes are not set up", news,
            "Feedback is not set up", mail, "Feedback is not set up", mail}));

    // A configured site or address opens and says nothing.
    shown.clear();
    WhatsNewController site(siteConfig("example.test", {}), preferences, http, opened.opener());
    site.setAlert(alert);
    test::runTask(site.show());
    config.supportEmail = QStringLiteral("help@example.test");
    feedback.show(config);
    EXPECT_TRUE(shown.isEmpty());
    EXPECT_EQ(opened.urls.size(), 2);

    // The real alert: one window per teller, brought forward with the words of the latest telling.
    AlertWindow window;
    window.show(QStringLiteral("First"), QStringLiteral("One."));
    QMessageBox* box = window.box();
    ASSERT_NE(box, nullptr);
    window.show(QStringLiteral("Second"), QStringLiteral("Two."));
    EXPECT_EQ(window.box(), box);
    EXPECT_TRUE(box->isVisible() && !box->isModal() && box->textFormat() == Qt::PlainText);
    EXPECT_EQ(box->windowTitle(), "Second");
    EXPECT_EQ(box->text(), "Two.");
}
