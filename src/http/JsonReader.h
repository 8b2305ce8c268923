#pragma once

// The one strict JSON reader of every web client.
//
// A reply type declares how it is read with a static member:
//
//     struct Project {
//         QString id;
//         QString name;
//         std::optional<qint64> updatedAt;
//         std::vector<Domain> domains;
//         static Project fromJson(const JsonObject& o)
//         {
//             return {o.required<QString>("id"), o.required<QString>("name"),
//                     o.optional<qint64>("updatedAt"), o.optional("domains", std::vector<Domain>{})};
//         }
//     };
//     auto projects = decodeJson<std::vector<Project>>(body, KeyStyle::snakeCase);
//
// Rules: a required member that is missing or null fails; an optional member that is missing or null
// is absent; a member of the wrong type fails the whole reply, optional or not. Keys are the field
// names in camelCase; under KeyStyle::snakeCase the reply's keys are converted first ("updated_at"
// and "updatedAt" both fill updatedAt). Failures are DecodingFailure, which says where and what.
//
// Decodable: bool, int, qint64, double, QString, QUrl, QJsonValue/QJsonObject/QJsonArray (raw),
// JsonValue/JsonObject/JsonArray, std::optional<T>, std::vector<T>, QList<T>, QMap<QString, T>,
// and any T with `static T fromJson(const JsonObject&)` or `static T fromJsonValue(const JsonValue&)`.

#include <QAnyStringView>
#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QMap>
#include <QString>
#include <QUrl>

#include <concepts>
#include <exception>
#include <memory>
#include <optional>
#include <type_traits>
#include <vector>

namespace brenvo {

enum class KeyStyle {
    asIs, // keys are matched as written
    snakeCase // snake_case keys of the reply are turned into camelCase before matching
};

class DecodingFailure : public std::exception {
public:
    enum class Kind {
        dataCorrupted, // not JSON, or a value that cannot stand for the type (a malformed URL)
        keyNotFound, // a required member is missing
        valueNotFound, // a required member or element is null
        typeMismatch // a value of another JSON type
    };

    DecodingFailure(Kind kind, QString path, QString detail);

    Kind kind() const { return m_kind; }
    // Where the reply went wrong, as "items[2].createdAt"; empty for the document itself.
    const QString& path() const { return m_path; }
    // What was expected there, for the log. Never holds reply text.
    const QString& detail() const { return m_detail; }
    const char* what() const noexcept override { return m_what.constData(); }

private:
    Kind m_kind;
    QString m_path;
    QString m_detail;
    QByteArray m_what;
};

// A member name of a reply under a key style: "created_at" becomes "createdAt"; leading and
// trailing underscores stay; a name without "_" is kept as written.
QString camelCaseKey(const QString& key);

class JsonObject;
class JsonArray;
class JsonValue;

namespace json_detail {

// Where a value sits: its parent's path and one step. The full path is only put together for a
// failure, so reading a large reply builds no strings.
struct Where {
    const QString& parent;
    QAnyStringView key;
    qsizetype index = -1;
    QString path() const;
};

[[noreturn]] void fail(DecodingFailure::Kind kind, const Where& where, const char* expected);
[[noreturn]] void mismatch(const QJsonValue& value, const Where& where, const char* expected);

template <typename T> struct Decoder;

template <typename T>
concept JsonRecord = requires(const JsonObject& o)
{
    {
        T::fromJson(o)
        } -> std::same_as<T>;
};

template <typename T>
concept JsonValueRecord = requires(const JsonValue& v)
{
    {
        T::fromJsonValue(v)
        } -> std::same_as<T>;
};

template <typename T> T decodeAt(const QJsonValue& value, KeyStyle style, const Where& where)
{
    return Decoder<T>::decode(value, style, where);
}

template <typename T> struct IsOptional : std::false_type {
};
template <typename T> struct IsOptional<std::optional<T>> : std::true_type {
};

} // namespace json_detail

// One value of a reply: the raw JSON, the reply's key style and where it sits.
class JsonValue {
public:
    JsonValue() = default;
    JsonValue(QJsonValue value, KeyStyle style = KeyStyle::asIs, QString path = {})
        : m_value(std::move(value))
        , m_style(style)
        , m_path(std::move(path))
    {
    }

    // Null or absent.
    bool isNull() const { return m_value.isNull() || m_value.isUndefined(); }
    const QJsonValue& raw() const { return m_value; }
    KeyStyle keyStyle() const { return m_style; }
    const QString& path() const { return m_path; }

    template <typename T> T as() const
    {
        return json_detail::decodeAt<T>(m_value, m_style, json_detail::Where {m_path, {}});
    }

    // For decoders of closed sets of words: the value is of the right type but not one it knows.
    [[noreturn]] void fail(const char* expected) const;

private:
    QJsonValue m_value;
    KeyStyle m_style = KeyStyle::asIs;
    QString m_path;
};

class JsonObject {
public:
    JsonObject() = default;
    JsonObject(QJsonObject object, KeyStyle style = KeyStyle::asIs, QString path = {});

