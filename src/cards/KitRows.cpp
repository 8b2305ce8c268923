#include "cards/KitRows.h"

#include "cards/KitFont.h"
#include "cards/KitPalette.h"
#include "cards/KitSymbols.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QVBoxLayout>

#include <cmath>

namespace brenvo {

// A column whose first and last items may reach beyond its edges: the row buttons' outer padding
// lies outside the stack, so the first and last labels are flush with it.
class RowsLayout : public QLayout {
public:
    explicit RowsLayout(QWidget* parent)
        : QLayout(parent)
    {
        setContentsMargins(0, 0, 0, 0);
    }
    ~RowsLayout() override
    {
        while (QLayoutItem* item = takeAt(0))
            delete item;
    }

    void setPull(int top, int bottom)
    {
        m_top = top;
        m_bottom = bottom;
        invalidate();
    }

    void addItem(QLayoutItem* item) override { m_items << item; }
    int count() const override { return int(m_items.size()); }
    QLayoutItem* itemAt(int index) const override { return m_items.value(index); }
    QLayoutItem* takeAt(int index) override
    {
        if (index < 0 || index >= m_items.size())
            return nullptr;
        return m_items.takeAt(index);
    }
    Qt::Orientations expandingDirections() const override { return {}; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override { return total(width); }
    QSize sizeHint() const override { return QSize(widest(false), total(widest(false))); }
    QSize minimumSize() const override { return QSize(widest(true), total(widest(false))); }

    void setGeometry(const QRect& rect) override
    {
        QLayout::setGeometry(rect);
        int y = rect.top() - pullTop();
        for (QLayoutItem* item : m_items) {
            if (item->isEmpty())
                continue;
            const int h = heightOf(item, rect.width());
            // Widgets are placed directly: a layout item would keep them inside the stack.
            if (QWidget* w = item->widget())
                w->setGeometry(rect.left(), y, rect.width(), h);
            else
                item->setGeometry(QRect(rect.left(), y, rect.width(), h));
            y += h;
        }
    }

private:
    static int heightOf(QLayoutItem* item, int width)
    {
        return item->hasHeightForWidth() ? item->heightForWidth(width) : item->sizeHint().height();
    }
    int widest(bool minimum) const
    {
        int w = 0;
        for (QLayoutItem* item : m_items) {
            if (!item->isEmpty())
                w = std::max(w, minimum ? item->minimumSize().width() : item->sizeHint().width());
        }
        return w;
    }
    int visibleCount() const
    {
        return int(
            std::count_if(m_items.begin(), m_items.end(), [](QLayoutItem* i) { return !i->isEmpty(); }));
    }
    int pullTop() const { return visibleCount() ? m_top : 0; }
    int total(int width) const
    {
        int h = 0;
        for (QLayoutItem* item : m_items) {
            if (!item->isEmpty())
                h += heightOf(item, width);
        }
        return visibleCount() ? std::max(0, h - m_top - m_bottom) : 0;
    }

    QList<QLayoutItem*> m_items;
    int m_top = 0;
    int m_bottom = 0;
};

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
    , m_layout(new RowsLayout(this))
{
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
    m_layout->setPull(above, below);
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
