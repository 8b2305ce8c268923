#pragma once

#include "model/HotKey.h"

#include <QObject>
#include <QVector>
#include <functional>
#include <memory>
#include <optional>

namespace brenvo {

// Tells a fresh press of a held key from its auto-repeat. X11 repeats a held key either as
// presses without a release between them (detectable auto-repeat) or as a release and a press
// that share one timestamp; a press long after the last one is fresh even if a release was missed.
class KeyRepeatFilter {
public:
    // True for a fresh press.
    bool press(quint32 time);
    void release(quint32 time);
    void reset();

private:
    bool m_down = false;
    bool m_released = false;
    quint32 m_lastPress = 0;
    quint32 m_lastRelease = 0;
};

// The global shortcut that tucks the panel away and brings it back: an X11 key grab on the root
// window(s) of the display Qt is connected to, read through a native event filter on that same
// connection. Without X11 (offscreen, Wayland without DISPLAY) nothing can be grabbed: the
// shortcut is kept but never in force.
class HotKeyManager : public QObject {
    Q_OBJECT

public:
    explicit HotKeyManager(std::optional<HotKey> hotKey, QObject* parent = nullptr);
    // Stops: an X11 grab outlives its owner until the connection closes.
    ~HotKeyManager() override;

    // Whether this session has an X11 display to grab keys on.
    static bool isAvailable();

    std::optional<HotKey> hotKey() const { return m_hotKey; }
    // Called on the main thread once per press of the shortcut (auto-repeat ignored).
    void setOnActivate(std::function<void()> action) { m_onActivate = std::move(action); }
    // Started and not stopped.
    bool isRegistered() const { return m_started; }
    // The shortcut is grabbed now.
    bool isActive() const { return m_grab.has_value(); }

    // Installs the event filter and grabs the shortcut; a refusal only leaves it inactive.
    void start();
    // Replaces the shortcut (none: no shortcut). False when the new one could not be grabbed
    // (taken by another client, or no X11): the previous shortcut is kept and grabbed again.
    // Before start() the new shortcut is only remembered, and true.
    bool registerHotKey(std::optional<HotKey> hotKey);
    // Lets go of the grab but keeps the shortcut, for recording a new one.
    void suspend();
    // Grabs the kept shortcut again after suspend().
    void resume();
    // Ungrabs and removes the event filter.
    void stop();

private:
    class EventFilter;
    struct Grab {
        quint8 keyCode = 0;
        quint16 modifiers = 0;
        quint16 ignored = 0; // Lock and NumLock
        QVector<quint32> roots;
    };

    bool grab(const HotKey& hotKey);
    void ungrab();
    bool handleKey(bool press, quint8 keyCode, quint16 state, quint32 time, quint32 window);
    void activate();

    std::optional<HotKey> m_hotKey;
    std::function<void()> m_onActivate;
    std::optional<Grab> m_grab;
    std::unique_ptr<EventFilter> m_filter;
    bool m_started = false;
    KeyRepeatFilter m_repeat;
};

} // namespace brenvo
