#pragma once

// Shared helpers of the card tests: laying widgets out offscreen, finding children and clicking.
#include <QAbstractButton>
#include <QApplication>
#include <QLayout>
#include <QTest>
#include <QWidget>

namespace brenvo::test {

// Shows a widget at a width and lets its layouts settle, as the panel would.
inline void layOut(QWidget& w, int width = 292, int height = -1)
{
    w.setAttribute(Qt::WA_DontShowOnScreen, false);
    if (height < 0) {
        w.resize(width, 10);
        w.show();
        QApplication::processEvents();
        const int natural = w.hasHeightForWidth() ? w.heightForWidth(width) : w.sizeHint().height();
        w.resize(width, std::max(natural, w.minimumSizeHint().height()));
    } else {
        w.resize(width, height);
        w.show();
    }
    for (int i = 0; i < 3; ++i) {
        if (w.layout())
            w.layout()->activate();
        QApplication::processEvents();
    }
}

// Clicks a widget at a point in its own coordinates (its centre by default).
inline void click(QWidget* w, QPoint at = QPoint(-1, -1))
{
    if (at.x() < 0)
        at = w->rect().center();
    QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, at);
}

// The first visible child of a type that matches a predicate.
template <typename T, typename Pred> T* findChildWhere(const QWidget& root, Pred pred)
{
    for (T* child : root.findChildren<T*>()) {
        if (child->isVisibleTo(&root) && pred(child))
            return child;
    }
    return nullptr;
}

template <typename T> QList<T*> visibleChildren(const QWidget& root)
{
    QList<T*> found;
    for (T* child : root.findChildren<T*>()) {
        if (child->isVisibleTo(&root))
            found << child;
    }
    return found;
}

// A button by its text.
inline QAbstractButton* buttonTitled(const QWidget& root, const QString& text)
{
    return findChildWhere<QAbstractButton>(root, [&](QAbstractButton* b) { return b->text() == text; });
}

} // namespace brenvo::test
