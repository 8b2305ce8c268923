#pragma once

#include "model/KitService.h"
#include "model/KitSignal.h"
#include "model/Scheduler.h"

#include <QColor>
#include <QEasingCurve>
#include <QImage>
#include <QWidget>

#include <functional>
#include <optional>

class QScreen;
class QVariantAnimation;

namespace brenvo {

// The 26-point round badge of one tool in the strip: the tool's logo in white on a disc tinted by
// its signal, ringed in the same colour. A mark replaces it while the tile flashes; a turning arc
// runs round it while the tool works; the ring is drawn on when a tool becomes connected. The
// only state it keeps across updates is how far its ring is drawn.
class ServiceBadge : public QWidget {
    Q_OBJECT
public:
    static constexpr int side = 26;

    enum class Mark { done, problem };

    struct State {
        KitSignal signal = KitSignal::disconnected;
        bool isLit = false;
        std::optional<Mark> mark;
        bool isWorking = false;
        bool isFresh = false;

        bool operator==(const State&) const = default;
    };

    ServiceBadge(KitService service, State state, Scheduler& clock, QWidget* parent = nullptr);
    ~ServiceBadge() override;

    KitService service() const { return m_service; }
    const State& state() const { return m_state; }
    // Takes a new state; a change from disconnected to a connected signal draws the ring on.
    void setState(const State& state);

    // The drawn share of the ring as painted now, and the share it is heading for.
    qreal drawn() const { return m_drawn; }
    qreal drawnTarget() const { return m_drawnTarget; }
    // Ends every running animation at its end value.
    void finishAnimations();

    static QColor signalColour(KitSignal signal);
    static qreal fillOpacity(const State& state, qreal drawn);
    static qreal ringOpacity(const State& state, qreal drawn);
    static qreal trackOpacity(qreal drawn) { return drawn < 1 ? 1.0 : 0.0; }
    // The colour of the drawn arc (when not working), with its opacity.
    static QColor arcColour(const State& state, qreal drawn);
    // The turning rim's angle in degrees at a wall-clock time: one clockwise turn per second, in
    // rimSteps steps (as few as still read as turning: each step wakes the program).
    static constexpr int rimSteps = 10;
    static qreal rimAngle(qint64 msecsSinceEpoch);
    // How long until the rim's next step.
    static Duration rimFrameDelay(qint64 msecsSinceEpoch);
    // Whether the rim's next step is waited for: only while it can be seen.
    bool isRimTurning() const { return m_rimArmed; }
    // Tells whether a display is asleep (its rims then stand still); none: displays are awake.
    using SleepTest = std::function<bool(const QScreen*)>;
    static void setSleepTest(SleepTest test);

    QSize sizeHint() const override { return QSize(side, side); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void startDrawing();
    void animateLook(int msecs, const QEasingCurve& curve = QEasingCurve::InOutQuad);
    void redraw();
    enum class RimSight { seen, unseen, asleep };
    RimSight rimSight() const;
    void armRimFrame(std::optional<Duration> delay = std::nullopt);
    void stopRim();
    void paintFaces(QPainter& p);
    void paintRingFace(QPainter& p, qreal opacity, qreal scale);
    void paintMark(QPainter& p, Mark mark, qreal opacity, qreal scale);
    static QImage picture(qreal ratio, const std::function<void(QPainter&)>& paint);
    static const QImage& rimPicture(const QColor& colour, int step, qreal ratio);
    static bool isAsleep(const QScreen* screen);

    KitService m_service;
    State m_state;
    Scheduler& m_clock;
    qreal m_drawn = 1;
    qreal m_drawnTarget = 1;
    quint64 m_drawGeneration = 0;

    // What is painted, eased towards the state's values.
    QColor m_fill;
    qreal m_fillOpacity = 0;
    qreal m_ringOpacity = 0;
    qreal m_markProgress = 0; // 0: ring face, 1: mark face
    std::optional<Mark> m_shownMark;
    std::optional<Mark> m_leavingMark;
    qreal m_swapProgress = 1; // a mark replacing another

    QVariantAnimation* m_drawAnimation;
    QVariantAnimation* m_fillAnimation;
    QVariantAnimation* m_lookAnimation;
    QVariantAnimation* m_markAnimation;
    QVariantAnimation* m_swapAnimation;
    QImage m_face; // everything but the turning arc, painted once per change
    bool m_rimArmed = false;
    quint64 m_rimGeneration = 0;
};

} // namespace brenvo
