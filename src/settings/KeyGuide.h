#pragma once

#include "model/KitConnection.h"
#include "model/KitService.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

namespace brenvo {

// How to make a tool's token or key with the permissions the panel needs, and where.
struct KeyGuide {
    QString title; // "Create a GitHub token"
    QStringList steps;
    QString fieldPlaceholder; // what the field asks for
    QUrl link; // the tool's page for tokens or keys
    QString linkTitle;

    static KeyGuide forService(KitService service);
};

// The line a settings page shows for a connection: the store's own sentence for a failure or a
// refused token, and a short state otherwise.
QString connectionSentence(KitService service, const KitConnection& connection);

// The check-interval choices of a tool, in seconds, shortest first; the stored one is among them
// even when it is none of the usual ones.
QList<double> intervalChoices(KitService service, double current);

} // namespace brenvo
