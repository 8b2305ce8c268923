#pragma once

// Shared helpers of the card tests: laying widgets out offscreen, finding children and clicking.
#include "cards/KitLine.h"

#include <QApplication>
#include <QLabel>
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

template <typename T> QList<T*> visibleChildren(const QWidget& root)
{
    QList<T*> found;
    for (T* child : root.findChildren<T*>()) {
        if (child->isVisibleTo(&root))
            found << child;
    }
    return found;
}

// Every text a user sees under a widget: its lines and labels.
inline QStringList shownTexts(const QWidget& root)
{
    QStringList texts;
    for (KitLine* line : visibleChildren<KitLine>(root))
        texts << line->text();
    for (QLabel* label : visibleChildren<QLabel>(root))
        texts << label->text();
    return texts;
}

} // namespace brenvo::test
