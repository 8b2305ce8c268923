#pragma once

#include "model/Deployment.h"
#include "model/KitService.h"

#include <QDateTime>
#include <QString>

#include <optional>

namespace brenvo {

// Texts of the cards and settings pages. A number that is not finite, or too large to count,
// gives the empty text (or "Never" for a duration), never a made-up figure.

// "Every 30s", "Every 1m".
QString refreshIntervalText(double seconds);

// Compact age of date at now: "now", "5m", "3h", "2d".
QString ageText(const QDateTime& date, const QDateTime& now);

// A check-interval choice: "Never", "30 seconds", "1 minute", "5 minutes".
QString durationText(double seconds);

// How long a run took: "42s", "2m 5s", "1h 1m"; nothing for an absent, negative or non-number value.
std::optional<QString> elapsedText(std::optional<double> seconds);

// The program's name as the user sees it.
QString appName();

// Sentences of a failed call to a tool, for the card and the log.
// "Vercel did not accept the token." (a key for the payment and usage tools that take one)
QString rejectedText(KitService service);
// "GitHub answered 500: <the server's message>"
QString refusedText(KitService service, int status, const QString& message);
// A redirect left unfollowed: "Vercel sent <app> to another address, which <app> does not follow
// with your token."
QString redirectedText(KitService service);
QString undecodableText(KitService service);
QString unreachableText(KitService service);
QString unavailableText(KitService service);
QString notSavedText(KitService service);
// "Brenvo cannot read your GitHub token while the keyring is locked. …"
QString lockedText(KitService service);
// Said where a token was given that the keyring could not take yet.
QString heldText(KitService service);

// Wordings of a deployment's page, by tool: the checks of GitHub and GitLab pass and run where
// deployments are ready and build.
QString checkWord(Deployment::State state, KitService service);
QString buildingSentence(KitService service);
QString redeployTitle(KitService service);
QString confirmTitle(KitService service);
QString redeployStartedText(KitService service);

} // namespace brenvo
