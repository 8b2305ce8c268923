#include "http/JsonReader.h"

#include <QJsonDocument>

#include <charconv>
#include <cmath>
#include <cstring>
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

// Reads a reply into a Document: the grammar of RFC 8259 and nothing looser, UTF-8 checked, at
// most 1024 arrays and objects deep. Strings with escapes are rewritten in place, so every string
// is a slice of the text.
class Parser {
public:
    explicit Parser(Document& doc)
        : m_doc(doc)
        , m_nodes(doc.nodes)
    {
        rebase(doc.text.constData());
    }

    // Empty when the reply reads; otherwise why not, without any of its text.
    QString run()
    {
        if (m_doc.text.size() >= qsizetype(UINT32_MAX))
            return QStringLiteral("too large");
        if (m_end - m_p >= 3 && std::memcmp(m_p, "\xEF\xBB\xBF", 3) == 0)
            m_p += 3;
        skipSpace();
        if (m_p == m_end)
            return QStringLiteral("an empty reply");
        m_nodes.reserve(static_cast<size_t>(m_doc.text.size() / 32 + 4));
        if (value(0)) {
            skipSpace();
            if (m_p == m_end)
                return {};
            m_error = "garbage at the end";
        }
        return QStringLiteral("not JSON (%1 at byte %2)")
            .arg(QLatin1StringView(m_error))
            .arg(static_cast<qint64>(m_p - m_begin));
    }

private:
    static constexpr int maxDepth = 1024;

    void rebase(const char* begin)
    {
        const auto p = m_p - m_begin;
        m_begin = begin;
        m_p = begin + (m_p ? p : 0);
        m_end = begin + m_doc.text.size();
    }

    bool fail(const char* why)
    {
        m_error = why;
        return false;
    }

    void skipSpace()
    {
        while (m_p < m_end && (*m_p == ' ' || *m_p == '\n' || *m_p == '\r' || *m_p == '\t'))
            ++m_p;
    }

    std::uint32_t push(Node::Type type)
    {
        const auto index = static_cast<std::uint32_t>(m_nodes.size());
        Node node;
        node.type = type;
        node.end = index + 1;
        node.integer = 0;
        m_nodes.push_back(node);
        return index;
    }

    void close(std::uint32_t index, std::uint32_t count)
    {
        m_nodes[index].end = static_cast<std::uint32_t>(m_nodes.size());
        m_nodes[index].slice.length = count;
    }

    bool literal(const char* word, std::size_t length, Node::Type type)
    {
        if (std::size_t(m_end - m_p) < length || std::memcmp(m_p, word, length) != 0)
            return fail("an unknown word");
        m_p += length;
        push(type);
        return true;
    }

    bool value(int depth)
    {
        skipSpace();
        if (m_p == m_end)
            return fail("an unexpected end");
        switch (*m_p) {
        case '{':
            return object(depth + 1);
        case '[':
            return array(depth + 1);
        case '"':
            return string();
        case 't':
            return literal("true", 4, Node::True);
        case 'f':
            return literal("false", 5, Node::False);
        case 'n':
            return literal("null", 4, Node::Null);
        default:
            return number();
        }
    }

    bool array(int depth)
    {
        if (depth > maxDepth)
            return fail("nesting too deep");
        const std::uint32_t index = push(Node::Array);
        ++m_p;
        skipSpace();
        std::uint32_t count = 0;
        if (m_p < m_end && *m_p == ']') {
            ++m_p;
        } else {
            for (;;) {
                if (!value(depth))
                    return false;
                ++count;
                skipSpace();
                if (m_p == m_end)
                    return fail("an unexpected end");
                if (*m_p == ']') {
                    ++m_p;
                    break;
                }
                if (*m_p != ',')
                    return fail("a missing comma");
                ++m_p;
            }
        }
        close(index, count);
        return true;
    }

