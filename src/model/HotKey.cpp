#include "model/HotKey.h"

#include <QKeyEvent>
#include <cmath>
#include <limits>

namespace brenvo {

namespace {

struct NamedKey {
    quint32 keyCode;
    const char16_t* name;
};

// In the words the desktop's own shortcut settings use.
constexpr NamedKey specialKeys[] = {
    {49, u"Space"},
    {36, u"Return"},
    {76, u"Enter"},
    {48, u"Tab"},
    {51, u"Backspace"},
    {117, u"Del"},
    {53, u"Esc"},
    {123, u"Left"},
    {124, u"Right"},
    {126, u"Up"},
    {125, u"Down"},
    {115, u"Home"},
    {119, u"End"},
    {116, u"PgUp"},
    {121, u"PgDown"},
};

constexpr NamedKey functionKeys[] = {
    {122, u"F1"},
    {120, u"F2"},
    {99, u"F3"},
    {118, u"F4"},
    {96, u"F5"},
    {97, u"F6"},
    {98, u"F7"},
    {100, u"F8"},
    {101, u"F9"},
    {109, u"F10"},
    {103, u"F11"},
    {111, u"F12"},
    {105, u"F13"},
    {107, u"F14"},
    {113, u"F15"},
    {106, u"F16"},
    {64, u"F17"},
    {79, u"F18"},
    {80, u"F19"},
    {90, u"F20"},
};

struct KeyPosition {
    quint32 keyCode;
    quint8 x11KeyCode;
    const char16_t* usName; // what a US layout types there, for when no layout can be read
};

// Mac key positions and the X11 key code of the same physical key. Modifier keys, Caps Lock, the
// keypad's Clear (NumLock's place) and the Japanese mode keys are left out: they make no shortcut.
constexpr KeyPosition positions[] = {
    {0, 38, u"A"}, // A
    {1, 39, u"S"}, // S
    {2, 40, u"D"}, // D
    {3, 41, u"F"}, // F
    {4, 43, u"H"}, // H
    {5, 42, u"G"}, // G
    {6, 52, u"Z"}, // Z
    {7, 53, u"X"}, // X
    {8, 54, u"C"}, // C
    {9, 55, u"V"}, // V
    {10, 94, u"\u00A7"}, // 102ND
    {11, 56, u"B"}, // B
    {12, 24, u"Q"}, // Q
    {13, 25, u"W"}, // W
    {14, 26, u"E"}, // E
    {15, 27, u"R"}, // R
    {16, 29, u"Y"}, // Y
    {17, 28, u"T"}, // T
    {18, 10, u"1"}, // 1
    {19, 11, u"2"}, // 2
    {20, 12, u"3"}, // 3
    {21, 13, u"4"}, // 4
    {22, 15, u"6"}, // 6
    {23, 14, u"5"}, // 5
    {24, 21, u"="}, // EQUAL
    {25, 18, u"9"}, // 9
    {26, 16, u"7"}, // 7
    {27, 20, u"-"}, // MINUS
    {28, 17, u"8"}, // 8
    {29, 19, u"0"}, // 0
    {30, 35, u"]"}, // RIGHTBRACE
    {31, 32, u"O"}, // O
    {32, 30, u"U"}, // U
    {33, 34, u"["}, // LEFTBRACE
    {34, 31, u"I"}, // I
    {35, 33, u"P"}, // P
    {36, 36, u""}, // ENTER
    {37, 46, u"L"}, // L
    {38, 44, u"J"}, // J
    {39, 48, u"'"}, // APOSTROPHE
    {40, 45, u"K"}, // K
    {41, 47, u";"}, // SEMICOLON
    {42, 51, u"\\"}, // BACKSLASH
    {43, 59, u","}, // COMMA
    {44, 61, u"/"}, // SLASH
    {45, 57, u"N"}, // N
    {46, 58, u"M"}, // M
    {47, 60, u"."}, // DOT
    {48, 23, u""}, // TAB
    {49, 65, u""}, // SPACE
    {50, 49, u"`"}, // GRAVE
    {51, 22, u""}, // BACKSPACE
    {53, 9, u""}, // ESC
    {64, 195, u""}, // F17
    {65, 91, u"."}, // KPDOT
    {67, 63, u"*"}, // KPASTERISK
    {69, 86, u"+"}, // KPPLUS
    {72, 123, u""}, // VOLUMEUP
    {73, 122, u""}, // VOLUMEDOWN
    {74, 121, u""}, // MUTE
    {75, 106, u"/"}, // KPSLASH
    {76, 104, u""}, // KPENTER
    {78, 82, u"-"}, // KPMINUS
    {79, 196, u""}, // F18
    {80, 197, u""}, // F19
    {81, 125, u"="}, // KPEQUAL
    {82, 90, u"0"}, // KP0
    {83, 87, u"1"}, // KP1
    {84, 88, u"2"}, // KP2
    {85, 89, u"3"}, // KP3
    {86, 83, u"4"}, // KP4
    {87, 84, u"5"}, // KP5
    {88, 85, u"6"}, // KP6
    {89, 79, u"7"}, // KP7
    {90, 198, u""}, // F20
    {91, 80, u"8"}, // KP8
    {92, 81, u"9"}, // KP9
    {93, 132, u"\u00A5"}, // YEN
    {94, 97, u"_"}, // RO
    {95, 129, u","}, // KPCOMMA
    {96, 71, u""}, // F5
    {97, 72, u""}, // F6
    {98, 73, u""}, // F7
    {99, 69, u""}, // F3
    {100, 74, u""}, // F8
    {101, 75, u""}, // F9
    {103, 95, u""}, // F11
    {105, 191, u""}, // F13
    {106, 194, u""}, // F16
    {107, 192, u""}, // F14
    {109, 76, u""}, // F10
    {111, 96, u""}, // F12
    {113, 193, u""}, // F15
    {114, 118, u""}, // INSERT
    {115, 110, u""}, // HOME
    {116, 112, u""}, // PAGEUP
    {117, 119, u""}, // DELETE
    {118, 70, u""}, // F4
    {119, 115, u""}, // END
    {120, 68, u""}, // F2
    {121, 117, u""}, // PAGEDOWN
    {122, 67, u""}, // F1
    {123, 113, u""}, // LEFT
    {124, 114, u""}, // RIGHT
    {125, 116, u""}, // DOWN
    {126, 111, u""}, // UP
};

// X11 modifier masks (core protocol values).
constexpr quint16 x11Shift = 1;
constexpr quint16 x11Control = 4;
constexpr quint16 x11Mod1 = 8;
constexpr quint16 x11Mod4 = 64;

struct ModifierPair {
    quint32 carbon;
    quint16 x11;
    quint32 qt;
    const char16_t* word; // the key's name on a PC keyboard
};

// In display order.
constexpr ModifierPair modifierTable[] = {
    {HotKey::control, x11Control, Qt::ControlModifier, u"Ctrl"},
    {HotKey::option, x11Mod1, Qt::AltModifier, u"Alt"},
    {HotKey::shift, x11Shift, Qt::ShiftModifier, u"Shift"},
    {HotKey::command, x11Mod4, Qt::MetaModifier, u"Super"},
};

// Each bit of one column that is set gives the bit of another column.
template <typename From, typename To>
quint32 translateBits(quint32 value, From ModifierPair::*from, To ModifierPair::*to)
{
    quint32 result = 0;
    for (const auto& m : modifierTable) {
        if (value & quint32(m.*from))
            result |= quint32(m.*to);
    }
    return result;
}

HotKey::KeyLayout& keyLayout()
{
    static HotKey::KeyLayout layout;
    return layout;
}

const KeyPosition* positionOf(quint32 keyCode)
{
    for (const auto& p : positions) {
        if (p.keyCode == keyCode)
            return &p;
    }
    return nullptr;
}

const char16_t* lookUp(const NamedKey* begin, const NamedKey* end, quint32 keyCode)
{
    for (auto* k = begin; k != end; ++k) {
        if (k->keyCode == keyCode)
            return k->name;
    }
    return nullptr;
}

// Integers of any width, and doubles without a fraction; booleans and texts are not integers.
std::optional<qint64> integerOf(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::Char:
    case QMetaType::SChar:
        return value.toLongLong();
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
    case QMetaType::UShort:
    case QMetaType::UChar: {
        const qulonglong v = value.toULongLong();
        return v > qulonglong(std::numeric_limits<qint64>::max()) ? std::numeric_limits<qint64>::max()
                                                                  : qint64(v);
    }
    case QMetaType::Double:
    case QMetaType::Float: {
        const double d = value.toDouble();
        if (!std::isfinite(d) || std::trunc(d) != d)
            return std::nullopt;
        if (d >= 9.2e18 || d <= -9.2e18)
            return d > 0 ? std::numeric_limits<qint64>::max() : std::numeric_limits<qint64>::min();
        return qint64(d);
    }
    default:
        return std::nullopt;
    }
}

bool fitsKey(qint64 v)
{
    return v >= 0 && v <= qint64(std::numeric_limits<quint32>::max());
}

} // namespace

