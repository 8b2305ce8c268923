#pragma once

#include <QDateTime>
#include <QString>

namespace brenvo {

// Texts of the cards and settings pages. A number that is not finite, or too large to count,
// gives the empty text (or "Never" for a duration), never a made-up figure.

// "Every 30s", "Every 1m".
QString refreshIntervalText(double seconds);

// Compact age of date at now: "now", "5m", "3h", "2d".
QString ageText(const QDateTime& date, const QDateTime& now);

// A check-interval choice: "Never", "30 seconds", "1 minute", "5 minutes".
QString durationText(double seconds);

} // namespace brenvo