    bool object(int depth)
    {
        if (depth > maxDepth)
            return fail("nesting too deep");
        const std::uint32_t index = push(Node::Object);
        ++m_p;
        skipSpace();
        std::uint32_t count = 0;
        if (m_p < m_end && *m_p == '}') {
            ++m_p;
        } else {
            for (;;) {
                skipSpace();
                if (m_p == m_end || *m_p != '"')
                    return fail("a missing key");
                if (!string())
                    return false;
                skipSpace();
                if (m_p == m_end || *m_p != ':')
                    return fail("a missing colon");
                ++m_p;
                if (!value(depth))
                    return false;
                ++count;
                skipSpace();
                if (m_p == m_end)
                    return fail("an unexpected end");
                if (*m_p == '}') {
                    ++m_p;
                    break;
                }
                if (*m_p != ',')
                    return fail("a missing comma");
                ++m_p;
            }
        }
        close(index, count);
        return true;
    }

    // The length of the UTF-8 sequence at p, 0 when it is not well-formed (overlong forms,
    // surrogates and code points past U+10FFFF included).
    static int sequenceLength(const unsigned char* p, const unsigned char* end)
    {
        const unsigned char c = p[0];
        auto follows = [&](int i, unsigned char low = 0x80, unsigned char high = 0xBF) {
            return p + i < end && p[i] >= low && p[i] <= high;
        };
        if (c < 0xC2)
            return 0;
        if (c < 0xE0)
            return follows(1) ? 2 : 0;
        if (c < 0xF0) {
            const bool second = c == 0xE0 ? follows(1, 0xA0)
                : c == 0xED               ? follows(1, 0x80, 0x9F)
                                          : follows(1);
            return second && follows(2) ? 3 : 0;
        }
        if (c < 0xF5) {
            const bool second = c == 0xF0 ? follows(1, 0x90)
                : c == 0xF4               ? follows(1, 0x80, 0x8F)
                                          : follows(1);
            return second && follows(2) && follows(3) ? 4 : 0;
        }
        return 0;
    }

    static int hexDigit(char c)
    {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    }

    bool hex4(const char* p, char32_t& out) const
    {
        if (m_end - p < 4)
            return false;
        out = 0;
        for (int i = 0; i < 4; ++i) {
            const int d = hexDigit(p[i]);
            if (d < 0)
                return false;
            out = out * 16 + char32_t(d);
        }
        return true;
    }

    static char* putUtf8(char* out, char32_t c)
    {
        if (c < 0x80) {
            *out++ = char(c);
        } else if (c < 0x800) {
            *out++ = char(0xC0 | (c >> 6));
            *out++ = char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            *out++ = char(0xE0 | (c >> 12));
            *out++ = char(0x80 | ((c >> 6) & 0x3F));
            *out++ = char(0x80 | (c & 0x3F));
        } else {
            *out++ = char(0xF0 | (c >> 18));
            *out++ = char(0x80 | ((c >> 12) & 0x3F));
            *out++ = char(0x80 | ((c >> 6) & 0x3F));
            *out++ = char(0x80 | (c & 0x3F));
        }
        return out;
    }

    bool string()
    {
        const std::uint32_t index = push(Node::String);
        ++m_p;
        const auto start = static_cast<std::uint32_t>(m_p - m_begin);
        for (;;) {
            while (m_p < m_end) {
                const auto c = static_cast<unsigned char>(*m_p);
                if (c == '"' || c == '\\' || c < 0x20 || c >= 0x80)
                    break;
                ++m_p;
            }
            if (m_p == m_end)
                return fail("an unterminated string");
            const auto c = static_cast<unsigned char>(*m_p);
            if (c == '"') {
                m_nodes[index].slice = {start, static_cast<std::uint32_t>(m_p - m_begin) - start};
                ++m_p;
                return true;
            }
            if (c == '\\')
                return escapedString(index, start);
            if (c < 0x20)
                return fail("a control character in a string");
            const int length = sequenceLength(
                reinterpret_cast<const unsigned char*>(m_p), reinterpret_cast<const unsigned char*>(m_end));
            if (!length)
                return fail("malformed UTF-8");
            m_p += length;
        }
    }

