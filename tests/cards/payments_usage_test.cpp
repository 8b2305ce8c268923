// The payments and usage cards and the payment page.
#include "CardStoreFixture.h"
#include "CardTestSupport.h"
#include "cards/KitCard.h"
#include "cards/KitDetailHeader.h"
#include "cards/KitFaceStack.h"
#include "cards/KitIndicators.h"
#include "cards/KitLine.h"
#include "cards/KitPalette.h"
#include "cards/KitProjectPicker.h"
#include "cards/KitRows.h"
#include "cards/OpenInBrowser.h"
#include "cards/PaymentAmount.h"
#include "cards/PaymentDetailView.h"
#include "cards/PaymentsCard.h"
#include "cards/ServiceTile.h"
#include "cards/UsageCard.h"
#include "http/ServiceFailure.h"

#include <QLabel>

namespace brenvo {
namespace {

using test::click;
using test::layOut;

class PaymentsUsageTest : public test::CardStoreTest { };

QStringList shownTexts(const QWidget& root)
{
    QApplication::processEvents(); // widgets added to a shown parent show on the next turn
    QStringList all;
    for (KitLine* line : test::visibleChildren<KitLine>(root))
        all << line->text();
    for (QLabel* label : test::visibleChildren<QLabel>(root))
        all << label->text();
    return all;
}

TEST_F(PaymentsUsageTest, SampleRowsShowCustomerAmountStateAndAge)
{
    build(true);
    PaymentsCard card(KitService::stripe, *kit, clock);
    layOut(card);
    EXPECT_EQ(card.list()->titleLine()->text(), "Payments");
    EXPECT_EQ(card.list()->detailLine()->text(), "Every 30s");
    EXPECT_EQ(card.list()->sourceLine()->text(), "Stripe");
    ASSERT_TRUE(card.rows());
    ASSERT_EQ(card.rows()->count(), 3);
    const QStringList texts = shownTexts(*card.rows());
    EXPECT_TRUE(texts.contains("Mara Quill"));
    EXPECT_TRUE(texts.contains("$29.00"));
    EXPECT_TRUE(texts.contains("$99.00"));
    EXPECT_TRUE(texts.contains("Paid"));
    EXPECT_TRUE(texts.contains("Failed"));
    // The third sample payment has no customer name: its address stands in.
    EXPECT_EQ(PaymentDetailView::title(kit->payments(KitService::stripe)[2]),
        *kit->payments(KitService::stripe)[2].customerEmail);
    QStringList ages;
    for (AgeLabel* age : test::visibleChildren<AgeLabel>(*card.rows()))
        ages << age->text();
    EXPECT_EQ(ages, QStringList({"4m", "38m", "2h"}));

    PaymentsCard sales(KitService::polar, *kit, clock);
    EXPECT_EQ(sales.list()->titleLine()->text(), "Sales");
    EXPECT_EQ(PaymentsCard::emptyNote(KitService::polar), "No sales yet.");
    EXPECT_EQ(PaymentsCard::emptyNote(KitService::stripe), "No payments yet.");
}

TEST_F(PaymentsUsageTest, StateWordsAndColoursFollowTheTileSignals)
{
    EXPECT_EQ(PaymentDetailView::stateWord(Payment::State::succeeded), "Paid");
    EXPECT_EQ(PaymentDetailView::stateColour(Payment::State::succeeded), KitPalette::green());
    EXPECT_EQ(PaymentDetailView::stateColour(Payment::State::pending), KitPalette::orange());
    EXPECT_EQ(PaymentDetailView::stateColour(Payment::State::failed), KitPalette::red());
    EXPECT_EQ(PaymentDetailView::stateColour(Payment::State::disputed), KitPalette::red());
    EXPECT_EQ(PaymentDetailView::stateColour(Payment::State::refunded), KitPalette::gray());
}

TEST_F(PaymentsUsageTest, AccountPickerNamesTheAccountAndOpensPayments)
{
    build(true);
    PaymentsCard card(KitService::polar, *kit, clock);
    layOut(card);
    ASSERT_TRUE(card.list()->header().choose);
    click(card.list()->headerButton());
    ASSERT_EQ(card.face(), KitFacedCard::Face::picker);
    EXPECT_EQ(card.picker()->titleLine()->text(), "Accounts");
    const auto rows = card.picker()->rows();
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0].label, "All accounts");
    EXPECT_TRUE(rows[0].chosen);
    EXPECT_EQ(rows[1].label, "Acme");
    click(card.picker()->rowButtons()[1]);
    EXPECT_EQ(card.face(), KitFacedCard::Face::list);
    EXPECT_EQ(card.list()->titleLine()->text(), "Acme");
    // The sample store keeps showing its payments under the sample account.
    card.faces()->finishTransition();
    ASSERT_TRUE(card.rows());
    EXPECT_EQ(card.rows()->count(), 3);

