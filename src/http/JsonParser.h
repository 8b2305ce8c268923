#pragma once

#include "http/JsonReader.h"

#include <QString>

namespace brenvo::json_detail {

// Reads doc.text into doc's nodes. Empty when the reply reads; otherwise why not, without any of
// its text.
QString parseInto(Document& doc);

} // namespace brenvo::json_detail
