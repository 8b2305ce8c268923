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
// is absent; a member of the wrong type fails the whole reply, optional or not (`lenient` reads one
// that may be of any type). Keys are the field names in camelCase, compared with the reply's keys
// exactly as written; under KeyStyle::snakeCase the reply's keys are converted first ("updated_at"
// and "updatedAt" both fill updatedAt). When a key appears twice the last one counts. Failures are
// DecodingFailure, which says where and what.
//
// The reply is parsed by the reader itself (RFC 8259, UTF-8, nesting at most 1024 deep) into a flat
// list of values in document order; records read their members straight from it, and the path of a
// value is only put together when something fails.
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

#include <climits>
#include <concepts>
#include <cstdint>
#include <exception>
#include <limits>
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

// One value of a parsed reply. Containers are followed by their contents: an array by its elements,
// an object by key and value for each member.
struct Node {
    enum Type : std::uint8_t { Null, False, True, Integer, Double, String, Array, Object };
    struct Slice {
        std::uint32_t offset; // strings: where the UTF-8 bytes start in the text
        std::uint32_t length; // strings: their length; containers: the number of elements or members
    };
    Type type;
    std::uint32_t end; // the index just past this value and all it holds
    union {
        qint64 integer;
        double number;
        Slice slice;
    };
};

struct Document {
    QByteArray text; // the reply; strings with escapes are rewritten in place
    std::vector<Node> nodes;

    QByteArrayView bytes(std::uint32_t n) const
    {
        return QByteArrayView(text.constData() + nodes[n].slice.offset, nodes[n].slice.length);
    }
    QString string(std::uint32_t n) const
    {
        return QString::fromUtf8(text.constData() + nodes[n].slice.offset, nodes[n].slice.length);
    }
};

using DocumentPtr = std::shared_ptr<const Document>;
inline constexpr std::uint32_t absent = UINT32_MAX;

// Where a value sits: its parent (a step still being decoded, or a path built earlier) and one
// step. The path text is only put together for a failure.
struct Where {
    const Where* parent = nullptr;
    const QString* base = nullptr;
    QAnyStringView key;
    qsizetype index = -1;
    QString path() const;
};

[[noreturn]] void fail(DecodingFailure::Kind kind, const Where& where, const char* expected);
[[noreturn]] void mismatch(const Document& doc, std::uint32_t n, const Where& where, const char* expected);
[[noreturn]] void nullValue(const Where& where, const char* expected);

DocumentPtr parse(const QByteArray& body);
DocumentPtr documentOf(const QJsonValue& value);
QJsonValue materialise(const Document& doc, std::uint32_t n);
std::uint32_t lookup(const Document& doc, std::uint32_t object, QAnyStringView key, KeyStyle style);

inline bool isNull(const Document& doc, std::uint32_t n)
{
    return n == absent || doc.nodes[n].type == Node::Null;
}

// The shared part of the views: the document, one value in it, the key style and the path. A view
// made while its parent is being decoded only points at that parent's step; a copy builds its own
// path, so views can be kept as long as wanted.
class View {
public:
    View() = default;
    View(DocumentPtr doc, std::uint32_t node, KeyStyle style, const Where* at)
        : m_doc(std::move(doc))
        , m_node(node)
        , m_style(style)
        , m_at(at)
    {
    }
    View(DocumentPtr doc, std::uint32_t node, KeyStyle style, QString path)
        : m_doc(std::move(doc))
        , m_node(node)
        , m_style(style)
        , m_path(std::move(path))
    {
    }
    View(const View& other)
        : m_doc(other.m_doc)
        , m_node(other.m_node)
        , m_style(other.m_style)
        , m_path(other.path())
    {
    }
    View(View&& other) noexcept
        : m_doc(std::move(other.m_doc))
        , m_node(other.m_node)
        , m_style(other.m_style)
        , m_path(other.m_at ? other.m_at->path() : std::move(other.m_path))
    {
    }
    View& operator=(const View& other)
    {
        if (this != &other) {
            View copy(other);
            *this = std::move(copy);
        }
        return *this;
    }
    View& operator=(View&& other) noexcept
    {
        m_path = other.m_at ? other.m_at->path() : std::move(other.m_path);
        m_doc = std::move(other.m_doc);
        m_node = other.m_node;
        m_style = other.m_style;
        m_at = nullptr;
        return *this;
    }
    ~View() = default;

    KeyStyle keyStyle() const { return m_style; }
    QString path() const { return m_at ? m_at->path() : m_path; }

protected:
    Where step(QAnyStringView key, qsizetype index = -1) const
    {
        return Where {m_at, m_at ? nullptr : &m_path, key, index};
    }
    Where here() const { return m_at ? *m_at : Where {nullptr, &m_path, {}, -1}; }
    const Document& doc() const { return *m_doc; }

