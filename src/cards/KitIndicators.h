#pragma once

#include <QColor>
#include <QDateTime>
#include <QFont>
#include <QWidget>

namespace brenvo {

class KitRepaintTicker;
class Scheduler;

// A filled dot in its caller's colour.
class SignalDot : public QWidget {
    Q_OBJECT
public:
    SignalDot(const QColor& colour, qreal size, QWidget* parent = nullptr);

    QColor colour() const { return m_colour; }
    qreal size() const { return m_size; }
    void setColour(const QColor& colour);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_colour;
    qreal m_size;
};

// The compact age of a moment ("now", "5m", "2h", "3d") in tertiary white with monospaced digits.
// The age is worked out whenever the label paints; while it is on screen it asks for a repaint
// every 30 s, and nothing ticks once it is no longer painted.
class AgeLabel : public QWidget {
    Q_OBJECT
public:
    static constexpr int tickSeconds = 30;

    AgeLabel(const QDateTime& date, Scheduler& clock, QWidget* parent = nullptr);

    QDateTime date() const { return m_date; }
    void setDate(const QDateTime& date);

    // The age at the clock's current time.
    QString text() const;
    // Whether a re-evaluation is pending.
    bool isTicking() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

    // Width of a text with every digit taking the width of the widest one.
    static qreal textWidth(const QString& text, const QFont& font);

protected:
    void paintEvent(QPaintEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QDateTime m_date;
    Scheduler& m_clock;
    QString m_shown;
    KitRepaintTicker* m_ticker;
};

// A thin bar filled to a fraction of its width.
class MeterBar : public QWidget {
    Q_OBJECT
public:
    static constexpr int barHeight = 5;

    MeterBar(double fraction, const QColor& colour, QWidget* parent = nullptr);

    double fraction() const { return m_fraction; }
    QColor colour() const { return m_colour; }
    void setFraction(double fraction);
    void setColour(const QColor& colour);

    // The filled width on a track: 0 for a fraction of 0 or less (or not a number), the whole
    // track above 1.
    static qreal fillWidth(double fraction, qreal trackWidth);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double m_fraction;
    QColor m_colour;
};

} // namespace brenvo
