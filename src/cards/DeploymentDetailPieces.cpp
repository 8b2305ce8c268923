#include "cards/DeploymentDetailPieces.h"

#include "cards/KitFont.h"
#include "cards/KitLine.h"
#include "cards/KitPalette.h"
#include "cards/OpenInBrowser.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>
#include <QVariantAnimation>

namespace brenvo {

Spinner::Spinner(QWidget* parent)
    : QWidget(parent)
    , m_turn(new QVariantAnimation(this))
{
    setFixedSize(16, 16);
    m_turn->setStartValue(0.0);
    m_turn->setEndValue(360.0);
    m_turn->setDuration(900);
    m_turn->setLoopCount(-1);
    connect(m_turn, &QVariantAnimation::valueChanged, this, [this] { update(); });
}

void Spinner::showEvent(QShowEvent*)
{
    m_turn->start();
}

void Spinner::hideEvent(QHideEvent*)
{
    m_turn->stop();
}

void Spinner::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, true);
    QPen pen(KitPalette::secondary(), 2, Qt::SolidLine, Qt::RoundCap);
    p.setPen(pen);
    const qreal angle = m_turn->currentValue().toReal();
    p.drawArc(QRectF(2, 2, 12, 12), int(-angle * 16), int(270 * 16));
}

LiveLink::LiveLink(const QString& domain, const QUrl& url, QWidget* parent)
    : QAbstractButton(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(5);
    auto* label = new KitLine(QStringLiteral("Live at"), kitFont(11.5), KitPalette::secondary());
    label->setKeepsWidth(true);
    auto* host = new KitLine(domain, kitFont(11.5));
    host->setUnderline(true);
    row->addWidget(label);
    row->addWidget(host, 1);
    setAccessibleName(QStringLiteral("Live at ") + domain);
    connect(this, &QAbstractButton::clicked, this, [url] { openInBrowser(url); });
}

QSize LiveLink::sizeHint() const
{
    return layout()->sizeHint();
}

QSize LiveLink::minimumSizeHint() const
{
    return layout()->minimumSize();
}

void LiveLink::paintEvent(QPaintEvent*) { }

FailureBox::FailureBox(const DeploymentDetails& details, QWidget* parent)
    : QWidget(parent)
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(9, 9, 9, 9);
    column->setSpacing(6);
    column->addWidget(new KitClampedText(details.errorMessage.value_or(QStringLiteral("It failed.")),
        kitFont(11.5, QFont::Medium), QColor(), 2));
    for (const QString& line : details.logTail) {
        auto* log = new KitLine(
            line, kitFont(10.5, QFont::Normal, KitFontDesign::monospaced), KitPalette::secondary());
        column->addWidget(log);
    }
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void FailureBox::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, true);
    QPainterPath box;
    box.addRoundedRect(QRectF(rect()), 9, 9);
    p.fillPath(box, KitPalette::red(0.16));
}

} // namespace brenvo