HotKey HotKey::defaultShortcut()
{
    return HotKey {spaceKeyCode, option | shift};
}

QString HotKey::displayText() const
{
    QString text;
    for (const auto& m : modifierTable) {
        if (modifiers & m.carbon)
            text += QString::fromUtf16(m.word) + u'+';
    }
    return text + keyName(keyCode);
}

QString HotKey::keyName(quint32 keyCode)
{
    if (auto* name = lookUp(std::begin(specialKeys), std::end(specialKeys), keyCode))
        return QString::fromUtf16(name);
    if (auto* name = lookUp(std::begin(functionKeys), std::end(functionKeys), keyCode))
        return QString::fromUtf16(name);
    if (keyCode <= 0xFFFF && keyLayout()) {
        const QString typed = keyLayout()(keyCode).trimmed();
        if (!typed.isEmpty())
            return typed.toUpper();
    }
    if (auto* p = positionOf(keyCode); p && *p->usName)
        return QString::fromUtf16(p->usName);
    return QStringLiteral("Key %1").arg(keyCode);
}

bool HotKey::isFunctionKey(quint32 keyCode)
{
    return lookUp(std::begin(functionKeys), std::end(functionKeys), keyCode) != nullptr;
}

QVariantMap HotKey::storedForm() const
{
    return {{QStringLiteral("keyCode"), qint64(keyCode)}, {QStringLiteral("modifiers"), qint64(modifiers)}};
}