    kit->select(std::nullopt, KitService::polar);
    card.faces()->finishTransition();
    click(card.rows()->row(0));
    ASSERT_EQ(card.face(), KitFacedCard::Face::detail);
    PaymentDetailView* page = card.detailView();
    EXPECT_EQ(page->header()->titleLine()->text(), "Mara Quill");
    EXPECT_EQ(page->header()->stateLine()->text(), "Paid");
    const QStringList texts = shownTexts(*page);
    for (const char* fact : {"GB", "Pro license", "1042-7731"})
        EXPECT_TRUE(texts.contains(QString::fromUtf8(fact))) << fact;
    // Sample payments have no dashboard address.
    EXPECT_FALSE(page->openButton()->isVisible());
    click(page->header()->backButton());
    EXPECT_FALSE(kit->inspectedPayment());
    EXPECT_EQ(card.face(), KitFacedCard::Face::list);
}

TEST_F(PaymentsUsageTest, PaymentPageOpensOnlyWebAddresses)
{
    QList<QUrl> opened;
    setBrowserOpener([&](const QUrl& url) { opened << url; });
    Payment payment;
    payment.id = "ch_1";
    payment.amount = 1250;
    payment.currency = "EUR";
    payment.date = clock.wallNow();
    payment.url = QUrl("https://dashboard.stripe.com/payments/ch_1");
    PaymentDetailView page({KitService::stripe, payment}, clock);
    layOut(page, 292, 206);
    ASSERT_TRUE(page.openButton()->isVisible());
    EXPECT_EQ(page.openButton()->text(), "Open in Stripe");
    click(page.openButton());
    payment.url = QUrl("file:///Users/me/.ssh/id_rsa");
    page.setInspection({KitService::stripe, payment});
    click(page.openButton());
    setBrowserOpener({});
    EXPECT_EQ(opened, QList<QUrl>({QUrl("https://dashboard.stripe.com/payments/ch_1")}));
    EXPECT_EQ(PaymentDetailView::title(payment), "Payment");
    EXPECT_EQ(
        PaymentAmount::text(payment, QLocale(QLocale::English, QLocale::UnitedStates)), QString("€12.50"));
}

TEST_F(PaymentsUsageTest, FailingAccountsSaySoBesideTheOthersPayments)
{
    build();
    stripe->infos.insert("key-shop", PaymentAccountInfo {QString("Shop"), {}, {}, {}});
    stripe->lists.insert("key-shop", {pay("p1", Payment::State::succeeded, 60)});
    finish(kit->addPaymentAccount(KitService::stripe, "key-shop", std::nullopt, std::nullopt));
    stripe->infos.insert("key-club", PaymentAccountInfo {QString("Club"), {}, {}, {}});
    finish(kit->addPaymentAccount(KitService::stripe, "key-club", std::nullopt, std::nullopt));
    ASSERT_EQ(kit->paymentAccounts(KitService::stripe).size(), 2);

    PaymentsCard card(KitService::stripe, *kit, clock);
    layOut(card);
    EXPECT_TRUE(PaymentsCard::failures(KitService::stripe, *kit).isEmpty());

    stripe->paymentErrors.insert("key-club", std::make_exception_ptr(ServiceFailure::refused(500, "Boom")));
    finish(kit->refreshPayments(KitService::stripe));
    EXPECT_EQ(
        PaymentsCard::failures(KitService::stripe, *kit), QStringList({"Club: Stripe answered 500: Boom"}));
    QStringList texts = shownTexts(*card.list()->content());
    EXPECT_TRUE(texts.contains("Club: Stripe answered 500: Boom"));
    EXPECT_TRUE(texts.contains("Customer p1"));

    // A vanished key reads as refused.
    secrets.items.clear();
    finish(kit->refreshPayments(KitService::stripe));
    EXPECT_EQ(PaymentsCard::failures(KitService::stripe, *kit),
        QStringList({"Shop: Stripe did not accept the key.", "Club: Stripe did not accept the key."}));
}

