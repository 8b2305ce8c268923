#include "http/JsonReader.h"

#include "http/JsonParser.h"

#include <QJsonDocument>

#include <cmath>
#include <cstring>

namespace brenvo {

namespace {

const char* kindName(DecodingFailure::Kind kind)
{
    switch (kind) {
    case DecodingFailure::Kind::dataCorrupted:
        return "data corrupted";
    case DecodingFailure::Kind::keyNotFound:
        return "key not found";
    case DecodingFailure::Kind::valueNotFound:
        return "value not found";
    case DecodingFailure::Kind::typeMismatch:
        return "type mismatch";
    }
    return "decoding failed";
}

using json_detail::Document;
using json_detail::DocumentPtr;
using json_detail::Node;

const char* typeName(const Document& doc, std::uint32_t n)
{
    if (n == json_detail::absent)
        return "nothing";
    switch (doc.nodes[n].type) {
    case Node::Null:
        return "null";
    case Node::False:
    case Node::True:
        return "a boolean";
    case Node::Integer:
    case Node::Double:
        return "a number";
    case Node::String:
        return "a string";
    case Node::Array:
        return "an array";
    case Node::Object:
        return "an object";
    }
    return "something else";
}

} // namespace

DecodingFailure::DecodingFailure(Kind kind, QString path, QString detail)
    : m_kind(kind)
    , m_path(std::move(path))
    , m_detail(std::move(detail))
{
    m_what = QByteArray(kindName(kind));
    if (!m_path.isEmpty())
        m_what += " at " + m_path.toUtf8();
    if (!m_detail.isEmpty())
        m_what += ": " + m_detail.toUtf8();
}

QString camelCaseKey(const QString& key)
{
    if (!key.contains(u'_'))
        return key;
    qsizetype first = 0;
    while (first < key.size() && key[first] == u'_')
        ++first;
    if (first == key.size())
        return key;
    qsizetype last = key.size() - 1;
    while (key[last] == u'_')
        --last;
    // One word: kept as written. Several: the first in lower case, each next one capitalised
    // (first letter upper, the rest lower), joined; the outer underscores stay.
    if (QStringView(key).mid(first, last - first + 1).indexOf(u'_') < 0)
        return key;
    QString out;
    out.reserve(key.size());
    out.append(QStringView(key).left(first));
    bool firstWord = true;
    bool startOfWord = true;
    for (qsizetype i = first; i <= last; ++i) {
        const QChar c = key[i];
        if (c == u'_') {
            if (!startOfWord)
                firstWord = false;
            startOfWord = true;
            continue;
        }
        if (c.isSpace()) {
            out.append(c);
            startOfWord = true;
            continue;
        }
        out.append(startOfWord && !firstWord ? c.toUpper() : c.toLower());
        startOfWord = false;
    }
    out.append(QStringView(key).mid(last + 1));
    return out;
}

namespace {

// Whether a reply's key, as written, names the field under the snake_case rule: the key turned
// into camelCase (see camelCaseKey) equals the field's name. Compared as it goes, so no text is
// built.
bool camelCaseMatches(QByteArrayView key, QByteArrayView wanted)
{
    const char* k = key.data();
    const auto n = key.size();
    qsizetype first = 0;
    while (first < n && k[first] == '_')
        ++first;
    qsizetype last = n - 1;
    while (last > first && k[last] == '_')
        --last;
    if (first == n || !std::memchr(k + first, '_', std::size_t(last - first + 1)))
        return key == wanted; // one word: kept as written
    for (qsizetype i = 0; i < n; ++i) {
        if (static_cast<unsigned char>(k[i]) >= 0x80)
            return camelCaseKey(QString::fromUtf8(key)) == QString::fromUtf8(wanted);
    }
    auto isSpace = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    const char* w = wanted.data();
    const auto m = wanted.size();
    if (m < first || std::memcmp(k, w, std::size_t(first)) != 0)
        return false;
    qsizetype j = first;
    bool firstWord = true;
    bool startOfWord = true;
    for (qsizetype i = first; i <= last; ++i) {
        char c = k[i];
        if (c == '_') {
            if (!startOfWord)
                firstWord = false;
            startOfWord = true;
            continue;
        }
        if (isSpace(c)) {
            startOfWord = true;
        } else {
            const bool upper = startOfWord && !firstWord;
            if (upper && c >= 'a' && c <= 'z')
                c = char(c - 'a' + 'A');
            else if (!upper && c >= 'A' && c <= 'Z')
                c = char(c - 'A' + 'a');
            startOfWord = false;
        }
        if (j == m || w[j++] != c)
            return false;
    }
    const qsizetype tail = n - 1 - last;
    return m - j == tail && std::memcmp(k + last + 1, w + j, std::size_t(tail)) == 0;
}

} // namespace

namespace json_detail {

QString Where::path() const
{
    const QString prefix = parent ? parent->path() : base ? *base : QString();
    if (index >= 0)
        return prefix + u'[' + QString::number(index) + u']';
    if (key.isEmpty())
        return prefix;
    if (prefix.isEmpty())
        return key.toString();
    return prefix + u'.' + key.toString();
}

void fail(DecodingFailure::Kind kind, const Where& where, const char* expected)
{
    throw DecodingFailure(kind, where.path(), QStringLiteral("expected %1").arg(QLatin1String(expected)));
}

void mismatch(const Document& doc, std::uint32_t n, const Where& where, const char* expected)
{
    throw DecodingFailure(DecodingFailure::Kind::typeMismatch, where.path(),
        QStringLiteral("expected %1, found %2")
            .arg(QLatin1String(expected), QLatin1String(typeName(doc, n))));
}

void nullValue(const Where& where, const char* expected)
{
    fail(DecodingFailure::Kind::valueNotFound, where, expected);
}

DocumentPtr parse(const QByteArray& body)
{
    auto doc = std::make_shared<Document>();
    doc->text = body;
    const QString error = parseInto(*doc);
    if (!error.isEmpty())
        throw DecodingFailure(DecodingFailure::Kind::dataCorrupted, {}, error);
    return doc;
}

DocumentPtr documentOf(const QJsonValue& value)
{
    return parse(QJsonDocument(QJsonArray {value}).toJson(QJsonDocument::Compact));
}

QJsonValue materialise(const Document& doc, std::uint32_t n)
{
    const Node& node = doc.nodes[n];
    switch (node.type) {
    case Node::Null:
        return QJsonValue(QJsonValue::Null);
    case Node::False:
        return false;
    case Node::True:
        return true;
    case Node::Integer:
        return node.integer;
    case Node::Double:
        return node.number;
    case Node::String:
        return doc.string(n);
    case Node::Array: {
        QJsonArray array;
        for (std::uint32_t e = n + 1; e < node.end; e = doc.nodes[e].end)
            array.append(materialise(doc, e));
        return array;
    }
    case Node::Object: {
        QJsonObject object;
        for (std::uint32_t k = n + 1; k < node.end; k = doc.nodes[k + 1].end)
            object.insert(doc.string(k), materialise(doc, k + 1));
        return object;
    }
    }
    return {};
}

std::uint32_t lookup(const Document& doc, std::uint32_t object, QAnyStringView key, KeyStyle style)
{
    // Field names are ASCII literals almost always: those are compared without a conversion.
    QByteArray converted;
    const QByteArrayView wanted = key.visit([&converted](auto view) -> QByteArrayView {
        using View = decltype(view);
        if constexpr (std::is_same_v<View, QUtf8StringView>) {
            return QByteArrayView(view.data(), view.size());
        } else if constexpr (std::is_same_v<View, QLatin1StringView>) {
            if (QtPrivate::isAscii(view))
                return QByteArrayView(view.data(), view.size());
            converted = QString(view).toUtf8();
            return converted;
        } else {
            converted = view.toUtf8();
            return converted;
        }
    });
    const Node& node = doc.nodes[object];
    std::uint32_t exact = absent;
    std::uint32_t matched = absent;
    for (std::uint32_t k = object + 1; k < node.end; k = doc.nodes[k + 1].end) {
        const QByteArrayView name = doc.bytes(k);
        // Cheap refusals first: a converted key is never longer than the key (for the field names
        // of replies), and starts with the key's first character, at most lower-cased.
        if (name.size() < wanted.size())
            continue;
        if (!wanted.isEmpty()) {
            const char f = name.front();
            if (f != wanted.front() && static_cast<unsigned char>(f) < 0x80
                && (f < 'A' || f > 'Z' || char(f - 'A' + 'a') != wanted.front()))
                continue;
        }
        if (name == wanted)
            exact = k + 1;
        else if (style == KeyStyle::snakeCase && camelCaseMatches(name, wanted))
            matched = k + 1;
    }
    return exact != absent ? exact : matched;
}

std::optional<qint64> integerOf(const Document& d, std::uint32_t n, qint64 min, qint64 max)
{
    if (n == absent)
        return std::nullopt;
    const Node& node = d.nodes[n];
    qint64 value = 0;
    if (node.type == Node::Integer) {
        value = node.integer;
    } else if (node.type == Node::Double) {
        // A whole number written with a fraction or an exponent ("8.0") still counts.
        constexpr double limit = 9223372036854775808.0; // 2^63
        if (!(node.number >= -limit && node.number < limit) || std::trunc(node.number) != node.number)
            return std::nullopt;
        value = static_cast<qint64>(node.number);
    } else {
        return std::nullopt;
    }
    if (value < min || value > max)
        return std::nullopt;
    return value;
}

qint64 integerFrom(
    const Document& d, std::uint32_t n, const Where& w, qint64 min, qint64 max, const char* expected)
{
    requireNotNull(d, n, w, expected);
    const Node::Type type = d.nodes[n].type;
    if (type != Node::Integer && type != Node::Double)
        mismatch(d, n, w, expected);
    const std::optional<qint64> value = integerOf(d, n, min, max);
    if (!value)
        fail(DecodingFailure::Kind::dataCorrupted, w, expected);
    return *value;
}

QUrl urlFrom(const QString& text, const Where& w)
{
    const QUrl url(text, QUrl::StrictMode);
    if (text.isEmpty() || !url.isValid())
        fail(DecodingFailure::Kind::dataCorrupted, w, "a URL");
    return url;
}

} // namespace json_detail

JsonValue::JsonValue(QJsonValue value, KeyStyle style, QString path)
    : View(value.isUndefined() ? nullptr : json_detail::documentOf(value),
        value.isUndefined() ? json_detail::absent : 1, style, std::move(path))
{
}

QJsonValue JsonValue::raw() const
{
    if (!m_doc || m_node == json_detail::absent)
        return QJsonValue(QJsonValue::Undefined);
    return json_detail::materialise(*m_doc, m_node);
}

void JsonValue::fail(const char* expected) const
{
    json_detail::fail(DecodingFailure::Kind::dataCorrupted, here(), expected);
}

const DocumentPtr& JsonValue::emptyDocument()
{
    static const DocumentPtr empty = std::make_shared<Document>();
    return empty;
}

JsonObject::JsonObject(QJsonObject object, KeyStyle style, QString path)
    : View(json_detail::documentOf(object), 1, style, std::move(path))
{
}

JsonValue JsonObject::member(QAnyStringView key) const
{
    return JsonValue(m_doc ? m_doc : DocumentPtr(), lookup(key), m_style, step(key).path());
}

QJsonObject JsonObject::raw() const
{
    return m_doc ? json_detail::materialise(*m_doc, m_node).toObject() : QJsonObject();
}

JsonArray::JsonArray(QJsonArray array, KeyStyle style, QString path)
    : View(json_detail::documentOf(array), 1, style, std::move(path))
{
}

QJsonArray JsonArray::raw() const
{
    return m_doc ? json_detail::materialise(*m_doc, m_node).toArray() : QJsonArray();
}

QJsonValue parseJsonDocument(const QByteArray& body)
{
    return json_detail::materialise(*json_detail::parse(body), 0);
}

} // namespace brenvo
