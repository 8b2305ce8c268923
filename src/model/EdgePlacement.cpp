#include "model/EdgePlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStringList>

namespace brenvo {

QString rawValue(EdgeSide side)
{
    return side == EdgeSide::left ? QStringLiteral("left") : QStringLiteral("right");
}

QString rawValue(EdgeTrigger trigger)
{
    return trigger == EdgeTrigger::click ? QStringLiteral("click") : QStringLiteral("hover");
}

std::optional<EdgeSide> edgeSideFromRawValue(const QString& raw)
{
    for (EdgeSide side : allEdgeSides) {
        if (rawValue(side) == raw)
            return side;
    }
    return std::nullopt;
}

std::optional<EdgeTrigger> edgeTriggerFromRawValue(const QString& raw)
{
    for (EdgeTrigger trigger : allEdgeTriggers) {
        if (rawValue(trigger) == raw)
            return trigger;
    }
    return std::nullopt;
}

std::optional<EdgeDisplay> EdgeDisplay::fromDictionary(const Dictionary& dictionary)
{
    const auto id = dictionary.constFind(QStringLiteral("id"));
    const auto name = dictionary.constFind(QStringLiteral("name"));
    if (id == dictionary.constEnd() || name == dictionary.constEnd())
        return std::nullopt;
    return EdgeDisplay {*id, *name};
}

EdgeDisplay::Dictionary EdgeDisplay::dictionary() const
{
    return {{QStringLiteral("id"), id}, {QStringLiteral("name"), name}};
}

QString EdgeDisplay::identifier(const QScreen* screen)
{
    if (!screen)
        return {};
    const QString serial = screen->serialNumber().trimmed();
    if (!serial.isEmpty()) {
        // Two monitors of one model differ by serial; the output they hang on may change.
        return QStringList {screen->manufacturer().trimmed(), screen->model().trimmed(), serial}.join(u'/');
    }
    return screen->name();
}

QString EdgeDisplay::displayName(const QScreen* screen)
{
    if (!screen)
        return {};
    const QString shown = (screen->manufacturer().trimmed() + u' ' + screen->model().trimmed()).trimmed();
    return shown.isEmpty() ? screen->name() : shown;
}

QList<EdgeDisplay> EdgeDisplay::available()
{
    QList<EdgeDisplay> displays;
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QString id = identifier(screen);
        if (id.isEmpty())
            continue;
        displays.append(EdgeDisplay {id, displayName(screen)});
    }
    return displays;
}

std::optional<qsizetype> EdgeDisplay::pick(const QStringList& identifiers, const std::optional<QString>& id)
{
    if (identifiers.isEmpty())
        return std::nullopt;
    if (id && !id->isEmpty()) {
        const qsizetype found = identifiers.indexOf(*id);
        if (found >= 0)
            return found;
    }
    return 0;
}

QScreen* EdgeDisplay::screen(const std::optional<QString>& id)
{
    const QList<QScreen*> screens = QGuiApplication::screens();
    QStringList identifiers;
    for (const QScreen* screen : screens)
        identifiers.append(identifier(screen));
    const auto index = pick(identifiers, id);
    return index ? screens.at(*index) : nullptr;
}

} // namespace brenvo