    // The member under key; DecodingFailure when it is missing, null or of the wrong type.
    template <typename T> T required(QAnyStringView key) const
    {
        const QJsonValue v = lookup(key);
        if (v.isUndefined())
            json_detail::fail(
                DecodingFailure::Kind::keyNotFound, json_detail::Where {m_path, key}, "a value");
        return json_detail::decodeAt<T>(v, m_style, json_detail::Where {m_path, key});
    }

    // The member under key, absent when missing or null; DecodingFailure when of the wrong type.
    template <typename T> std::optional<T> optional(QAnyStringView key) const
    {
        const QJsonValue v = lookup(key);
        if (v.isUndefined() || v.isNull())
            return std::nullopt;
        return json_detail::decodeAt<T>(v, m_style, json_detail::Where {m_path, key});
    }

    // The member under key, or fallback when missing or null.
    template <typename T> T optional(QAnyStringView key, T fallback) const
    {
        auto v = optional<T>(key);
        return v ? std::move(*v) : std::move(fallback);
    }

    // Present and not null.
    bool has(QAnyStringView key) const
    {
        const QJsonValue v = lookup(key);
        return !v.isUndefined() && !v.isNull();
    }

    JsonValue member(QAnyStringView key) const;
    const QJsonObject& raw() const { return m_object; }
    KeyStyle keyStyle() const { return m_style; }
    const QString& path() const { return m_path; }

private:
    QJsonValue lookup(QAnyStringView key) const;
    // Built on first lookup under snakeCase: converted key to original key.
    struct Index;
    QJsonObject m_object;
    KeyStyle m_style = KeyStyle::asIs;
    QString m_path;
    mutable std::shared_ptr<const Index> m_index;
};

class JsonArray {
public:
    JsonArray() = default;
    JsonArray(QJsonArray array, KeyStyle style = KeyStyle::asIs, QString path = {})
        : m_array(std::move(array))
        , m_style(style)
        , m_path(std::move(path))
    {
    }

    qsizetype size() const { return m_array.size(); }
    bool isEmpty() const { return m_array.isEmpty(); }

    template <typename T> T at(qsizetype i) const
    {
        return json_detail::decodeAt<T>(m_array.at(i), m_style, json_detail::Where {m_path, {}, i});
    }

    // Every element as T: one failing element fails the whole array.
    template <typename T> std::vector<T> all() const
    {
        std::vector<T> out;
        out.reserve(static_cast<size_t>(m_array.size()));
        for (qsizetype i = 0; i < m_array.size(); ++i)
            out.push_back(at<T>(i));
        return out;
    }