    DocumentPtr m_doc;
    std::uint32_t m_node = absent;
    KeyStyle m_style = KeyStyle::asIs;
    const Where* m_at = nullptr;
    QString m_path;
};

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

template <typename T> T decodeAt(const DocumentPtr& doc, std::uint32_t n, KeyStyle style, const Where& where)
{
    return Decoder<T>::decode(doc, n, style, where);
}

// Whether a present value can be read as T without a failure, as far as can be told without
// running a record's own reading.
template <typename T> bool fits(const Document& doc, std::uint32_t n)
{
    return Decoder<T>::fits(doc, n);
}

} // namespace json_detail

// One value of a reply: the raw JSON, the reply's key style and where it sits.
class JsonValue : public json_detail::View {
public:
    JsonValue() = default;
    JsonValue(QJsonValue value, KeyStyle style = KeyStyle::asIs, QString path = {});
    using View::View;

    // Null or absent.
    bool isNull() const { return !m_doc || json_detail::isNull(*m_doc, m_node); }
    QJsonValue raw() const;

    template <typename T> T as() const
    {
        if (!m_doc)
            return json_detail::decodeAt<T>(emptyDocument(), json_detail::absent, m_style, here());
        return json_detail::decodeAt<T>(m_doc, m_node, m_style, here());
    }

    // For decoders of closed sets of words: the value is of the right type but not one it knows.
    [[noreturn]] void fail(const char* expected) const;

    // A document with no values, for views of nothing.
    static const json_detail::DocumentPtr& emptyDocument();
};

class JsonObject : public json_detail::View {
public:
    JsonObject() = default;
    JsonObject(QJsonObject object, KeyStyle style = KeyStyle::asIs, QString path = {});
    using View::View;

    // The member under key; DecodingFailure when it is missing, null or of the wrong type.
    template <typename T> T required(QAnyStringView key) const
    {
        const std::uint32_t n = lookup(key);
        const json_detail::Where at = step(key);
        if (n == json_detail::absent)
            json_detail::fail(DecodingFailure::Kind::keyNotFound, at, "a value");
        return json_detail::decodeAt<T>(m_doc, n, m_style, at);
    }

    // The member under key, absent when missing or null; DecodingFailure when of the wrong type.
    template <typename T> std::optional<T> optional(QAnyStringView key) const
    {
        const std::uint32_t n = lookup(key);
        if (n == json_detail::absent || json_detail::isNull(*m_doc, n))
            return std::nullopt;
        return json_detail::decodeAt<T>(m_doc, n, m_style, step(key));
    }

    // The member under key, or fallback when missing or null.
    template <typename T> T optional(QAnyStringView key, T fallback) const
    {
        auto v = optional<T>(key);
        return v ? std::move(*v) : std::move(fallback);
    }

    // The member under key, absent when missing, null or unreadable as T. A value of another JSON
    // type is told apart without a failure being raised.
    template <typename T> std::optional<T> lenient(QAnyStringView key) const
    {
        const std::uint32_t n = lookup(key);
        if (n == json_detail::absent || json_detail::isNull(*m_doc, n) || !json_detail::fits<T>(*m_doc, n))
            return std::nullopt;
        try {
            return json_detail::decodeAt<T>(m_doc, n, m_style, step(key));
        } catch (const DecodingFailure&) {
            return std::nullopt;
        }
    }

    // Present and not null.
    bool has(QAnyStringView key) const
    {
        const std::uint32_t n = lookup(key);
        return n != json_detail::absent && !json_detail::isNull(*m_doc, n);
    }

    JsonValue member(QAnyStringView key) const;
    QJsonObject raw() const;

private:
    std::uint32_t lookup(QAnyStringView key) const
    {
        return m_doc ? json_detail::lookup(*m_doc, m_node, key, m_style) : json_detail::absent;
    }
};

class JsonArray : public json_detail::View {
public:
    JsonArray() = default;
    JsonArray(QJsonArray array, KeyStyle style = KeyStyle::asIs, QString path = {});
    using View::View;

    qsizetype size() const { return m_doc ? m_doc->nodes[m_node].slice.length : 0; }
    bool isEmpty() const { return size() == 0; }

    template <typename T> T at(qsizetype i) const
    {
        // Past the end reads as a missing value.
        std::uint32_t n = json_detail::absent;
        if (i >= 0 && i < size()) {
            n = m_node + 1;
            for (qsizetype k = 0; k < i; ++k)
                n = m_doc->nodes[n].end;
        }
        return json_detail::decodeAt<T>(m_doc ? m_doc : JsonValue::emptyDocument(), n, m_style, step({}, i));
    }

    // Every element as T: one failing element fails the whole array.
    template <typename T> std::vector<T> all() const
    {
        std::vector<T> out;
        out.reserve(static_cast<size_t>(size()));
        std::uint32_t n = m_node + 1;
        for (qsizetype i = 0; i < size(); ++i, n = m_doc->nodes[n].end)
            out.push_back(json_detail::decodeAt<T>(m_doc, n, m_style, step({}, i)));
        return out;
    }

