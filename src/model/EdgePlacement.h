#pragma once

#include <QList>
#include <QMap>
#include <QString>

#include <array>
#include <optional>

class QScreen;

namespace brenvo {

// The screen edge the panel leans on. Stored under "edgeSide" as its raw value.
enum class EdgeSide { right, left };

// Whether pointing at a tile or clicking it opens its card. Stored under "edgeTrigger".
enum class EdgeTrigger { hover, click };

inline constexpr std::array<EdgeSide, 2> allEdgeSides {EdgeSide::right, EdgeSide::left};
inline constexpr std::array<EdgeTrigger, 2> allEdgeTriggers {EdgeTrigger::hover, EdgeTrigger::click};

// "right", "left"
QString rawValue(EdgeSide side);
// "hover", "click"
QString rawValue(EdgeTrigger trigger);
// Exact, case-sensitive match of a raw value; anything else is none.
std::optional<EdgeSide> edgeSideFromRawValue(const QString& raw);
std::optional<EdgeTrigger> edgeTriggerFromRawValue(const QString& raw);

// A display the panel may sit on. Stored under "edgeDisplay" as a dictionary of strings with the keys
// "id" and "name".
struct EdgeDisplay {
    QString id;
    QString name;

    using Dictionary = QMap<QString, QString>;

    // A display when both "id" and "name" are present, else none.
    static std::optional<EdgeDisplay> fromDictionary(const Dictionary& dictionary);
    Dictionary dictionary() const;

    // The attached displays, in the platform's screen order; screens without an identifier are left out.
    static QList<EdgeDisplay> available();

    // The screen to place the panel on: the first whose identifier equals the given one, else the first
    // screen, else none when no screen is attached.
    static QScreen* screen(const std::optional<QString>& id);

    // Manufacturer, model and serial number when the screen reports a serial number, else its output
    // name. Empty when the screen reports neither.
    static QString identifier(const QScreen* screen);
    // Manufacturer and model, else the output name.
    static QString displayName(const QScreen* screen);

    // The choice of screen(for:) over a list of identifiers (empty ones never match): an index into
    // the list, or none when the list is empty.
    static std::optional<qsizetype> pick(const QStringList& identifiers, const std::optional<QString>& id);

    friend bool operator==(const EdgeDisplay&, const EdgeDisplay&) = default;
};

} // namespace brenvo