std::optional<HotKey> HotKey::fromStoredForm(const QVariantMap& stored)
{
    for (auto it = stored.cbegin(); it != stored.cend(); ++it) {
        if (!integerOf(it.value()))
            return defaultShortcut();
    }
    const auto code = stored.constFind(QStringLiteral("keyCode"));
    const auto mods = stored.constFind(QStringLiteral("modifiers"));
    if (code == stored.cend() || mods == stored.cend())
        return std::nullopt;
    const qint64 k = *integerOf(*code);
    const qint64 m = *integerOf(*mods);
    // A number that cannot be a key is as unreadable as a text.
    if (!fitsKey(k) || !fitsKey(m))
        return defaultShortcut();
    return HotKey {quint32(k), quint32(m)};
}

std::optional<HotKey> HotKey::fromKeyEvent(const QKeyEvent& event)
{
    const auto code = keyCodeFromX11(event.nativeScanCode());
    if (!code)
        return std::nullopt;
    return HotKey {*code, modifiersFromQt(event.modifiers())};
}

quint32 HotKey::modifiersFromQt(Qt::KeyboardModifiers modifiers)
{
    return translateBits(quint32(modifiers.toInt()), &ModifierPair::qt, &ModifierPair::carbon);
}

std::optional<quint8> HotKey::x11KeyCode(quint32 keyCode)
{
    if (auto* p = positionOf(keyCode))
        return p->x11KeyCode;
    return std::nullopt;
}

std::optional<quint32> HotKey::keyCodeFromX11(quint32 x11KeyCode)
{
    for (const auto& p : positions) {
        if (p.x11KeyCode == x11KeyCode)
            return p.keyCode;
    }
    return std::nullopt;
}

quint16 HotKey::x11Modifiers(quint32 modifiers)
{
    return quint16(translateBits(modifiers, &ModifierPair::carbon, &ModifierPair::x11));
}

quint32 HotKey::modifiersFromX11(quint32 state)
{
    return translateBits(state, &ModifierPair::x11, &ModifierPair::carbon);
}

void HotKey::setKeyLayout(KeyLayout layout)
{
    keyLayout() = std::move(layout);
}

} // namespace brenvo
