#include "http/JsonReader.h"

#include <QJsonDocument>
#include <QJsonParseError>

#include <vector>

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

const char* typeName(const QJsonValue& v)
{
    switch (v.type()) {
    case QJsonValue::Null:
        return "null";
    case QJsonValue::Bool:
        return "a boolean";
    case QJsonValue::Double:
        return "a number";
    case QJsonValue::String:
        return "a string";
    case QJsonValue::Array:
        return "an array";
    case QJsonValue::Object:
        return "an object";
    case QJsonValue::Undefined:
        return "nothing";
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

namespace json_detail {

QString Where::path() const
{
    if (index >= 0)
        return parent + u'[' + QString::number(index) + u']';
    if (key.isEmpty())
        return parent;
    if (parent.isEmpty())
        return key.toString();
    return parent + u'.' + key.toString();
}

void fail(DecodingFailure::Kind kind, const Where& where, const char* expected)
{
    throw DecodingFailure(kind, where.path(), QStringLiteral("expected %1").arg(QLatin1String(expected)));
}

void mismatch(const QJsonValue& value, const Where& where, const char* expected)
{
    throw DecodingFailure(DecodingFailure::Kind::typeMismatch, where.path(),
        QStringLiteral("expected %1, found %2").arg(QLatin1String(expected), QLatin1String(typeName(value))));
}

void nullValue(const Where& where, const char* expected)
{
    fail(DecodingFailure::Kind::valueNotFound, where, expected);
}

qint64 integerFrom(const QJsonValue& v, const Where& w, qint64 min, qint64 max, const char* expected)
{
    requireNotNull(v, w, expected);
    if (!v.isDouble())
        mismatch(v, w, expected);
    // toInteger gives its fallback for fractions and numbers out of range: two fallbacks tell.
    const qint64 a = v.toInteger(0);
    const qint64 b = v.toInteger(1);
    if (a != b || a < min || a > max)
        fail(DecodingFailure::Kind::dataCorrupted, w, expected);
    return a;
}

QUrl urlFrom(const QString& text, const Where& w)
{
    const QUrl url(text, QUrl::StrictMode);
    if (text.isEmpty() || !url.isValid())
        fail(DecodingFailure::Kind::dataCorrupted, w, "a URL");
    return url;
}

} // namespace json_detail

void JsonValue::fail(const char* expected) const
{
    json_detail::fail(DecodingFailure::Kind::dataCorrupted, json_detail::Where {m_path, {}}, expected);
}

struct JsonObject::Index {
    // Every member under its converted name, in the object's order; the first of a clash wins.
    std::vector<std::pair<QString, QJsonValue>> members;
};

JsonObject::JsonObject(QJsonObject object, KeyStyle style, QString path)
    : m_object(std::move(object))
    , m_style(style)
    , m_path(std::move(path))
{
}

namespace {
QJsonValue valueAsWritten(const QJsonObject& object, QAnyStringView key)
{
    return key.visit([&object](auto view) -> QJsonValue {
        using View = decltype(view);
        if constexpr (std::is_same_v<View, QStringView> || std::is_same_v<View, QLatin1StringView>)
            return object.value(view);
        else
            return object.value(QString::fromUtf8(view.data(), view.size()));
    });
}
} // namespace

QJsonValue JsonObject::lookup(QAnyStringView key) const
{
    if (m_style == KeyStyle::asIs)
        return valueAsWritten(m_object, key);
    if (!m_index) {
        auto index = std::make_shared<Index>();
        index->members.reserve(static_cast<size_t>(m_object.size()));
        for (auto it = m_object.begin(); it != m_object.end(); ++it)
            index->members.emplace_back(camelCaseKey(it.key()), it.value());
        m_index = std::move(index);
    }
    // Field names are ASCII literals: compared as Latin-1 they need no conversion.
    const std::optional<QLatin1StringView> latin
        = key.visit([](auto view) -> std::optional<QLatin1StringView> {
              if constexpr (std::is_same_v<decltype(view), QUtf8StringView>) {
                  const QLatin1StringView bytes(view.data(), view.size());
                  if (QtPrivate::isAscii(bytes))
                      return bytes;
              }
              return std::nullopt;
          });
    for (const auto& [name, value] : m_index->members) {
        if (latin ? name == *latin : QAnyStringView::equal(name, key))
            return value;
    }
    // A name with an inner "_" can never come out of the conversion: take it as written.
    const QString name = key.toString();
    if (name.indexOf(u'_', 1) > 0 && !name.endsWith(u'_'))
        return m_object.value(name);
    return QJsonValue(QJsonValue::Undefined);
}

JsonValue JsonObject::member(QAnyStringView key) const
{
    return JsonValue(lookup(key), m_style, json_detail::Where {m_path, key}.path());
}

QJsonValue parseJsonDocument(const QByteArray& body)
{
    qsizetype start = 0;
    if (body.startsWith("\xEF\xBB\xBF"))
        start = 3;
    while (start < body.size()
        && (body[start] == ' ' || body[start] == '\n' || body[start] == '\r' || body[start] == '\t'))
        ++start;
    if (start == body.size())
        throw DecodingFailure(DecodingFailure::Kind::dataCorrupted, {}, QStringLiteral("an empty reply"));

    const char first = body[start];
    QJsonParseError error {};
    if (first == '{' || first == '[') {
        const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
        if (error.error != QJsonParseError::NoError)
            throw DecodingFailure(DecodingFailure::Kind::dataCorrupted, {},
                QStringLiteral("not JSON (%1 at byte %2)").arg(error.errorString()).arg(error.offset));
        return doc.isObject() ? QJsonValue(doc.object()) : QJsonValue(doc.array());
    }
    // The parser only takes an object or an array at the top: wrap a lone value in an array.
    QByteArray wrapped;
    wrapped.reserve(body.size() + 2);
    wrapped.append('[').append(QByteArrayView(body).sliced(start)).append(']');
    const QJsonDocument doc = QJsonDocument::fromJson(wrapped, &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray() || doc.array().size() != 1)
        throw DecodingFailure(DecodingFailure::Kind::dataCorrupted, {}, QStringLiteral("not JSON"));
    return doc.array().at(0);
}

} // namespace brenvo