    // The rest of a string from its first backslash, written back over itself without escapes.
    bool escapedString(std::uint32_t index, std::uint32_t start)
    {
        rebase(m_doc.text.data()); // the reply's own copy, once
        char* out = const_cast<char*>(m_p);
        while (m_p < m_end) {
            const auto c = static_cast<unsigned char>(*m_p);
            if (c == '"') {
                m_nodes[index].slice = {start, static_cast<std::uint32_t>(out - m_begin) - start};
                ++m_p;
                return true;
            }
            if (c < 0x20)
                return fail("a control character in a string");
            if (c >= 0x80) {
                const int length = sequenceLength(reinterpret_cast<const unsigned char*>(m_p),
                    reinterpret_cast<const unsigned char*>(m_end));
                if (!length)
                    return fail("malformed UTF-8");
                std::memmove(out, m_p, std::size_t(length));
                out += length;
                m_p += length;
                continue;
            }
            if (c != '\\') {
                *out++ = *m_p++;
                continue;
            }
            if (m_end - m_p < 2)
                return fail("an unterminated string");
            const char e = m_p[1];
            m_p += 2;
            switch (e) {
            case '"':
            case '\\':
            case '/':
                *out++ = e;
                continue;
            case 'b':
                *out++ = '\b';
                continue;
            case 'f':
                *out++ = '\f';
                continue;
            case 'n':
                *out++ = '\n';
                continue;
            case 'r':
                *out++ = '\r';
                continue;
            case 't':
                *out++ = '\t';
                continue;
            case 'u':
                break;
            default:
                return fail("an unknown escape");
            }
            char32_t unit = 0;
            if (!hex4(m_p, unit))
                return fail("an unknown escape");
            m_p += 4;
            if (unit >= 0xD800 && unit <= 0xDBFF) {
                char32_t low = 0;
                if (m_end - m_p >= 6 && m_p[0] == '\\' && m_p[1] == 'u' && hex4(m_p + 2, low) && low >= 0xDC00
                    && low <= 0xDFFF) {
                    unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                    m_p += 6;
                } else {
                    unit = 0xFFFD; // half a pair stands for nothing
                }
            } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
                unit = 0xFFFD;
            }
            out = putUtf8(out, unit);
        }
        return fail("an unterminated string");
    }

    static bool isDigit(char c) { return c >= '0' && c <= '9'; }

    bool number()
    {
        const char* start = m_p;
        if (*m_p == '-')
            ++m_p;
        if (m_p == m_end || !isDigit(*m_p))
            return fail("an unexpected character");
        if (*m_p == '0') {
            ++m_p;
        } else {
            while (m_p < m_end && isDigit(*m_p))
                ++m_p;
        }
        bool whole = true;
        if (m_p < m_end && *m_p == '.') {
            ++m_p;
            if (m_p == m_end || !isDigit(*m_p))
                return fail("a malformed number");
            while (m_p < m_end && isDigit(*m_p))
                ++m_p;
            whole = false;
        }
        if (m_p < m_end && (*m_p == 'e' || *m_p == 'E')) {
            ++m_p;
            if (m_p < m_end && (*m_p == '+' || *m_p == '-'))
                ++m_p;
            if (m_p == m_end || !isDigit(*m_p))
                return fail("a malformed number");
            while (m_p < m_end && isDigit(*m_p))
                ++m_p;
            whole = false;
        }
        if (whole) {
            qint64 integer = 0;
            const auto [end, error] = std::from_chars(start, m_p, integer);
            if (error == std::errc() && end == m_p) {
                m_nodes[push(Node::Integer)].integer = integer;
                return true;
            }
        }
        double number = 0;
        const auto [end, error] = std::from_chars(start, m_p, number);
        if (error != std::errc() || end != m_p || !std::isfinite(number))
            return fail("a number out of range");
        m_nodes[push(Node::Double)].number = number;
        return true;
    }

    Document& m_doc;
    std::vector<Node>& m_nodes;
    const char* m_begin = nullptr;
    const char* m_p = nullptr;
    const char* m_end = nullptr;
    const char* m_error = "";
};

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
    const QString error = Parser(*doc).run();
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
