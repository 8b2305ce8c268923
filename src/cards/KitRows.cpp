#include "cards/KitRows.h"

#include "cards/KitFont.h"
#include "cards/KitPalette.h"
#include "cards/KitSymbols.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QVBoxLayout>

#include <cmath>

namespace brenvo {

KitRowButton::KitRowButton(QWidget* label, std::function<void()> action, QWidget* parent)
    : QAbstractButton(parent)
    , m_label(label)
    , m_layout(new QVBoxLayout(this))
    , m_action(std::move(action))
{
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(0);
    m_layout->addWidget(label);
    // The label's parts never take the click themselves.
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    connect(this, &QAbstractButton::clicked, this, [this] {
        if (m_action)
            m_action();
    });
}

void KitRowButton::setPadding(int top, int bottom)
{
    const QMargins margins(0, top, 0, bottom);
    if (m_layout->contentsMargins() == margins)
        return;
    m_layout->setContentsMargins(margins);
    updateGeometry();
}

int KitRowButton::topPadding() const
{
    return m_layout->contentsMargins().top();
}
int KitRowButton::bottomPadding() const
{
    return m_layout->contentsMargins().bottom();
}

QSize KitRowButton::sizeHint() const
{
    return m_layout->sizeHint();
}
QSize KitRowButton::minimumSizeHint() const
{
    return m_layout->minimumSize();
}

void KitRowButton::paintEvent(QPaintEvent*) { }

KitRows::KitRows(qreal spacing, QWidget* parent)
    : QWidget(parent)
    , m_spacing(spacing)
    , m_layout(new QVBoxLayout(this))
{
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(0);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void KitRows::addRow(QWidget* row)
{
    m_layout->addWidget(row);
    repad();
}

void KitRows::clear()
{
    while (QLayoutItem* item = m_layout->takeAt(0)) {
        if (QWidget* w = item->widget()) {
            w->hide();
            w->deleteLater();
        }
        delete item;
    }
}

int KitRows::count() const
{
    return m_layout->count();
}

QWidget* KitRows::row(int index) const
{
    QLayoutItem* item = m_layout->itemAt(index);
    return item ? item->widget() : nullptr;
}

void KitRows::repad()
{
    // Every row button is padded by half the spacing above and below; the stack pulls its own
    // edges in by as much, so the first and last labels sit flush with it.
    const int above = int(std::floor(m_spacing / 2.0));
    const int below = int(std::round(m_spacing)) - above;
    m_layout->setContentsMargins(0, -above, 0, -below);
    for (int i = 0; i < m_layout->count(); ++i) {
        if (auto* button = qobject_cast<KitRowButton*>(row(i)))
            button->setPadding(above, below);
    }
}

KitTextButton::KitTextButton(const QString& title, QWidget* parent)
    : QAbstractButton(parent)
{
    setText(title);
    setFont(kitFont(11.5));
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize KitTextButton::sizeHint() const
{
    const QFontMetricsF metrics(font());
    return QSize(int(std::ceil(metrics.horizontalAdvance(text()))), int(std::ceil(metrics.height())) + 10);
}

void KitTextButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setFont(font());
    p.setPen(KitPalette::secondary());
    p.drawText(rect().adjusted(0, 5, 0, -5), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text());
}

KitBackButton::KitBackButton(QWidget* parent)
    : QAbstractButton(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAccessibleName(QStringLiteral("Back"));
}

bool KitBackButton::hitButton(const QPoint& pos) const
{
    const QPointF d = QPointF(pos) - QRectF(rect()).center();
    return d.x() * d.x() + d.y() * d.y() <= 11.0 * 11.0;
}

void KitBackButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, true);
    const QRectF disc(QRectF(rect()).center() - QPointF(11, 11), QSizeF(22, 22));
    p.setPen(Qt::NoPen);
    p.setBrush(KitPalette::fill());
    p.drawEllipse(disc);
    const QSizeF glyph = kitSymbolSize(KitSymbol::chevronLeft, 10);
    paintKitSymbol(p, KitSymbol::chevronLeft,
        QRectF(disc.center() - QPointF(glyph.width() / 2, glyph.height() / 2), glyph),
        palette().color(QPalette::WindowText), QColor(), QFont::Bold);
}

} // namespace brenvo