    const QJsonArray& raw() const { return m_array; }
    KeyStyle keyStyle() const { return m_style; }
    const QString& path() const { return m_path; }

private:
    QJsonArray m_array;
    KeyStyle m_style = KeyStyle::asIs;
    QString m_path;
};

// Parses a whole reply. Any JSON value may stand at the top, "null" included; anything else is
// DecodingFailure::dataCorrupted.
QJsonValue parseJsonDocument(const QByteArray& body);

// Decodes a whole reply as T. With T = std::optional<U>, a reply that is the literal null gives
// nullopt; every other reply is read as U.
template <typename T> T decodeJson(const QByteArray& body, KeyStyle style = KeyStyle::asIs)
{
    const QJsonValue document = parseJsonDocument(body);
    static const QString root;
    return json_detail::decodeAt<T>(document, style, json_detail::Where {root, {}});
}

// Decoders.
namespace json_detail {

[[noreturn]] void nullValue(const Where& where, const char* expected);

inline void requireNotNull(const QJsonValue& v, const Where& where, const char* expected)
{
    if (v.isNull() || v.isUndefined())
        nullValue(where, expected);
}

// A present value of exactly this JSON type.
inline void requireType(const QJsonValue& v, QJsonValue::Type type, const Where& where, const char* expected)
{
    requireNotNull(v, where, expected);
    if (v.type() != type)
        mismatch(v, where, expected);
}

template <> struct Decoder<bool> {
    static bool decode(const QJsonValue& v, KeyStyle, const Where& w)
    {
        requireType(v, QJsonValue::Bool, w, "a boolean");
        return v.toBool();
    }
};

qint64 integerFrom(const QJsonValue& v, const Where& w, qint64 min, qint64 max, const char* expected);

template <> struct Decoder<int> {
    static int decode(const QJsonValue& v, KeyStyle, const Where& w)
    {
        return static_cast<int>(integerFrom(v, w, INT_MIN, INT_MAX, "a 32-bit integer"));
    }
};

template <> struct Decoder<qint64> {
    static qint64 decode(const QJsonValue& v, KeyStyle, const Where& w)
    {
        return integerFrom(
            v, w, std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max(), "an integer");
    }
};

template <> struct Decoder<long> {
    static long decode(const QJsonValue& v, KeyStyle, const Where& w)
    {
        return static_cast<long>(integerFrom(
            v, w, std::numeric_limits<long>::min(), std::numeric_limits<long>::max(), "an integer"));
    }
};

template <> struct Decoder<double> {
    static double decode(const QJsonValue& v, KeyStyle, const Where& w)
    {
        requireType(v, QJsonValue::Double, w, "a number");
        return v.toDouble();
    }
};

template <> struct Decoder<QString> {
    static QString decode(const QJsonValue& v, KeyStyle, const Where& w)
    {
        requireType(v, QJsonValue::String, w, "a string");
        return v.toString();
    }
};

QUrl urlFrom(const QString& text, const Where& w);

template <> struct Decoder<QUrl> {
    static QUrl decode(const QJsonValue& v, KeyStyle s, const Where& w)
    {
        return urlFrom(Decoder<QString>::decode(v, s, w), w);
    }
};

template <> struct Decoder<QJsonValue> {
    static QJsonValue decode(const QJsonValue& v, KeyStyle, const Where&) { return v; }
};

template <> struct Decoder<QJsonObject> {
    static QJsonObject decode(const QJsonValue& v, KeyStyle, const Where& w)
    {
        requireType(v, QJsonValue::Object, w, "an object");
        return v.toObject();
    }
};

template <> struct Decoder<QJsonArray> {
    static QJsonArray decode(const QJsonValue& v, KeyStyle, const Where& w)
    {
        requireType(v, QJsonValue::Array, w, "an array");
        return v.toArray();
    }
};

template <> struct Decoder<JsonValue> {
    static JsonValue decode(const QJsonValue& v, KeyStyle s, const Where& w)
    {
        return JsonValue(v, s, w.path());
    }
};

template <> struct Decoder<JsonObject> {
    static JsonObject decode(const QJsonValue& v, KeyStyle s, const Where& w)
    {
        return JsonObject(Decoder<QJsonObject>::decode(v, s, w), s, w.path());
    }
};

template <> struct Decoder<JsonArray> {
    static JsonArray decode(const QJsonValue& v, KeyStyle s, const Where& w)
    {
        return JsonArray(Decoder<QJsonArray>::decode(v, s, w), s, w.path());
    }
};

template <typename T> struct Decoder<std::optional<T>> {
    static std::optional<T> decode(const QJsonValue& v, KeyStyle s, const Where& w)
    {
        if (v.isNull() || v.isUndefined())
            return std::nullopt;
        return Decoder<T>::decode(v, s, w);
    }
};

// Every element of an array into a container; one failing element fails the whole array.
template <typename Container, typename T>
Container decodeElements(const QJsonValue& v, KeyStyle s, const Where& w)
{
    requireType(v, QJsonValue::Array, w, "an array");
    const QJsonArray array = v.toArray();
    const QString path = w.path();
    Container out;
    out.reserve(array.size());
    for (qsizetype i = 0; i < array.size(); ++i)
        out.push_back(Decoder<T>::decode(array.at(i), s, Where {path, {}, i}));
    return out;
}

template <typename T> struct Decoder<std::vector<T>> {
    static std::vector<T> decode(const QJsonValue& v, KeyStyle s, const Where& w)
    {
        return decodeElements<std::vector<T>, T>(v, s, w);
    }
};

template <typename T> struct Decoder<QList<T>> {
    static QList<T> decode(const QJsonValue& v, KeyStyle s, const Where& w)
    {
        return decodeElements<QList<T>, T>(v, s, w);
    }
};

// A map's keys are data, not field names: they are kept as written under every key style.
template <typename T> struct Decoder<QMap<QString, T>> {
    static QMap<QString, T> decode(const QJsonValue& v, KeyStyle s, const Where& w)
    {
        const QJsonObject object = Decoder<QJsonObject>::decode(v, s, w);
        const QString path = w.path();
        QMap<QString, T> out;
        for (auto it = object.begin(); it != object.end(); ++it)
            out.insert(it.key(), Decoder<T>::decode(it.value(), s, Where {path, it.key()}));
        return out;
    }
};

template <typename T>
requires JsonRecord<T>
struct Decoder<T> {
    static T decode(const QJsonValue& v, KeyStyle s, const Where& w)
    {
        return T::fromJson(JsonObject(Decoder<QJsonObject>::decode(v, s, w), s, w.path()));
    }
};

template <typename T>
requires(JsonValueRecord<T> && !JsonRecord<T>) struct Decoder<T> {
    static T decode(const QJsonValue& v, KeyStyle s, const Where& w)
    {
        return T::fromJsonValue(JsonValue(v, s, w.path()));
    }
};

} // namespace json_detail

} // namespace brenvo
