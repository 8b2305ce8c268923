#pragma once

#include <QColor>
#include <QWidget>

namespace brenvo {

// The application's icon at a given size, with rounded corners.
class AppIconView : public QWidget {
    Q_OBJECT
public:
    explicit AppIconView(qreal size, QWidget* parent = nullptr);

    qreal size() const { return m_size; }
    static qreal cornerRadius(qreal size) { return 0.224 * size; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    qreal m_size;
};

// A pale blue and lilac wash laid behind the content of the application's own windows.
class CardWash : public QWidget {
    Q_OBJECT
public:
    explicit CardWash(QWidget* parent = nullptr);

    static QColor washBlue();
    static QColor washLilac();

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace brenvo
