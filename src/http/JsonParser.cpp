#include "http/JsonParser.h"

#include <charconv>
#include <cstring>
#include <vector>

namespace brenvo::json_detail {

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

} // namespace

QString parseInto(Document& doc)
{
    return Parser(doc).run();
}

} // namespace brenvo::json_detail
