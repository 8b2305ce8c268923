#include "cards/KitFaceStack.h"

#include <QGraphicsOpacityEffect>
#include <QVariantAnimation>

namespace brenvo {

namespace {

void setOpacity(QWidget* face, qreal opacity)
{
    if (opacity >= 1) {
        face->setGraphicsEffect(nullptr);
        return;
    }
    auto* effect = qobject_cast<QGraphicsOpacityEffect*>(face->graphicsEffect());
    if (!effect) {
        effect = new QGraphicsOpacityEffect(face);
        face->setGraphicsEffect(effect);
    }
    effect->setOpacity(opacity);
}

} // namespace

KitFaceStack::KitFaceStack(QWidget* parent)
    : QWidget(parent)
    , m_animation(new QVariantAnimation(this))
{
    m_animation->setDuration(durationMs);
    m_animation->setEasingCurve(QEasingCurve::OutCubic);
    m_animation->setStartValue(0.0);
    m_animation->setEndValue(1.0);
    connect(m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        const qreal t = v.toReal();
        if (m_face)
            place(m_face, t, true);
        if (m_leaving)
            place(m_leaving, t, false);
    });
    connect(m_animation, &QVariantAnimation::finished, this, [this] { finishTransition(); });
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

void KitFaceStack::place(QWidget* face, qreal progress, bool entering)
{
    const int offset = entering ? m_offset : m_leavingOffset;
    const qreal away = entering ? 1.0 - progress : progress;
    face->setGeometry(rect().translated(int(offset * away), 0));
    setOpacity(face, 1.0 - away);
}

void KitFaceStack::setFace(QWidget* face, int offset, bool animated)
{
    if (face == m_face)
        return;
    finishTransition();
    QWidget* old = m_face;
    const int oldOffset = m_offset;
    m_face = face;
    m_offset = offset;
    if (face) {
        face->setParent(this);
        face->setGeometry(rect());
        face->show();
        face->raise();
    }
    updateGeometry();
    if (!old)
        return;
    if (!animated || !isVisible()) {
        old->hide();
        old->deleteLater();
        return;
    }
    m_leaving = old;
    m_leavingOffset = oldOffset;
    if (face)
        place(face, 0, true);
    m_animation->start();
}

bool KitFaceStack::isChanging() const
{
    return m_animation->state() == QAbstractAnimation::Running;
}

void KitFaceStack::finishTransition()
{
    if (m_animation->state() == QAbstractAnimation::Running)
        m_animation->stop();
    if (m_leaving) {
        QWidget* leaving = m_leaving;
        m_leaving = nullptr;
        leaving->hide();
        leaving->deleteLater();
    }
    if (m_face) {
        m_face->setGeometry(rect());
        setOpacity(m_face, 1);
    }
}

QSize KitFaceStack::sizeHint() const
{
    return m_face ? m_face->sizeHint() : QSize(0, 0);
}
QSize KitFaceStack::minimumSizeHint() const
{
    return m_face ? m_face->minimumSizeHint() : QSize(0, 0);
}
bool KitFaceStack::hasHeightForWidth() const
{
    return m_face && m_face->hasHeightForWidth();
}
int KitFaceStack::heightForWidth(int width) const
{
    return m_face ? m_face->heightForWidth(width) : 0;
}

void KitFaceStack::resizeEvent(QResizeEvent*)
{
    if (!isChanging() && m_face)
        m_face->setGeometry(rect());
}

} // namespace brenvo
