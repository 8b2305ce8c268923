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
    const std::tuple<KitService, KitConnection, QString> cases[]
        = {{KitService::vercel, KitConnection::notConnected(),
               "Add your Vercel token in Settings to see your deployments here."},
            {KitService::stripe, KitConnection::notConnected(),
                "Add your Stripe key in Settings to see your payments here."},
            {KitService::claude, KitConnection::notConnected(),
                "Connect Claude Code in Settings to see how much of your plan's limits you have used, or "
                "what your API usage costs."},
            {KitService::gitlab, KitConnection::rejected(),
                "GitLab did not accept the token. Add a new one in Settings."},
            // Connecting and rejected name a usage tool by its title; a failing reason shows as stored.
            {KitService::codex, KitConnection::rejected(),
                "OpenAI Codex did not accept the key. Add a new one in Settings."},
            {KitService::codex, KitConnection::connecting(),
                QString("Connecting to OpenAI Codex") + QChar(0x2026)},
            {KitService::github, KitConnection::failing("GitHub answered 500: Boom"),
                "GitHub answered 500: Boom"},
            // The panel never hands it a connected tool; it reads as not connected.
            {KitService::vercel, KitConnection::connected("acme"),
                "Add your Vercel token in Settings to see your deployments here."}};
    for (const auto& [service, connection, text] : cases)
        EXPECT_EQ(ConnectCard::message(service, connection), text) << text.toStdString();
}

TEST(ConnectCard, KeepsItsTitleAndSourceAndOpensSettings)
{
    int opened = 0;
    ConnectCard card(KitService::polar, KitConnection::connecting(), [&] { ++opened; });
    layOut(card);
    EXPECT_EQ(card.card()->titleLine()->text(), "Sales");
    EXPECT_EQ(card.card()->sourceLine()->text(), "Not connected");
    EXPECT_FALSE(card.card()->chevron()->isVisible());

    card.setConnection(KitConnection::rejected());
    EXPECT_EQ(card.note()->text(), "Polar did not accept the token. Add a new one in Settings.");
    EXPECT_EQ(card.card()->titleLine()->text(), "Sales");
    EXPECT_EQ(card.card()->sourceLine()->text(), "Not connected");

    ASSERT_EQ(card.settingsButton()->text(), "Open Settings");
    click(card.settingsButton());
    EXPECT_EQ(opened, 1);
}

TEST(KitCard, HeaderFollowsTheDetailAndTheCardTakesTheOfferedWidth)
{
    // An empty detail still selects the large header and an (empty) second line.
    QImage wide(60, 20, QImage::Format_ARGB32);
    wide.fill(Qt::red);
    KitCard card(KitService::vercel, {"Deployments", QString(), wide, "Vercel", true, {}}, block(20));
    layOut(card, 250);
    EXPECT_EQ(card.plate()->width(), 30);
    EXPECT_TRUE(card.plate()->hasImage());
    EXPECT_TRUE(card.detailLine()->isVisible());
    const QRect line = card.divider()->geometry();
    EXPECT_EQ(line.width(), 250);
    EXPECT_EQ(card.content()->mapTo(&card, QPoint(0, 0)).y() - line.bottom() - 1, 12);
    EXPECT_EQ(card.content()->width(), 250);
    // A wide picture keeps its full height and loses its sides evenly.
    EXPECT_EQ(KitIconPlate::cropRect(QSizeF(60, 20), 30), QRectF(20, 0, 20, 20));

    // The header updates in place; long texts stay on one line.
    const QString longTitle = QString("a-very-long-project-name-").repeated(6);
    card.setHeader({longTitle, QString("Every 30s · ") + longTitle, {}, "Vercel", false, {}});
    layOut(card, 250);
    EXPECT_FALSE(card.divider()->isVisible());
    EXPECT_TRUE(card.titleLine()->isElided() && card.detailLine()->isElided());
    EXPECT_LE(card.titleLine()->geometry().right(), card.width());
    card.setHeader({"docs", std::nullopt, {}, "Vercel", false, {}});
    EXPECT_EQ(card.plateSide(), 18);
    EXPECT_FALSE(card.plate()->hasImage());
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

TEST(KitDetailHeader, LongTitleIsCutWhileTheStateStaysWhole)
{
    int back = 0;
    KitDetailHeader header(QString("Fix ").repeated(40), "main · 5m", "Building", KitPalette::orange());
    QObject::connect(&header, &KitDetailHeader::goBack, [&] { ++back; });
    layOut(header, 292);
    EXPECT_TRUE(header.titleLine()->isElided());
    EXPECT_FALSE(header.stateLine()->isElided());
    EXPECT_EQ(header.backButton()->accessibleName(), "Back");
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
    EXPECT_EQ(area.minimumSizeHint(), QSize(0, 0));
    layOut(area, 200, 100);
    EXPECT_EQ(area.verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
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
    const qreal narrow = nameWidth + 6 + 60;
    EXPECT_EQ(pair.shownLeading(narrow), "Deploy to production");
    EXPECT_TRUE(pair.shownTrailing(narrow).startsWith(QChar(0x2026)));
    EXPECT_TRUE(pair.shownTrailing(narrow).endsWith("more"));
    // A name that fills the row gives way at its end: the status keeps an ellipsis and its tail.
    for (const qreal width : {nameWidth, nameWidth * 3 / 4}) {
        const QString status = pair.shownTrailing(width);
        EXPECT_TRUE(status.startsWith(QChar(0x2026)) && status.size() >= 4) << status.toStdString();
        EXPECT_TRUE(QString("unit › Run tests and then some more").endsWith(status.mid(1)));
        EXPECT_TRUE(pair.shownLeading(width).endsWith(QChar(0x2026)));
    }
    // A short status stays whole beside a long name.
    pair.setTrailing("Failed", kitFont(11), KitPalette::red());
    EXPECT_EQ(pair.shownTrailing(nameWidth), "Failed");

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
    for (const char* bad :
        {"file:///etc/passwd", "javascript:alert(1)", "smb://host/share", "/relative", "https://", ""})
        EXPECT_FALSE(openInBrowser(QUrl(bad))) << bad;
    setBrowserOpener({});
    EXPECT_EQ(opened.size(), 2);
}

} // namespace
} // namespace brenvo