    QJsonArray raw() const;
};

// Parses a whole reply. Any JSON value may stand at the top, "null" included; anything else is
// DecodingFailure::dataCorrupted.
QJsonValue parseJsonDocument(const QByteArray& body);

// Decodes a whole reply as T. With T = std::optional<U>, a reply that is the literal null gives
// nullopt; every other reply is read as U.
template <typename T> T decodeJson(const QByteArray& body, KeyStyle style = KeyStyle::asIs)
{
    const json_detail::DocumentPtr doc = json_detail::parse(body);
    return json_detail::decodeAt<T>(doc, 0, style, json_detail::Where {});
}

// Decoders.
namespace json_detail {

inline void requireNotNull(const Document& doc, std::uint32_t n, const Where& where, const char* expected)
{
    if (isNull(doc, n))
        nullValue(where, expected);
}

// A present value of exactly this JSON type.
inline void requireType(
    const Document& doc, std::uint32_t n, Node::Type type, const Where& where, const char* expected)
{
    requireNotNull(doc, n, where, expected);
    if (doc.nodes[n].type != type)
        mismatch(doc, n, where, expected);
}

inline bool isType(const Document& doc, std::uint32_t n, Node::Type type)
{
    return n != absent && doc.nodes[n].type == type;
}

template <> struct Decoder<bool> {
    static bool decode(const DocumentPtr& d, std::uint32_t n, KeyStyle, const Where& w)
    {
        requireNotNull(*d, n, w, "a boolean");
        if (!fits(*d, n))
            mismatch(*d, n, w, "a boolean");
        return d->nodes[n].type == Node::True;
    }
    static bool fits(const Document& d, std::uint32_t n)
    {
        return isType(d, n, Node::True) || isType(d, n, Node::False);
    }
};

// The number as a whole number within [min, max]; nothing for a fraction, a number out of range
// or a value of another type.
std::optional<qint64> integerOf(const Document& d, std::uint32_t n, qint64 min, qint64 max);
qint64 integerFrom(
    const Document& d, std::uint32_t n, const Where& w, qint64 min, qint64 max, const char* expected);

template <typename I> struct IntegerDecoder {
    static constexpr qint64 min = std::numeric_limits<I>::min();
    static constexpr qint64 max = std::numeric_limits<I>::max();
    static I decode(const DocumentPtr& d, std::uint32_t n, KeyStyle, const Where& w)
    {
        return static_cast<I>(
            integerFrom(*d, n, w, min, max, sizeof(I) == 4 ? "a 32-bit integer" : "an integer"));
    }
    static bool fits(const Document& d, std::uint32_t n) { return integerOf(d, n, min, max).has_value(); }
};

template <> struct Decoder<int> : IntegerDecoder<int> {
};
template <> struct Decoder<long> : IntegerDecoder<long> {
};
template <> struct Decoder<long long> : IntegerDecoder<long long> {
};

template <> struct Decoder<double> {
    static double decode(const DocumentPtr& d, std::uint32_t n, KeyStyle, const Where& w)
    {
        requireNotNull(*d, n, w, "a number");
        if (!fits(*d, n))
            mismatch(*d, n, w, "a number");
        const Node& node = d->nodes[n];
        return node.type == Node::Integer ? static_cast<double>(node.integer) : node.number;
    }
    static bool fits(const Document& d, std::uint32_t n)
    {
        return isType(d, n, Node::Integer) || isType(d, n, Node::Double);
    }
};

template <> struct Decoder<QString> {
    static QString decode(const DocumentPtr& d, std::uint32_t n, KeyStyle, const Where& w)
    {
        requireType(*d, n, Node::String, w, "a string");
        return d->string(n);
    }
    static bool fits(const Document& d, std::uint32_t n) { return isType(d, n, Node::String); }
};

QUrl urlFrom(const QString& text, const Where& w);

template <> struct Decoder<QUrl> {
    static QUrl decode(const DocumentPtr& d, std::uint32_t n, KeyStyle s, const Where& w)
    {
        return urlFrom(Decoder<QString>::decode(d, n, s, w), w);
    }
    static bool fits(const Document& d, std::uint32_t n)
    {
        if (!isType(d, n, Node::String) || d.nodes[n].slice.length == 0)
            return false;
        return QUrl(d.string(n), QUrl::StrictMode).isValid();
    }
};

template <> struct Decoder<QJsonValue> {
    static QJsonValue decode(const DocumentPtr& d, std::uint32_t n, KeyStyle, const Where&)
    {
        return n == absent ? QJsonValue(QJsonValue::Undefined) : materialise(*d, n);
    }
    static bool fits(const Document&, std::uint32_t) { return true; }
};

template <Node::Type type, typename T> struct ContainerDecoder {
    static bool fits(const Document& d, std::uint32_t n) { return isType(d, n, type); }
    static T decode(const DocumentPtr& d, std::uint32_t n, KeyStyle s, const Where& w)
    {
        requireType(*d, n, type, w, type == Node::Object ? "an object" : "an array");
        if constexpr (std::is_same_v<T, QJsonObject>)
            return materialise(*d, n).toObject();
        else if constexpr (std::is_same_v<T, QJsonArray>)
            return materialise(*d, n).toArray();
        else
            return T(d, n, s, w.path());
    }
};

template <> struct Decoder<QJsonObject> : ContainerDecoder<Node::Object, QJsonObject> {
};
template <> struct Decoder<QJsonArray> : ContainerDecoder<Node::Array, QJsonArray> {
};
template <> struct Decoder<JsonObject> : ContainerDecoder<Node::Object, JsonObject> {
};
template <> struct Decoder<JsonArray> : ContainerDecoder<Node::Array, JsonArray> {
};

template <> struct Decoder<JsonValue> {
    static JsonValue decode(const DocumentPtr& d, std::uint32_t n, KeyStyle s, const Where& w)
    {
        return JsonValue(d, n, s, w.path());
    }
    static bool fits(const Document&, std::uint32_t) { return true; }
};

template <typename T> struct Decoder<std::optional<T>> {
    static std::optional<T> decode(const DocumentPtr& d, std::uint32_t n, KeyStyle s, const Where& w)
    {
        if (isNull(*d, n))
            return std::nullopt;
        return Decoder<T>::decode(d, n, s, w);
    }
    static bool fits(const Document& d, std::uint32_t n) { return isNull(d, n) || Decoder<T>::fits(d, n); }
};

// Every element of an array into a container; one failing element fails the whole array.
template <typename Container, typename T> struct ElementsDecoder {
    static Container decode(const DocumentPtr& d, std::uint32_t n, KeyStyle s, const Where& w)
    {
        requireType(*d, n, Node::Array, w, "an array");
        const std::uint32_t count = d->nodes[n].slice.length;
        Container out;
        out.reserve(count);
        std::uint32_t e = n + 1;
        for (std::uint32_t i = 0; i < count; ++i, e = d->nodes[e].end)
            out.push_back(Decoder<T>::decode(d, e, s, Where {&w, nullptr, {}, i}));
        return out;
    }
    static bool fits(const Document& d, std::uint32_t n)
    {
        if (!isType(d, n, Node::Array))
            return false;
        for (std::uint32_t e = n + 1; e < d.nodes[n].end; e = d.nodes[e].end) {
            if (!Decoder<T>::fits(d, e))
                return false;
        }
        return true;
    }
};

template <typename T> struct Decoder<std::vector<T>> : ElementsDecoder<std::vector<T>, T> {
};
template <typename T> struct Decoder<QList<T>> : ElementsDecoder<QList<T>, T> {
};

// A map's keys are data, not field names: they are kept as written under every key style.
template <typename T> struct Decoder<QMap<QString, T>> {
    static QMap<QString, T> decode(const DocumentPtr& d, std::uint32_t n, KeyStyle s, const Where& w)
    {
        requireType(*d, n, Node::Object, w, "an object");
        QMap<QString, T> out;
        for (std::uint32_t k = n + 1; k < d->nodes[n].end; k = d->nodes[k + 1].end) {
            const QString key = d->string(k);
            out.insert(key, Decoder<T>::decode(d, k + 1, s, Where {&w, nullptr, key}));
        }
        return out;
    }
    static bool fits(const Document& d, std::uint32_t n)
    {
        if (!isType(d, n, Node::Object))
            return false;
        for (std::uint32_t k = n + 1; k < d.nodes[n].end; k = d.nodes[k + 1].end) {
            if (!Decoder<T>::fits(d, k + 1))
                return false;
        }
        return true;
    }
};

template <typename T>
requires JsonRecord<T>
struct Decoder<T> {
    static T decode(const DocumentPtr& d, std::uint32_t n, KeyStyle s, const Where& w)
    {
        requireType(*d, n, Node::Object, w, "an object");
        return T::fromJson(JsonObject(d, n, s, &w));
    }
    static bool fits(const Document& d, std::uint32_t n) { return isType(d, n, Node::Object); }
};

template <typename T>
requires(JsonValueRecord<T> && !JsonRecord<T>) struct Decoder<T> {
    static T decode(const DocumentPtr& d, std::uint32_t n, KeyStyle s, const Where& w)
    {
        return T::fromJsonValue(JsonValue(d, n, s, &w));
    }
    static bool fits(const Document&, std::uint32_t) { return true; }
};

} // namespace json_detail

} // namespace brenvo
