// The card kit's frame, rows, controls and the connect card, checked on built widgets.
#include "CardTestSupport.h"
#include "cards/ButtonStyles.h"
#include "cards/ConnectCard.h"
#include "cards/KitCard.h"
#include "cards/KitDetailHeader.h"
#include "cards/KitFaceStack.h"
#include "cards/KitFont.h"
#include "cards/KitLine.h"
#include "cards/KitPalette.h"
#include "cards/KitRows.h"
#include "cards/KitScrollArea.h"
#include "cards/KitSymbols.h"
#include "cards/OpenInBrowser.h"

#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>
#include <gtest/gtest.h>

namespace brenvo {
namespace {

using test::click;
using test::layOut;

// A fixed-height stand-in for a row's content.
QWidget* block(int height)
{
    auto* w = new QWidget();
    w->setFixedHeight(height);
    return w;
}

// A stand-in that asks for a height but may be given more.
class Face : public QWidget {
public:
    explicit Face(int height)
        : m_height(height)
    {
    }
    QSize sizeHint() const override { return QSize(10, m_height); }

private:
    int m_height;
};

TEST(ConnectCard, MessagesFollowTheToolAndTheConnection)
{
    EXPECT_EQ(ConnectCard::message(KitService::vercel, KitConnection::notConnected()),
        "Add your Vercel token in Settings to see your deployments here.");
    EXPECT_EQ(ConnectCard::message(KitService::stripe, KitConnection::rejected()),
        "Stripe did not accept the key. Add a new one in Settings.");
    EXPECT_EQ(ConnectCard::message(KitService::stripe, KitConnection::notConnected()),
        "Add your Stripe key in Settings to see your payments here.");
    EXPECT_EQ(ConnectCard::message(KitService::polar, KitConnection::notConnected()),
        "Add your Polar token in Settings to see your sales here.");
    EXPECT_EQ(ConnectCard::message(KitService::gitlab, KitConnection::rejected()),
        "GitLab did not accept the token. Add a new one in Settings.");
    // A failing reason is shown as stored, without prefix or suffix.
    EXPECT_EQ(ConnectCard::message(KitService::github, KitConnection::failing("GitHub answered 500: Boom")),
        "GitHub answered 500: Boom");
    // Connecting and rejected name a usage tool by its title, not connected by its display name.
    EXPECT_EQ(ConnectCard::message(KitService::codex, KitConnection::connecting()),
        QString("Connecting to OpenAI Codex") + QChar(0x2026));
    EXPECT_EQ(ConnectCard::message(KitService::codex, KitConnection::rejected()),
        "OpenAI Codex did not accept the key. Add a new one in Settings.");
    EXPECT_EQ(ConnectCard::message(KitService::codex, KitConnection::notConnected()),
        "Connect Codex in Settings to see how much of your plan's limits you have used, or what your API "
        "usage "
        "costs.");
    EXPECT_EQ(ConnectCard::message(KitService::claude, KitConnection::notConnected()),
        "Connect Claude Code in Settings to see how much of your plan's limits you have used, or what your "
        "API "
        "usage costs.");
    // The panel never hands it a connected tool; it reads as not connected.
    EXPECT_EQ(ConnectCard::message(KitService::vercel, KitConnection::connected("acme")),
        ConnectCard::message(KitService::vercel, KitConnection::notConnected()));

    QStringList keyTools;
    for (KitService s : KitService::allCases()) {
        if (ConnectCard::credentialWord(s) == "key")
            keyTools << s.rawValue();
    }
    EXPECT_EQ(keyTools, QStringList({"stripe", "claude", "codex"}));
}

TEST(ConnectCard, KeepsItsTitleAndSourceAndOpensSettings)
{
    int opened = 0;
    ConnectCard card(KitService::polar, KitConnection::connecting(), [&] { ++opened; });
    layOut(card);
    EXPECT_EQ(card.card()->titleLine()->text(), "Sales");
    EXPECT_EQ(card.card()->sourceLine()->text(), "Not connected");
    EXPECT_FALSE(card.card()->detailLine()->isVisible());
    EXPECT_FALSE(card.card()->chevron()->isVisible());
    EXPECT_FALSE(card.card()->divider()->isVisible());

    card.setConnection(KitConnection::rejected());
    EXPECT_EQ(card.note()->text(), "Polar did not accept the token. Add a new one in Settings.");
    EXPECT_EQ(card.card()->titleLine()->text(), "Sales");
    EXPECT_EQ(card.card()->sourceLine()->text(), "Not connected");

    ASSERT_EQ(card.settingsButton()->text(), "Open Settings");
    EXPECT_EQ(card.settingsButton()->style(), KitButtonStyle::shared(KitButtonStyle::Kind::quiet));
    click(card.settingsButton());
    EXPECT_EQ(opened, 1);

    ConnectCard usage(KitService::claude, KitConnection::notConnected(), {});
    EXPECT_EQ(usage.card()->titleLine()->text(), "Usage");
    ConnectCard pipelines(KitService::gitlab, KitConnection::notConnected(), {});
    EXPECT_EQ(pipelines.card()->titleLine()->text(), "Pipelines");
}

TEST(KitCard, HeaderMetricsFollowTheDetail)
{
    KitCard compact(KitService::vercel, {"Deployments", std::nullopt, {}, "Vercel", false, {}}, block(20));
    layOut(compact);
    EXPECT_EQ(compact.plateSide(), 18);
    EXPECT_EQ(compact.plate()->width(), 18);
    EXPECT_EQ(compact.plateSpacing(), 7);
    EXPECT_DOUBLE_EQ(kitFontPixelSize(compact.titleLine()->font()), 12);
    EXPECT_FALSE(compact.detailLine()->isVisible());

    // An empty detail still selects the large header and an (empty) second line.
    KitCard large(KitService::vercel, {"Deployments", QString(), {}, "Vercel", false, {}}, block(20));
    layOut(large);
    EXPECT_EQ(large.plate()->width(), 30);
    EXPECT_EQ(large.plateSpacing(), 9);
    EXPECT_DOUBLE_EQ(kitFontPixelSize(large.titleLine()->font()), 12.5);
    EXPECT_TRUE(large.detailLine()->isVisible());
    EXPECT_GT(large.detailLine()->geometry().top(), large.titleLine()->geometry().top());

    // The header updates in place.
    large.setHeader({"docs", std::nullopt, {}, "Vercel", false, {}});
    EXPECT_EQ(large.titleLine()->text(), "docs");
    EXPECT_EQ(large.plateSide(), 18);
}

TEST(KitCard, ChooseMakesTheWholeHeaderAButton)
{
    int chosen = 0;
    KitCard card(KitService::github, {"Checks", QString("Every 30s"), {}, "GitHub", true, [&] { ++chosen; }},
        block(40));
    layOut(card);
    EXPECT_TRUE(card.chevron()->isVisible());
    // A click on the gap between the title and the source label calls it.
    QAbstractButton* header = card.headerButton();
    const int gapX = (card.chevron()->geometry().right() + card.sourceLine()->geometry().left()) / 2;
    click(header, QPoint(gapX, card.titleLine()->geometry().center().y()));
    EXPECT_EQ(chosen, 1);
    // The source label sits at the trailing edge.
    EXPECT_NEAR(card.sourceLine()->mapTo(&card, QPoint(card.sourceLine()->width(), 0)).x(), card.width(), 1);

    card.setHeader({"Checks", QString("Every 30s"), {}, "GitHub", true, {}});
    EXPECT_FALSE(card.chevron()->isVisible());
    click(header, QPoint(gapX, card.titleLine()->geometry().center().y()));
    EXPECT_EQ(chosen, 1);
}

TEST(KitCard, HairlineAndSpacingAndWidth)
{
    KitCard divided(KitService::vercel, {"Deployments", QString("x"), {}, "Vercel", true, {}}, block(20));
    layOut(divided, 292);
    ASSERT_TRUE(divided.divider()->isVisible());
    const QRect line = divided.divider()->geometry();
    EXPECT_EQ(line.height(), 1);
    EXPECT_EQ(line.width(), 292);
    EXPECT_EQ(line.top() - divided.headerButton()->geometry().bottom() - 1, 12);
    EXPECT_EQ(divided.content()->mapTo(&divided, QPoint(0, 0)).y() - line.bottom() - 1, 12);

    KitCard plain(KitService::vercel, {"Deployments", std::nullopt, {}, "Vercel", false, {}}, block(20));
    layOut(plain, 250);
    EXPECT_FALSE(plain.divider()->isVisible());
    EXPECT_EQ(
        plain.content()->mapTo(&plain, QPoint(0, 0)).y() - plain.headerButton()->geometry().bottom() - 1, 10);
    // The card takes the width offered, whatever its content's.
    EXPECT_EQ(plain.width(), 250);
    EXPECT_EQ(plain.content()->width(), 250);
}

TEST(KitCard, LongTextsStayOnOneLine)
{
    const QString longTitle = QString("a-very-long-project-name-").repeated(6);
    KitCard card(KitService::vercel,
        {longTitle, QString("Every 30s · ") + longTitle, {}, "Vercel", false, {}}, block(10));
    layOut(card);
    EXPECT_TRUE(card.titleLine()->isElided());
    EXPECT_TRUE(card.detailLine()->isElided());
    EXPECT_EQ(card.titleLine()->height(), card.titleLine()->sizeHint().height());
    EXPECT_LE(card.titleLine()->geometry().right(), card.width());
}

TEST(KitCard, PictureFillsThePlateCropped)
{
    QImage wide(60, 20, QImage::Format_ARGB32);
    wide.fill(Qt::red);
    KitCard card(KitService::vercel, {"docs", QString("x"), wide, "Vercel", false, {}}, block(10));
    EXPECT_TRUE(card.plate()->hasImage());
    // A wide picture keeps its full height and loses its sides evenly.
    EXPECT_EQ(KitIconPlate::cropRect(QSizeF(60, 20), 30), QRectF(20, 0, 20, 20));
    EXPECT_EQ(KitIconPlate::cropRect(QSizeF(20, 40), 30), QRectF(0, 10, 20, 20));
    card.setHeader({"docs", QString("x"), QImage(), "Vercel", false, {}});
    EXPECT_FALSE(card.plate()->hasImage());
}

TEST(KitRows, SpacesLabelsEvenlyWithFlushEdges)
{
    KitRows rows(12);
    auto* first = new KitRowButton(block(20), {});
    auto* second = new KitRowButton(block(30), {});
    rows.addRow(first);
    rows.addRow(second);
    layOut(rows, 200);
    const int firstLabelTop = first->label()->mapTo(&rows, QPoint(0, 0)).y();
    const int secondLabelTop = second->label()->mapTo(&rows, QPoint(0, 0)).y();
    EXPECT_EQ(firstLabelTop, 0);
    EXPECT_EQ(secondLabelTop - (firstLabelTop + 20), 12);
    EXPECT_EQ(rows.sizeHint().height(), 20 + 12 + 30);
    // The clickable areas meet without a gap.
    EXPECT_EQ(first->geometry().bottom() + 1, second->geometry().top());

    KitRows touching(0);
    auto* a = new KitRowButton(block(10), {});
    auto* b = new KitRowButton(block(10), {});
    touching.addRow(a);
    touching.addRow(b);
    layOut(touching, 100);
    EXPECT_EQ(a->topPadding(), 0);
    EXPECT_EQ(a->bottomPadding(), 0);
    EXPECT_EQ(b->label()->mapTo(&touching, QPoint(0, 0)).y(), 10);
}

TEST(KitRows, RowButtonTakesClicksAcrossItsWidth)
{
    int clicks = 0;
    KitRowButton alone(block(16), [&] { ++clicks; });
    layOut(alone, 240);
    EXPECT_EQ(alone.topPadding(), 0);
    EXPECT_EQ(alone.height(), 16);
    click(&alone, QPoint(235, 8));
    EXPECT_EQ(clicks, 1);
    // The label's own children never swallow the click.
    click(alone.label());
    EXPECT_EQ(clicks, 2);
}

TEST(KitButtonStyle, LooksOfTheThreeKinds)
{
    using Kind = KitButtonStyle::Kind;
    EXPECT_EQ(KitButtonStyle::look(Kind::quiet, false).fill, KitPalette::white(0.14));
    EXPECT_EQ(KitButtonStyle::look(Kind::quiet, true).fill, KitPalette::white(0.24));
    EXPECT_EQ(KitButtonStyle::look(Kind::quiet, true).label, KitPalette::white());
    EXPECT_EQ(KitButtonStyle::look(Kind::prominent, false).fill, KitPalette::white(1.0));
    EXPECT_EQ(KitButtonStyle::look(Kind::prominent, true).label, KitPalette::black());
    EXPECT_EQ(KitButtonStyle::look(Kind::confirming, true).fill, KitPalette::orange(0.8));
    EXPECT_EQ(KitButtonStyle::look(Kind::confirming, false).label, KitPalette::black());

    QPushButton button("Redeploy");
    KitButtonStyle::apply(&button, Kind::prominent);
    EXPECT_DOUBLE_EQ(kitFontPixelSize(button.font()), 11.5);
    EXPECT_EQ(button.font().weight(), QFont::Medium);
    const QSize text = QFontMetrics(button.font()).size(Qt::TextShowMnemonic, "Redeploy");
    EXPECT_EQ(button.sizeHint(), text + QSize(20, 10));
    // Painting it pressed and released must not fail.
    button.setDown(true);
    EXPECT_FALSE(button.grab().isNull());
}

TEST(WindowButtonStyles, OpacityFollowsPressAndEnabled)
{
    EXPECT_DOUBLE_EQ(PrimaryButtonStyle::opacityFor(false, true), 1.0);
    EXPECT_DOUBLE_EQ(PrimaryButtonStyle::opacityFor(false, false), 0.4);
    EXPECT_DOUBLE_EQ(PrimaryButtonStyle::opacityFor(true, true), 0.8);
    EXPECT_DOUBLE_EQ(SecondaryButtonStyle::opacityFor(false), 1.0);
    EXPECT_DOUBLE_EQ(SecondaryButtonStyle::opacityFor(true), 0.7);

    QPushButton primary("Continue");
    PrimaryButtonStyle::shared()->applyTo(&primary);
    EXPECT_DOUBLE_EQ(kitFontPixelSize(primary.font()), 14);
    EXPECT_EQ(primary.sizeHint(),
        QFontMetrics(primary.font()).size(Qt::TextShowMnemonic, "Continue") + QSize(48, 20));
    QPushButton secondary("Allow");
    SecondaryButtonStyle::shared()->applyTo(&secondary);
    EXPECT_EQ(secondary.sizeHint(),
        QFontMetrics(secondary.font()).size(Qt::TextShowMnemonic, "Allow") + QSize(24, 12));
}

TEST(KitDetailHeader, LongTitleIsCutWhileTheStateStaysWhole)
{
    int back = 0;
    KitDetailHeader header(QString("Fix ").repeated(40), "main · 5m", "Building", KitPalette::orange());
    QObject::connect(&header, &KitDetailHeader::goBack, [&] { ++back; });
    layOut(header, 292);
    EXPECT_TRUE(header.titleLine()->isElided());
    EXPECT_FALSE(header.stateLine()->isElided());
    EXPECT_EQ(header.stateLine()->width(), header.stateLine()->sizeHint().width());
    EXPECT_EQ(header.stateLine()->colour(), KitPalette::orange());
    EXPECT_EQ(header.backButton()->accessibleName(), "Back");
    EXPECT_EQ(header.backButton()->size(), QSize(22, 22));
    click(header.backButton());
    EXPECT_EQ(back, 1);
    // A corner of the square outside the disc does not count as the button.
    click(header.backButton(), QPoint(1, 1));
    EXPECT_EQ(back, 1);
}

TEST(KitCenteredNote, WrapsCentredAboveItsActionAndKeepsItOnTheCard)
{
    auto* action = new QPushButton("Open Settings");
    KitCenteredNote note(
        QString("This message is long enough to need more than a single line. ").repeated(3), action);
    layOut(note, 200, 300);
    auto* label = note.findChild<KitClampedText*>();
    ASSERT_TRUE(label);
    EXPECT_EQ(label->textFormat(), Qt::PlainText);
    EXPECT_GT(label->height(), 2 * QFontMetrics(label->font()).height());
    EXPECT_GT(action->geometry().top(), label->geometry().bottom());
    // It stands in the middle of the room it is given.
    const int above = label->geometry().top();
    const int below = note.height() - action->geometry().bottom();
    EXPECT_NEAR(above, below, 3);

    // A tool's essay (1.6 KB) is cut to a few lines, so that the action stays on the card; the
    // whole of it is in the tooltip, as text, and a copy of the selection takes all of it.
    const QString essay
        = QString("The <b>service</b> explained at length why it could not answer. ").repeated(25);
    note.setText(essay);
    layOut(note, 200, 178);
    EXPECT_EQ(label->text().count(u'\n'), KitClampedText::fewLines - 1);
    EXPECT_TRUE(label->text().endsWith(QChar(0x2026)));
    EXPECT_LE(action->geometry().bottom(), note.height());
    EXPECT_TRUE(label->toolTip().contains(essay.toHtmlEscaped()));
    label->setSelection(0, int(label->text().size()));
    EXPECT_EQ(label->copiedText(), essay);
    EXPECT_EQ(note.text(), essay);
}

TEST(KitScrollArea, AsksForNoHeightAndShowsNoBars)
{
    auto* content = new QWidget();
    content->setMinimumHeight(600);
    KitScrollArea area(content);
    EXPECT_EQ(area.sizeHint().height(), 0);
    EXPECT_EQ(area.minimumSizeHint(), QSize(0, 0));
    layOut(area, 200, 100);
    EXPECT_EQ(area.verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(area.horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(content->width(), 200);
    EXPECT_GT(area.verticalScrollBar()->maximum(), 0);
}

TEST(KitLines, ToolTextIsPlainAndCutAsAsked)
{
    // Markup from a tool is drawn as typed; line breaks do not stack lines.
    KitLine line("<b>bold</b>\nsecond", kitFont(11));
    EXPECT_EQ(line.text(), "<b>bold</b> second");

    KitPairLine pair;
    pair.setLeading("Deploy to production", kitFont(11.5, QFont::Medium), QColor());
    pair.setTrailing("unit › Run tests and then some more", kitFont(11), KitPalette::secondary());
    const qreal nameWidth
        = QFontMetricsF(kitFont(11.5, QFont::Medium)).horizontalAdvance("Deploy to production");
    // The name keeps its room; the status gives way at its head.
    const qreal narrow = nameWidth + 6 + 40;
    EXPECT_EQ(pair.shownLeading(narrow), "Deploy to production");
    EXPECT_TRUE(pair.shownTrailing(narrow).startsWith(QChar(0x2026)));
    EXPECT_TRUE(pair.shownTrailing(narrow).endsWith("more"));
    EXPECT_EQ(pair.shownTrailing(nameWidth), QString());

    KitClampedText clamped(QString("word ").repeated(80), kitFont(11.5), QColor(), 2);
    const QStringList lines = clamped.shownLines(200);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines.last().endsWith(QChar(0x2026)));
}

TEST(KitFaceStack, NewFaceReplacesTheOldOne)
{
    KitFaceStack stack;
    layOut(stack, 200, 100);
    QPointer<QWidget> list = new Face(40);
    stack.setFace(list, -KitFaceStack::slide);
    QPointer<QWidget> detail = new Face(60);
    stack.setFace(detail, KitFaceStack::slide);
    EXPECT_EQ(stack.face(), detail);
    EXPECT_TRUE(stack.isChanging());
    stack.finishTransition();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(list);
    EXPECT_EQ(detail->geometry(), stack.rect());
    EXPECT_EQ(stack.sizeHint().height(), 60);
}

TEST(OpenInBrowser, OnlyWebAddressesAreOpened)
{
    QList<QUrl> opened;
    setBrowserOpener([&](const QUrl& url) { opened << url; });
    EXPECT_TRUE(openInBrowser(QUrl("https://vercel.com/acme/docs")));
    EXPECT_TRUE(openInBrowser(QUrl("HTTP://example.com/")));
    EXPECT_FALSE(openInBrowser(QUrl("file:///etc/passwd")));
    EXPECT_FALSE(openInBrowser(QUrl("javascript:alert(1)")));
    EXPECT_FALSE(openInBrowser(QUrl("smb://host/share")));
    EXPECT_FALSE(openInBrowser(QUrl("/relative/path")));
    EXPECT_FALSE(openInBrowser(QUrl("https://")));
    EXPECT_FALSE(openInBrowser(QUrl()));
    setBrowserOpener({});
    EXPECT_EQ(opened.size(), 2);
}

} // namespace
} // namespace brenvo
