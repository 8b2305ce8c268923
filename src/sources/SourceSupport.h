#pragma once

#include "http/JsonReader.h"
#include "http/ReplySupport.h"
#include "http/SiteIconLoader.h"

#include <QByteArray>
#include <QCoroTask>
#include <QDateTime>
#include <QImage>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

#include <exception>
#include <optional>

namespace brenvo {

// Small helpers that the tool sources share; those the payment clients need too are in
// http/ReplySupport.h.

// The earliest time a row can carry; stands in for a missing or unreadable date.
QDateTime distantPast();
// Milliseconds since 1970 as a time; nothing when absent, not finite or beyond what a date holds.
std::optional<QDateTime> dateFromMilliseconds(std::optional<double> milliseconds);
// Stable split: names not ending with suffix first, then those that do.
QList<QString> suffixLast(const QList<QString>& names, const QString& suffix);
// A failed lookup that would fail the same way when asked again: a 4xx other than a rejection or
// a throttle (429), or a 2xx reply that did not read. Network trouble and 5xx are no answer.
bool isDefinitiveAnswer(const std::exception_ptr& error);
// The outcome of one request of a walk that goes on past failures.
template <typename T> struct Attempt {
    std::optional<T> value;
    std::exception_ptr error;
};

template <typename T> QCoro::Task<Attempt<T>> attempt(QCoro::Task<T> task)
{
    Attempt<T> out;
    try {
        out.value = co_await std::move(task);
    } catch (...) {
        out.error = std::current_exception();
    }
    co_return out;
}

// The icon of the first host that has one.
QCoro::Task<std::optional<QImage>> firstIcon(SiteIconLoader loader, QList<QString> hosts);

// Throws a cancellation when the object a coroutine belongs to went away during its last wait.
void requireAlive(const QObject* owner);

// Tells which token a cached reply was read with, without keeping the token. Kept in memory only.
QByteArray tokenDigest(const QString& token);

} // namespace brenvo
