#pragma once

#include <QColor>
#include <QFont>
#include <QMargins>
#include <QProxyStyle>

class QAbstractButton;

namespace brenvo {

// A push-button look painted by us: a label on a filled shape, set on a button with setStyle().
// One instance serves any number of buttons and lives for the process.
class PaintedButtonStyle : public QProxyStyle {
    Q_OBJECT
public:
    void polish(QWidget* widget) override;
    using QProxyStyle::polish;
    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& contents,
        const QWidget* widget) const override;
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
        const QWidget* widget) const override;
    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override;

    // Puts the style on a button and gives it the style's font.
    void applyTo(QAbstractButton* button);

    virtual QFont labelFont() const = 0;
    virtual QMargins insets() const = 0;

protected:
    PaintedButtonStyle();
    // Paints the background of a button in rect and returns the label colour. palette: the
    // button's own.
    virtual QColor paintBackground(
        QPainter& painter, const QRectF& rect, const QPalette& palette, bool pressed, bool enabled) const = 0;
    // The opacity of the whole button.
    virtual qreal opacity(bool pressed, bool enabled) const = 0;
};

// The panel's capsule buttons: a white-on-grey quiet one, a white prominent one and an orange one
// that asks for confirmation.
class KitButtonStyle : public PaintedButtonStyle {
    Q_OBJECT
public:
    enum class Kind { quiet, prominent, confirming };
    struct Look {
        QColor fill; // with its opacity
        QColor label;
    };

    static Look look(Kind kind, bool pressed);
    static KitButtonStyle* shared(Kind kind);
    static void apply(QAbstractButton* button, Kind kind) { shared(kind)->applyTo(button); }

    Kind kind() const { return m_kind; }
    QFont labelFont() const override;
    QMargins insets() const override { return QMargins(10, 5, 10, 5); }

protected:
    QColor paintBackground(QPainter& painter, const QRectF& rect, const QPalette& palette, bool pressed,
        bool enabled) const override;
    qreal opacity(bool, bool) const override { return 1.0; }

private:
    explicit KitButtonStyle(Kind kind)
        : m_kind(kind)
    {
    }
    Kind m_kind;
};

// The filled blue button of the application's own windows (onboarding, What's New).
class PrimaryButtonStyle : public PaintedButtonStyle {
    Q_OBJECT
public:
    static PrimaryButtonStyle* shared();
    static QColor topBlue();
    static QColor bottomBlue();
    static qreal opacityFor(bool pressed, bool enabled);

    QFont labelFont() const override;
    QMargins insets() const override { return QMargins(24, 10, 24, 10); }

protected:
    QColor paintBackground(QPainter& painter, const QRectF& rect, const QPalette& palette, bool pressed,
        bool enabled) const override;
    qreal opacity(bool pressed, bool enabled) const override { return opacityFor(pressed, enabled); }

private:
    PrimaryButtonStyle() = default;
};

// The quiet grey button of the application's own windows; it has no disabled look of its own.
class SecondaryButtonStyle : public PaintedButtonStyle {
    Q_OBJECT
public:
    static SecondaryButtonStyle* shared();
    static qreal opacityFor(bool pressed);

    QFont labelFont() const override;
    QMargins insets() const override { return QMargins(12, 6, 12, 6); }

protected:
    QColor paintBackground(QPainter& painter, const QRectF& rect, const QPalette& palette, bool pressed,
        bool enabled) const override;
    qreal opacity(bool pressed, bool) const override { return opacityFor(pressed); }

private:
    SecondaryButtonStyle() = default;
};

} // namespace brenvo
