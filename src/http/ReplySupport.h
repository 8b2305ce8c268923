#pragma once

#include "http/JsonReader.h"

#include <QString>
#include <QUrl>

#include <exception>
#include <optional>

namespace brenvo {

// Small helpers for reading replies, shared by every web client.

// Every "_" replaced by a blank.
QString spaced(const QString& text);
// The first character upper-cased, the rest unchanged.
QString capitalised(const QString& text);
// The text when present and not empty.
std::optional<QString> nonEmpty(const std::optional<QString>& text);
// Only http and https addresses are ever opened.
std::optional<QUrl> webAddress(const QString& text);
// A short name of an error for the log: never holds a token or reply text.
QString failureName(const std::exception_ptr& error);
// A member read leniently: absent when missing, null or of another type.
template <typename T> std::optional<T> lenientMember(const JsonObject& object, const char* key)
{
    return object.lenient<T>(key);
}

} // namespace brenvo
