#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <QWidget>

#include <functional>

namespace brenvo {

class KitRepaintTicker;
class Scheduler;

// One line of plain text that never wraps: a text that does not fit is cut (at its end, middle
// or head) with an ellipsis. Tool texts are drawn as they are, never read as markup.
class KitLine : public QWidget {
    Q_OBJECT
public:
    KitLine(
        const QString& text, const QFont& font, const QColor& colour = QColor(), QWidget* parent = nullptr);

    QString text() const { return m_text; }
    void setText(const QString& text);
    QColor colour() const { return m_colour; }
    // An invalid colour draws in the surrounding foreground (WindowText).
    void setColour(const QColor& colour);
    void setLineFont(const QFont& font);
    void setElideMode(Qt::TextElideMode mode);
    Qt::TextElideMode elideMode() const { return m_elide; }
    void setAlignment(Qt::Alignment alignment);
    void setUnderline(bool underline);
    // Keeps the text's full width: never cut, never shrunk by a layout.
    void setKeepsWidth(bool keeps);
    // A text that depends on the time (an age): worked out again on every paint, and repainted
    // every 30 s while on screen.
    void setLiveText(std::function<QString()> source, Scheduler& clock);
    bool isTicking() const;

    // The text as drawn in the current width.
    QString shownText() const;
    bool isElided() const { return shownText() != m_text; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    std::function<QString()> m_source;
    KitRepaintTicker* m_ticker = nullptr;
    QString m_text;
    QColor m_colour;
    Qt::TextElideMode m_elide = Qt::ElideRight;
    Qt::Alignment m_alignment = Qt::AlignLeft | Qt::AlignVCenter;
    bool m_keepsWidth = false;
};

// Two texts on one line: the leading one keeps its width first, the trailing one (after a gap)
// takes what is left and gives way at its head. The trailing one always keeps room for an
// ellipsis and a few of its last characters; a leading text that would take that room is cut.
class KitPairLine : public QWidget {
    Q_OBJECT
public:
    KitPairLine(QWidget* parent = nullptr);

    void setLeading(const QString& text, const QFont& font, const QColor& colour);
    void setTrailing(const QString& text, const QFont& font, const QColor& colour);
    void setGap(qreal gap);

    QString leadingText() const { return m_leading.text; }
    QString trailingText() const { return m_trailing.text; }
    QColor trailingColour() const { return m_trailing.colour; }
    // The two texts as drawn at a width.
    QString shownLeading(qreal width) const;
    QString shownTrailing(qreal width) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Part {
        QString text;
        QFont font;
        QColor colour;
    };
    qreal leadingWidth(qreal width) const;
    qreal trailingReserve() const;
    Part m_leading;
    Part m_trailing;
    qreal m_gap = 6;
};

} // namespace brenvo

class QLabel;

namespace brenvo {

class KitClampedText;

// Plain text wrapped onto a few lines at most (a tool's message can run to pages); an invalid
// colour keeps the foreground.
KitClampedText* makeWrappingLabel(const QString& text, const QFont& font, const QColor& colour,
    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignTop, QWidget* parent = nullptr);
// Sets a label's colour (its foreground role).
void setLabelColour(QLabel* label, const QColor& colour);

} // namespace brenvo

#include <QLabel>

namespace brenvo {

// Plain text wrapped onto at most a given number of lines; the last one is cut with an ellipsis,
// so that whatever stands below it stays on the card. The whole text is in the tooltip, and a
// copy of a selection that runs into the ellipsis (or "Copy All") takes the whole of it.
class KitClampedText : public QLabel {
    Q_OBJECT
public:
    static constexpr int fewLines = 4;

    KitClampedText(const QString& text, const QFont& font, const QColor& colour, int maxLines = fewLines,
        Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignTop, QWidget* parent = nullptr);

    QString fullText() const { return m_text; }
    void setFullText(const QString& text);
    // The lines drawn at a width; clamped tells whether some of the text was left out.
    QStringList shownLines(int width, bool* clamped = nullptr) const;
    bool isClamped() const { return m_clamped; }
    // What a copy of the selection puts on the clipboard.
    QString copiedText() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void reflow();

    QString m_text;
    int m_maxLines;
    bool m_clamped = false;
};

} // namespace brenvo
