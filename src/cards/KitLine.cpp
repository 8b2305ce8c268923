#include "cards/KitLine.h"

#include "cards/KitRepaintTicker.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace brenvo {

namespace {

// Plain text on one line: line breaks of a tool's message must not stack lines.
QString oneLine(const QString& text)
{
    QString flat = text;
    flat.replace(u'\n', u' ');
    flat.replace(u'\r', u' ');
    flat.replace(u'\t', u' ');
    return flat;
}

} // namespace

KitLine::KitLine(const QString& text, const QFont& font, const QColor& colour, QWidget* parent)
    : QWidget(parent)
    , m_text(oneLine(text))
    , m_colour(colour)
{
    setFont(font);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void KitLine::setText(const QString& text)
{
    const QString flat = oneLine(text);
    if (flat == m_text)
        return;
    m_text = flat;
    updateGeometry();
    update();
}

void KitLine::setColour(const QColor& colour)
{
    if (colour == m_colour)
        return;
    m_colour = colour;
    update();
}

void KitLine::setLineFont(const QFont& font)
{
    if (font == this->font())
        return;
    setFont(font);
    updateGeometry();
    update();
}

void KitLine::setElideMode(Qt::TextElideMode mode)
{
    m_elide = mode;
    update();
}

void KitLine::setAlignment(Qt::Alignment alignment)
{
    m_alignment = alignment;
    update();
}

void KitLine::setUnderline(bool underline)
{
    QFont f = font();
    f.setUnderline(underline);
    setFont(f);
    update();
}

void KitLine::setKeepsWidth(bool keeps)
{
    m_keepsWidth = keeps;
    setSizePolicy(keeps ? QSizePolicy::Fixed : QSizePolicy::Preferred, QSizePolicy::Fixed);
    updateGeometry();
}

void KitLine::setLiveText(std::function<QString()> source, Scheduler& clock)
{
    m_source = std::move(source);
    if (!m_ticker)
        m_ticker = new KitRepaintTicker(this, clock, 30);
    if (m_source)
        setText(m_source());
}

bool KitLine::isTicking() const
{
    return m_ticker && m_ticker->isArmed();
}

void KitLine::hideEvent(QHideEvent* event)
{
    if (m_ticker)
        m_ticker->stop();
    QWidget::hideEvent(event);
}

QString KitLine::shownText() const
{
    if (m_keepsWidth)
        return m_text;
    return QFontMetricsF(font()).elidedText(m_text, m_elide, width());
}

QSize KitLine::sizeHint() const
{
    const QFontMetricsF metrics(font());
    return QSize(int(std::ceil(metrics.horizontalAdvance(m_text))), int(std::ceil(metrics.height())));
}

QSize KitLine::minimumSizeHint() const
{
    if (m_keepsWidth)
        return sizeHint();
    return QSize(0, sizeHint().height());
}

void KitLine::paintEvent(QPaintEvent*)
{
    if (m_source) {
        const QString now = oneLine(m_source());
        if (now != m_text) {
            m_text = now;
            updateGeometry();
        }
        m_ticker->painted();
    }
    QPainter p(this);
    p.setFont(font());
    p.setPen(m_colour.isValid() ? m_colour : palette().color(QPalette::WindowText));
    p.drawText(QRectF(rect()), int(m_alignment) | Qt::TextSingleLine, shownText());
}

KitPairLine::KitPairLine(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void KitPairLine::setLeading(const QString& text, const QFont& font, const QColor& colour)
{
    const QString flat = oneLine(text);
    if (flat == m_leading.text && font == m_leading.font && colour == m_leading.colour)
        return;
    m_leading = Part {flat, font, colour};
    updateGeometry();
    update();
}

void KitPairLine::setTrailing(const QString& text, const QFont& font, const QColor& colour)
{
    const QString flat = oneLine(text);
    if (flat == m_trailing.text && font == m_trailing.font && colour == m_trailing.colour)
        return;
    m_trailing = Part {flat, font, colour};
    updateGeometry();
    update();
}

void KitPairLine::setGap(qreal gap)
{
    m_gap = gap;
    updateGeometry();
}

qreal KitPairLine::trailingReserve() const
{
    if (m_trailing.text.isEmpty())
        return 0;
    // However long the name, a status keeps the ellipsis and its last few characters: a failed
    // check must not be left with its red dot alone.
    const QFontMetricsF metrics(m_trailing.font);
    const qreal whole = metrics.horizontalAdvance(m_trailing.text);
    const qreal least = std::ceil(metrics.horizontalAdvance(QChar(0x2026) + m_trailing.text.right(6)));
    return std::min(whole, least) + m_gap;
}

qreal KitPairLine::leadingWidth(qreal width) const
{
    const qreal full = QFontMetricsF(m_leading.font).horizontalAdvance(m_leading.text);
    return std::max<qreal>(0, std::min(full, width - trailingReserve()));
}

QString KitPairLine::shownLeading(qreal width) const
{
    return QFontMetricsF(m_leading.font).elidedText(m_leading.text, Qt::ElideRight, leadingWidth(width));
}

QString KitPairLine::shownTrailing(qreal width) const
{
    const qreal room = width - leadingWidth(width) - m_gap;
    if (room <= 0)
        return QString();
    return QFontMetricsF(m_trailing.font).elidedText(m_trailing.text, Qt::ElideLeft, room);
}

QSize KitPairLine::sizeHint() const
{
    const QFontMetricsF lead(m_leading.font);
    const QFontMetricsF trail(m_trailing.font);
    const qreal w = lead.horizontalAdvance(m_leading.text) + m_gap + trail.horizontalAdvance(m_trailing.text);
    return QSize(int(std::ceil(w)), int(std::ceil(std::max(lead.height(), trail.height()))));
}

QSize KitPairLine::minimumSizeHint() const
{
    return QSize(0, sizeHint().height());
}

void KitPairLine::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const qreal w = width();
    const qreal lead = leadingWidth(w);
    p.setFont(m_leading.font);
    p.setPen(m_leading.colour.isValid() ? m_leading.colour : palette().color(QPalette::WindowText));
    p.drawText(
        QRectF(0, 0, lead, height()), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shownLeading(w));
    const QString trailing = shownTrailing(w);
    if (!trailing.isEmpty()) {
        p.setFont(m_trailing.font);
        p.setPen(m_trailing.colour.isValid() ? m_trailing.colour : palette().color(QPalette::WindowText));
        p.drawText(QRectF(lead + m_gap, 0, w - lead - m_gap, height()),
            Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine, trailing);
    }
}

} // namespace brenvo

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QTextLayout>

