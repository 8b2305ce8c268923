#pragma once

#include <QPointer>
#include <QWidget>

class QVariantAnimation;

namespace brenvo {

// Holds the one face a card shows (a list, a picker, a detail page). A new face slides in from its
// own side while the old one slides out to its side, both fading, drawn over one another.
class KitFaceStack : public QWidget {
    Q_OBJECT
public:
    static constexpr int slide = 28;
    static constexpr int durationMs = 300;

    explicit KitFaceStack(QWidget* parent = nullptr);

    QWidget* face() const { return m_face; }
    // Shows a face; `offset` is the horizontal distance it enters from and leaves to (+28 from the
    // right, -28 from the left). The old face is deleted once it has left.
    void setFace(QWidget* face, int offset, bool animated = true);
    // Ends a running change at once.
    void finishTransition();
    bool isChanging() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void place(QWidget* face, qreal progress, bool entering);
    QWidget* m_face = nullptr;
    int m_offset = 0;
    QPointer<QWidget> m_leaving;
    int m_leavingOffset = 0;
    QVariantAnimation* m_animation;
};

} // namespace brenvo
