#pragma once

#include <QString>
#include <QVariantMap>
#include <Qt>
#include <functional>
#include <optional>

class QKeyEvent;

namespace brenvo {

// A global keyboard shortcut. The key code is a Mac virtual key code (a key position, 49 is the
// space bar) and the modifiers are Carbon bits: that is how shortcuts have always been stored, so
// the stored form stays portable. X11 is reached through the position table below.
struct HotKey {
    quint32 keyCode = 0;
    quint32 modifiers = 0;

    static constexpr quint32 command = 256;
    static constexpr quint32 shift = 512;
    static constexpr quint32 option = 2048;
    static constexpr quint32 control = 4096;
    static constexpr quint32 spaceKeyCode = 49;

    friend bool operator==(const HotKey&, const HotKey&) = default;

    // Option-Shift-Space.
    static HotKey defaultShortcut();

    // The desktop's words for the modifiers (Ctrl, Alt, Shift, Super), then the key's name, joined
    // by "+": "Alt+Shift+Space". There is no Option or Command key on a PC keyboard to show.
    QString displayText() const;
    // Named keys, then F1 to F20, then the keyboard layout in use, then "Key <code>".
    static QString keyName(quint32 keyCode);
    // F1 to F20 may stand without a modifier.
    static bool isFunctionKey(quint32 keyCode);

    // {"keyCode": integer, "modifiers": integer}.
    QVariantMap storedForm() const;
    // Reads a stored dictionary: a value that is not an integer (or does not fit 32 bits) stands
    // for the default shortcut; a dictionary without either key (the empty one) for no shortcut.
    static std::optional<HotKey> fromStoredForm(const QVariantMap& stored);

    // A key press as recorded: its X11 key code (Qt's native scan code) and its modifiers.
    // None when the key has no place in the table.
    static std::optional<HotKey> fromKeyEvent(const QKeyEvent& event);
    static quint32 modifiersFromQt(Qt::KeyboardModifiers modifiers);

    // The position table: a Mac key code and the X11 key code of the same key (evdev numbering).
    static std::optional<quint8> x11KeyCode(quint32 keyCode);
    static std::optional<quint32> keyCodeFromX11(quint32 x11KeyCode);
    // Control, Option, Shift, Command as X11's Control, Mod1 (Alt), Shift, Mod4 (Super).
    static quint16 x11Modifiers(quint32 modifiers);
    // Lock, NumLock and the other X11 bits are dropped.
    static quint32 modifiersFromX11(quint32 state);

    // What the keyboard layout in use types on a key (Mac key code); empty when it types nothing
    // printable. Installed by whoever can read the layout; without one, a US layout is assumed.
    using KeyLayout = std::function<QString(quint32 keyCode)>;
    static void setKeyLayout(KeyLayout layout);
};

} // namespace brenvo
