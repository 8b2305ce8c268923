#include "cards/UsageCard.h"

#include "app/core/PreferencesStore.h"
#include "cards/CardActions.h"
#include "cards/KitCard.h"
#include "cards/KitDetailHeader.h"
#include "cards/KitFont.h"
#include "cards/KitIndicators.h"
#include "cards/KitLine.h"
#include "cards/KitPalette.h"
#include "cards/KitRepaintTicker.h"
#include "cards/ServiceTile.h"
#include "model/KitText.h"
#include "model/Scheduler.h"
#include "store/DevKitStore.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace brenvo {

namespace {

QString halfSentence(const KitConnection& connection, KitService service)
{
    if (connection.kind() == KitConnection::Kind::failing)
        return connection.reason();
    if (connection.kind() == KitConnection::Kind::rejected)
        return rejectedText(service);
    return QString();
}

} // namespace

UsageMeterView::UsageMeterView(KitService service, const UsageMeter& meter, Scheduler& clock, QWidget* parent)
    : QWidget(parent)
    , m_service(service)
    , m_meter(meter)
    , m_clock(clock)
    , m_name(new KitLine(QString(), kitFont(12, QFont::Medium)))
    , m_percent(new KitLine(QString(), kitFont(11.5, QFont::Medium), KitPalette::secondary()))
    , m_bar(new MeterBar(0, QColor()))
    , m_reset(new KitLine(QString(), kitFont(11), KitPalette::tertiary()))
    , m_ticker(new KitRepaintTicker(this, clock, 30, [this] { refresh(); }))
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(5);
    auto* top = new QHBoxLayout();
    top->setContentsMargins(0, 0, 0, 0);
    top->setSpacing(8);
    top->addWidget(m_name, 1);
    m_percent->setKeepsWidth(true);
    top->addWidget(m_percent);
    column->addLayout(top);
    column->addWidget(m_bar);
    column->addWidget(m_reset);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    refresh();
}

void UsageMeterView::setMeter(const UsageMeter& meter)
{
    if (meter == m_meter)
        return;
    m_meter = meter;
    refresh();
}

UsageMeter UsageMeterView::shownMeter() const
{
    UsageReport one;
    one.meters = {m_meter};
    return one.rolledOver(m_clock.wallNow()).meters.first();
}

void UsageMeterView::refresh()
{
    const UsageMeter meter = shownMeter();
    const QColor colour = tint(meter, m_service);
    m_name->setText(meter.name);
    m_percent->setText(meter.percentText());
    m_bar->setFraction(meter.fraction);
    m_bar->setColour(colour);
    const auto reset = meter.resetText(m_clock.wallNow());
    m_reset->setText(reset.value_or(QString()));
    m_reset->setVisible(reset.has_value());
}

void UsageMeterView::paintEvent(QPaintEvent*)
{
    m_ticker->painted();
}

void UsageMeterView::hideEvent(QHideEvent* event)
{
    m_ticker->stop();
    QWidget::hideEvent(event);
}

UsageCard::UsageCard(KitService service, DevKitStore& kit, Scheduler& clock, QWidget* parent)
    : QWidget(parent)
    , m_service(service)
    , m_kit(kit)
    , m_clock(clock)
{
    KitCard::Header header;
    header.title = service.section();
    header.detail = detail(service, kit);
    header.source = service.title();
    header.dividesHeader = true;
    m_card = new KitCard(service, header, nullptr, this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_card);
    const auto resync = [this] { sync(); };
    connect(&kit, &DevKitStore::snapshotChanged, this, resync);
    connect(&kit, &DevKitStore::planConnectionsChanged, this, resync);
    connect(&kit, &DevKitStore::apiConnectionsChanged, this, resync);
    connect(&kit.preferences(), &PreferencesStore::checkIntervalsChanged, this, resync);
    sync();
}

QString UsageCard::detail(KitService service, const DevKitStore& kit)
{
    QString text = intervalText(kit.preferences(), service);
    if (const auto report = kit.usageReport(service); report && report->plan && !report->plan->isEmpty())
        text += middleDot() + *report->plan;
    return text;
}

QStringList UsageCard::failures(KitService service, const DevKitStore& kit)
{
    QStringList sentences;
    for (const auto& halves : {kit.planConnections(), kit.apiConnections()}) {
        const QString sentence = halfSentence(halves.value(service), service);
        if (!sentence.isEmpty())
            sentences << sentence;
    }
    return sentences;
}

QString UsageCard::amountText(const UsageSpend& spend, const QLocale& locale)
{
    return spend.amountText(locale);
}

QList<UsageMeterView*> UsageCard::meterViews() const
{
    if (!m_card->content())
        return {};
    return m_card->content()->findChildren<UsageMeterView*>();
}

void UsageCard::sync()
{
    KitCard::Header header = m_card->header();
    header.detail = detail(m_service, m_kit);
    m_card->setHeader(header);

    const Shown shown {
        m_kit.usageReport(m_service), m_kit.snapshot().spend.value(m_service), failures(m_service, m_kit)};
    if (m_shown && *m_shown == shown)
        return;
    m_shown = shown;

    const bool empty = (!shown.report || shown.report->meters.isEmpty()) && shown.spend.isEmpty();
    if (empty && shown.failures.isEmpty()) {
        m_card->setContent(new KitCenteredNote(
            QStringLiteral("No ") + m_service.section().toLower() + QStringLiteral(" yet.")));
        return;
    }
    auto* content = new QWidget();
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(12);
    if (shown.report) {
        for (const UsageMeter& meter : shown.report->meters)
            column->addWidget(new UsageMeterView(m_service, meter, m_clock));
    }
    for (const UsageSpend& spend : shown.spend) {
        auto* row = new QWidget();
        auto* line = new QHBoxLayout(row);
        line->setContentsMargins(0, 0, 0, 0);
        line->setSpacing(8);
        auto* texts = new QVBoxLayout();
        texts->setContentsMargins(0, 0, 0, 0);
        texts->setSpacing(2);
        texts->addWidget(new KitLine(spend.name, kitFont(12, QFont::Medium)));
        if (const auto tokens = spend.tokensText())
            texts->addWidget(new KitLine(*tokens, kitFont(11), KitPalette::secondary()));
        line->addLayout(texts, 1);
        auto* amount = new KitLine(amountText(spend), kitFont(12, QFont::Medium));
        amount->setKeepsWidth(true);
        line->addWidget(amount, 0, Qt::AlignTop);
        column->addWidget(row);
    }
    for (const QString& sentence : shown.failures)
        column->addWidget(makeWrappingLabel(sentence, kitFont(11), KitPalette::red()));
    column->addStretch(1);
    m_card->setContent(content);
}

} // namespace brenvo
