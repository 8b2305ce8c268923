#pragma once

#include <QAbstractButton>
#include <QWidget>

#include <functional>

class QVBoxLayout;

namespace brenvo {

// A full-width clickable row: the whole padded rectangle, empty parts included, takes clicks. Its
// label is given once and lives inside it; the row has no highlight of its own.
class KitRowButton : public QAbstractButton {
    Q_OBJECT
public:
    KitRowButton(QWidget* label, std::function<void()> action, QWidget* parent = nullptr);

    QWidget* label() const { return m_label; }
    void setAction(std::function<void()> action) { m_action = std::move(action); }
    // Padding above and below the label; a KitRows sets it, elsewhere it is 0.
    void setPadding(int top, int bottom);
    int topPadding() const;
    int bottomPadding() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QWidget* m_label;
    QVBoxLayout* m_layout;
    std::function<void()> m_action;
};

// A stack of rows with even gaps: two neighbouring row buttons stand `spacing` apart, measured
// between their labels, and their clickable areas meet. The first label is flush with the top and
// the last with the bottom. Other children get no padding.
class KitRows : public QWidget {
    Q_OBJECT
public:
    explicit KitRows(qreal spacing, QWidget* parent = nullptr);

    qreal spacing() const { return m_spacing; }
    void addRow(QWidget* row);
    // Removes every row (deleted later, so a row may clear its own stack from its click).
    void clear();
    int count() const;
    QWidget* row(int index) const;

private:
    void repad();
    qreal m_spacing;
    class RowsLayout* m_layout;
};

// A plain text button in secondary white.
class KitTextButton : public QAbstractButton {
    Q_OBJECT
public:
    KitTextButton(const QString& title, QWidget* parent = nullptr);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// The 22-point round back button of detail pages and the picker.
class KitBackButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit KitBackButton(QWidget* parent = nullptr);

    QSize sizeHint() const override { return QSize(22, 22); }
    bool hitButton(const QPoint& pos) const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace brenvo