TEST_F(PaymentsUsageTest, UsageCardShowsMetersAndSpend)
{
    build(true);
    UsageCard claude(KitService::claude, *kit, clock);
    layOut(claude);
    EXPECT_EQ(claude.card()->titleLine()->text(), "Usage");
    EXPECT_EQ(claude.card()->sourceLine()->text(), "Claude");
    const auto meters = claude.meterViews();
    ASSERT_EQ(meters.size(), 2);
    EXPECT_EQ(meters[0]->nameLine()->text(), "5-hour limit");
    EXPECT_EQ(meters[0]->percentLine()->text(), "62%");
    EXPECT_EQ(meters[0]->resetLine()->text(), "resets in 1h 48m");
    EXPECT_DOUBLE_EQ(meters[0]->bar()->fraction(), 0.62);
    EXPECT_EQ(meters[0]->bar()->colour(), tint(UsageMeter {"", "", 0.62, {}}, KitService::claude));

    UsageCard codex(KitService::codex, *kit, clock);
    layOut(codex);
    EXPECT_EQ(codex.card()->sourceLine()->text(), "OpenAI Codex");
    EXPECT_EQ(codex.card()->detailLine()->text(), QString("Every 1m \u00B7 Plus"));
    ASSERT_EQ(codex.meterViews().size(), 2);
    EXPECT_EQ(codex.meterViews()[1]->bar()->colour(), KitPalette::orange()); // 0.81
    const QStringList texts = shownTexts(*codex.card()->content());
    EXPECT_TRUE(texts.contains("Today"));
    EXPECT_TRUE(texts.contains("1.2M tokens"));
    EXPECT_TRUE(texts.contains("This month"));
    EXPECT_EQ(UsageCard::amountText(UsageSpend {"today", "Today", 3.42, "USD", {}},
                  QLocale(QLocale::English, QLocale::UnitedStates)),
        "$3.42");
    EXPECT_EQ(UsageCard::amountText(
                  UsageSpend {"m", "M", 61.8, "usd", {}}, QLocale(QLocale::English, QLocale::UnitedStates)),
        "$61.80");
    // Written as the payments card writes money, whatever the locale.
    EXPECT_EQ(UsageCard::amountText(UsageSpend {"m", "M", 1.24, "USD", {}}, QLocale::c()), "$1.24");
}

TEST_F(PaymentsUsageTest, AWindowPastItsResetReadsUnusedWhileShown)
{
    build(true);
    UsageCard claude(KitService::claude, *kit, clock);
    layOut(claude);
    UsageMeterView* meter = claude.meterViews().first();
    meter->repaint();
    EXPECT_EQ(meter->percentLine()->text(), "62%");
    // The view looks again every 30 s while it is painted.
    clock.advance(6480.0 + 1);
    QApplication::processEvents();
    meter->repaint();
    clock.advance(30.0);
    EXPECT_EQ(meter->percentLine()->text(), "0%");
    EXPECT_FALSE(meter->resetLine()->isVisible());
    EXPECT_EQ(meter->shownMeter().fraction, 0);
}

TEST_F(PaymentsUsageTest, FailingHalvesAreSaid)
{
    build();
    claudeSpend->error = std::make_exception_ptr(ServiceFailure::rejected());
    finish(kit->connect(KitService::claude, "test-token-not-real"));
    EXPECT_EQ(UsageCard::failures(KitService::claude, *kit), QStringList({"Claude did not accept the key."}));
    UsageCard card(KitService::claude, *kit, clock);
    layOut(card);
    EXPECT_TRUE(shownTexts(*card.card()->content()).contains("Claude did not accept the key."));
}

} // namespace
} // namespace brenvo