namespace brenvo {

KitClampedText* makeWrappingLabel(
    const QString& text, const QFont& font, const QColor& colour, Qt::Alignment alignment, QWidget* parent)
{
    return new KitClampedText(text, font, colour, KitClampedText::fewLines, alignment, parent);
}

void setLabelColour(QLabel* label, const QColor& colour)
{
    if (!colour.isValid())
        return; // the surrounding foreground
    QPalette palette = label->palette();
    if (palette.color(QPalette::WindowText) == colour)
        return;
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

KitClampedText::KitClampedText(const QString& text, const QFont& font, const QColor& colour, int maxLines,
    Qt::Alignment alignment, QWidget* parent)
    : QLabel(parent)
    , m_text(text)
    , m_maxLines(std::max(1, maxLines))
{
    setTextFormat(Qt::PlainText);
    setFont(font);
    setAlignment(alignment);
    // Selected with the mouse (a click gives it the keys to copy with); never a stop for Tab.
    setTextInteractionFlags(Qt::TextSelectableByMouse);
    setContextMenuPolicy(Qt::DefaultContextMenu);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Minimum);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    setLabelColour(this, colour);
    reflow();
}

void KitClampedText::setFullText(const QString& text)
{
    if (text == m_text)
        return;
    m_text = text;
    reflow();
    updateGeometry();
}

QStringList KitClampedText::shownLines(int width, bool* clamped) const
{
    QStringList lines;
    if (clamped)
        *clamped = false;
    if (m_text.isEmpty())
        return lines;
    if (width <= 0)
        return {m_text}; // not laid out yet
    QString flat = m_text;
    flat.replace(u'\n', QChar::LineSeparator);
    QTextLayout layout(flat, font());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    const QFontMetricsF metrics(font());
    while (true) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(width);
        if (lines.size() == m_maxLines - 1) {
            // The last allowed line holds the rest of the text, cut to fit.
            QString rest = flat.mid(line.textStart());
            rest.replace(QChar::LineSeparator, u' ');
            rest = rest.trimmed();
            lines << metrics.elidedText(rest, Qt::ElideRight, width);
            if (clamped)
                *clamped = lines.last() != rest;
            break;
        }
        QString part = flat.mid(line.textStart(), line.textLength());
        part.remove(QChar::LineSeparator);
        lines << part.trimmed();
    }
    layout.endLayout();
    return lines;
}

void KitClampedText::reflow()
{
    const QString shown = shownLines(width(), &m_clamped).join(u'\n');
    if (shown != text())
        setText(shown);
    // A tooltip is read as markup when it looks like some: escape it.
    const QString tip = m_clamped
        ? QStringLiteral("<p style='white-space:pre-wrap'>") + m_text.toHtmlEscaped() + QStringLiteral("</p>")
        : QString();
    if (tip != toolTip())
        setToolTip(tip);
}

QString KitClampedText::copiedText() const
{
    // A selection that reaches the ellipsis stands for the whole text.
    const QString selected = selectedText();
    return m_clamped && selected.endsWith(QChar(0x2026)) ? m_text : selected;
}

int KitClampedText::heightForWidth(int width) const
{
    const QStringList lines = shownLines(width);
    if (lines.isEmpty())
        return 0;
    return QFontMetrics(font())
        .boundingRect(QRect(0, 0, std::max(width, 1), 1 << 20), int(alignment()), lines.join(u'\n'))
        .height();
}

QSize KitClampedText::sizeHint() const
{
    const QFontMetricsF metrics(font());
    const int w = int(std::ceil(std::min<qreal>(metrics.horizontalAdvance(m_text), 260)));
    return QSize(w, heightForWidth(w));
}

QSize KitClampedText::minimumSizeHint() const
{
    return QSize(0, m_text.isEmpty() ? 0 : QFontMetrics(font()).height());
}

void KitClampedText::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    reflow();
}

void KitClampedText::keyPressEvent(QKeyEvent* event)
{
    if (event == QKeySequence::Copy && hasSelectedText()) {
        QApplication::clipboard()->setText(copiedText());
        event->accept();
        return;
    }
    QLabel::keyPressEvent(event);
}

void KitClampedText::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu menu(this);
    QAction* copy = menu.addAction(QStringLiteral("Copy"));
    copy->setEnabled(hasSelectedText());
    QAction* all = menu.addAction(QStringLiteral("Copy All"));
    QAction* chosen = menu.exec(event->globalPos());
    if (chosen == copy)
        QApplication::clipboard()->setText(copiedText());
    else if (chosen == all)
        QApplication::clipboard()->setText(m_text);
}

} // namespace brenvo
