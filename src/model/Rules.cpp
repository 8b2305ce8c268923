// Tile signals, check roll-up and ordering, change detection and the row texts.
#include "model/Deployment.h"
#include "model/KitSignal.h"
#include "model/Payment.h"
#include "model/Usage.h"

#include <QTextBoundaryFinder>

#include <algorithm>
#include <cmath>

namespace brenvo {

namespace {

// The element with the latest date; the first of equal dates wins.
template <typename T> const T* newest(const QList<const T*>& items)
{
    const T* best = nullptr;
    for (const T* item : items) {
        if (!best || item->date > best->date)
            best = item;
    }
    return best;
}

// The latest date of a previous list, or nothing when it is empty (the distant past).
template <typename T> std::optional<QDateTime> cutOff(const QList<T>& previous)
{
    std::optional<QDateTime> latest;
    for (const T& item : previous) {
        if (!latest || item.date > *latest)
            latest = item.date;
    }
    return latest;
}

template <typename T> bool laterThan(const T& item, const std::optional<QDateTime>& cut)
{
    return !cut || item.date > *cut;
}

template <typename T> const T* firstWithID(const QList<T>& list, const QString& id)
{
    for (const T& item : list) {
        if (item.id == id)
            return &item;
    }
    return nullptr;
}

// The new items in state `reached` that were in state `from` before, or that were not there before
// and are dated after the newest previous item.
template <typename T, typename S>
QList<T> arrivedIn(const QList<T>& items, const QList<T>& since, S reached, S from)
{
    const auto cut = cutOff(since);
    QList<T> result;
    for (const T& item : items) {
        if (item.state != reached)
            continue;
        const T* before = firstWithID(since, item.id);
        if (before ? before->state == from : laterThan(item, cut))
            result.append(item);
    }
    return result;
}

int displayRank(Deployment::State state)
{
    switch (state) {
    case Deployment::State::failed:
        return 0;
    case Deployment::State::building:
        return 1;
    case Deployment::State::ready:
        return 2;
    case Deployment::State::canceled:
        return 3;
    }
    return 3;
}

} // namespace

KitSignal KitSignal::deployments(const QList<Deployment>& rows)
{
    QList<const Deployment*> remaining;
    for (const Deployment& row : rows) {
        if (row.state == Deployment::State::building)
            return attention;
        if (row.state != Deployment::State::canceled)
            remaining.append(&row);
    }
    const Deployment* latest = newest(remaining);
    if (!latest)
        return good;
    return latest->state == Deployment::State::failed ? bad : good;
}

KitSignal KitSignal::payments(const QList<Payment>& payments)
{
    QList<const Payment*> remaining;
    for (const Payment& payment : payments) {
        if (payment.state != Payment::State::refunded)
            remaining.append(&payment);
    }
    const Payment* latest = newest(remaining);
    if (!latest)
        return good;
    switch (latest->state) {
    case Payment::State::succeeded:
    case Payment::State::refunded:
        return good;
    case Payment::State::pending:
        return attention;
    case Payment::State::failed:
    case Payment::State::disputed:
        return bad;
    }
    return good;
}

UsageReport UsageReport::rolledOver(const QDateTime& at) const
{
    UsageReport result = *this;
    for (UsageMeter& meter : result.meters) {
        if (meter.resetsAt && *meter.resetsAt <= at) {
            meter.fraction = 0;
            meter.resetsAt.reset();
        }
    }
    return result;
}

KitSignal UsageReport::signal(const std::optional<UsageReport>& report, const QDateTime& at)
{
    if (!report)
        return KitSignal::good;
    const UsageReport current = report->rolledOver(at);
    // A fraction that is not a number says nothing about the limit: it never decides.
    std::optional<double> highest;
    for (const UsageMeter& meter : current.meters) {
        if (std::isnan(meter.fraction))
            continue;
        if (!highest || meter.fraction > *highest)
            highest = meter.fraction;
    }
    if (!highest)
        return KitSignal::good;
    if (*highest >= 0.9)
        return KitSignal::bad;
    if (*highest >= 0.75)
        return KitSignal::attention;
    return KitSignal::good;
}

Deployment::State Deployment::State::rollUp(const QList<State>& states)
{
    if (states.isEmpty())
        return canceled;
    for (Value v : {building, failed, ready}) {
        if (std::any_of(states.begin(), states.end(), [v](State s) { return s == v; }))
            return v;
    }
    return canceled;
}

QList<DeploymentCheck> DeploymentCheck::sortedForDisplay(const QList<DeploymentCheck>& checks)
{
    QList<DeploymentCheck> sorted = checks;
    std::stable_sort(sorted.begin(), sorted.end(), [](const DeploymentCheck& a, const DeploymentCheck& b) {
        return displayRank(a.state) < displayRank(b.state);
    });
    return sorted;
}

QList<Deployment> Deployment::newlyReady(const QList<Deployment>& rows, const QList<Deployment>& since)
{
    return arrivedIn(rows, since, State(State::ready), State(State::building));
}

QList<Deployment> Deployment::settledChanges(const QList<Deployment>& rows, const QList<Deployment>& since)
{
    QList<Deployment> result;
    for (const Deployment& row : rows) {
        if (row.state == State::building)
            continue;
        const Deployment* before = firstWithID(since, row.id);
        if (!before || before->state != row.state)
            result.append(row);
    }
    return result;
}

QList<Payment> Payment::newlySucceeded(const QList<Payment>& payments, const QList<Payment>& since)
{
    return arrivedIn(payments, since, State::succeeded, State::pending);
}

QList<Payment> Payment::changed(const QList<Payment>& payments, const QList<Payment>& since)
{
    const auto cut = cutOff(since);
    QList<Payment> result;
    for (const Payment& payment : payments) {
        if (payment.state != State::failed && payment.state != State::disputed)
            continue;
        // The same id under another account is another payment.
        const Payment* before = nullptr;
        for (const Payment& old : since) {
            if (old.id == payment.id && old.accountID == payment.accountID) {
                before = &old;
                break;
            }
        }
        if (before ? before->state != payment.state : laterThan(payment, cut))
            result.append(payment);
    }
    return result;
}

QString Deployment::subtitle() const
{
    QStringList parts;
    for (const auto* field : {&commit, &branch, &environment}) {
        if (*field)
            parts.append(**field);
    }
    return parts.join(QStringLiteral(" \u00B7 "));
}

QString Deployment::stateWord(KitService service) const
{
    if (stateNote)
        return *stateNote;
    const bool checks = service == KitService::github || service == KitService::gitlab;
    switch (state) {
    case State::ready:
        return checks ? QStringLiteral("Passed") : QStringLiteral("Ready");
    case State::building:
        return checks ? QStringLiteral("Running") : QStringLiteral("Building");
    case State::failed:
        return QStringLiteral("Failed");
    case State::canceled:
        return QStringLiteral("Canceled");
    }
    return QString();
}

QString Deployment::shortID() const
{
    // Leading underscores vanish; the first underscore after a non-empty piece splits off the rest.
    qsizetype start = 0;
    while (start < id.size() && id[start] == u'_')
        ++start;
    QString piece;
    if (start < id.size()) {
        const qsizetype split = id.indexOf(u'_', start);
        if (split < 0 || split + 1 == id.size())
            piece = id.mid(start, split < 0 ? -1 : split - start);
        else
            piece = id.mid(split + 1);
    } else {
        piece = id;
    }
    // Nine characters as the user sees them, never half a surrogate pair or accent.
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, piece);
    qsizetype end = 0;
    for (int n = 0; n < 9; ++n) {
        const qsizetype next = finder.toNextBoundary();
        if (next < 0)
            break;
        end = next;
    }
    return piece.left(end);
}

} // namespace brenvo
