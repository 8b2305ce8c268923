#include "usage/ClaudeSettingsText.h"

#include <cctype>

using namespace Qt::Literals::StringLiterals;

namespace brenvo {

namespace {

// A strict reader of one JSON document (RFC 8259) that only reports where things are. It keeps
// the open brackets in a list rather than on the call stack, so that it takes any depth that
// Claude Code's own reader takes.
class Scanner {
public:
    explicit Scanner(const QByteArray& text)
        : m_text(text)
    {
    }

    qsizetype at = 0;

    bool atEnd() const { return at >= m_text.size(); }
    char peek() const { return atEnd() ? '\0' : m_text[at]; }

    void skipSpace()
    {
        while (!atEnd() && (peek() == ' ' || peek() == '\t' || peek() == '\n' || peek() == '\r'))
            ++at;
    }

    // One value, nested to any depth.
    bool value()
    {
        QByteArray open; // the brackets not yet closed, innermost last
        for (;;) {
            skipSpace();
            switch (peek()) {
            case '{':
                ++at;
                skipSpace();
                if (peek() == '}') {
                    ++at;
                    break;
                }
                open.append('{');
                if (!key())
                    return false;
                continue;
            case '[':
                ++at;
                skipSpace();
                if (peek() == ']') {
                    ++at;
                    break;
                }
                open.append('[');
                continue;
            case '"':
                if (!string(nullptr))
                    return false;
                break;
            case 't':
                if (!literal("true"))
                    return false;
                break;
            case 'f':
                if (!literal("false"))
                    return false;
                break;
            case 'n':
                if (!literal("null"))
                    return false;
                break;
            default:
                if (!number())
                    return false;
            }
            // A value ended: close what it ends, up to the next member or element.
            for (;;) {
                if (open.isEmpty())
                    return true;
                skipSpace();
                if (peek() == ',') {
                    ++at;
                    if (open.back() == '{' && !key())
                        return false;
                    break;
                }
                if (peek() != (open.back() == '{' ? '}' : ']'))
                    return false;
                ++at;
                open.chop(1);
            }
        }
    }

    // The top-level object, its members recorded.
    bool object(QList<ClaudeSettingsText::Member>& members)
    {
        ++at; // {
        skipSpace();
        if (peek() == '}') {
            ++at;
            return true;
        }
        for (;;) {
            skipSpace();
            ClaudeSettingsText::Member member;
            member.keyStart = at;
            if (peek() != '"' || !string(&member.key))
                return false;
            skipSpace();
            if (peek() != ':')
                return false;
            ++at;
            skipSpace();
            member.valueStart = at;
            if (!value())
                return false;
            member.valueEnd = at;
            members.append(member);
            skipSpace();
            if (peek() == ',') {
                ++at;
                continue;
            }
            if (peek() != '}')
                return false;
            ++at;
            return true;
        }
    }

private:
    // A key and its colon.
    bool key()
    {
        skipSpace();
        if (peek() != '"' || !string(nullptr))
            return false;
        skipSpace();
        if (peek() != ':')
            return false;
        ++at;
        return true;
    }

private:
    bool literal(const char* word)
    {
        for (const char* c = word; *c; ++c, ++at) {
            if (peek() != *c)
                return false;
        }
        return true;
    }

    bool digits()
    {
        const qsizetype start = at;
        while (peek() >= '0' && peek() <= '9')
            ++at;
        return at > start;
    }

    bool number()
    {
        if (peek() == '-')
            ++at;
        if (peek() == '0')
            ++at;
        else if (!digits())
            return false;
        if (peek() == '.') {
            ++at;
            if (!digits())
                return false;
        }
        if (peek() == 'e' || peek() == 'E') {
            ++at;
            if (peek() == '+' || peek() == '-')
                ++at;
            if (!digits())
                return false;
        }
        return true;
    }

    int hex4()
    {
        if (at + 4 > m_text.size())
            return -1;
        for (int i = 0; i < 4; ++i) {
            if (!std::isxdigit(static_cast<unsigned char>(m_text[at + i])))
                return -1;
        }
        const int code = QByteArray(m_text.constData() + at, 4).toInt(nullptr, 16);
        at += 4;
        return code;
    }

    // With decoded, also decodes it (keys only: values are only stepped over).
    bool string(QString* decoded)
    {
        ++at; // "
        QByteArray plain;
        QString out;
        const auto flush = [&] {
            out += QString::fromUtf8(plain);
            plain.clear();
        };
        for (;;) {
            if (atEnd())
                return false;
            const char c = m_text[at++];
            if (c == '"')
                break;
            if (static_cast<unsigned char>(c) < 0x20)
                return false;
            if (c != '\\') {
                if (decoded)
                    plain.append(c);
                continue;
            }
            const char e = peek();
            ++at;
            static const QByteArray simple = "\"\\/bfnrt";
            static const QByteArray meant = "\"\\/\b\f\n\r\t";
            if (const qsizetype i = simple.indexOf(e); i >= 0) {
                if (decoded)
                    plain.append(meant[i]);
            } else if (e == 'u') {
                const int code = hex4();
                if (code < 0)
                    return false;
                if (decoded) {
                    flush();
                    out += QChar(char16_t(code));
                }
            } else {
                return false;
            }
        }
        if (decoded) {
            flush();
            *decoded = out;
        }
        return true;
    }

    const QByteArray& m_text;
};

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

} // namespace

std::optional<ClaudeSettingsText> ClaudeSettingsText::parse(QByteArray bytes)
{
    ClaudeSettingsText text;
    text.m_bytes = std::move(bytes);
    Scanner scanner(text.m_bytes);
    if (text.m_bytes.startsWith("\xEF\xBB\xBF"))
        scanner.at = 3;
    scanner.skipSpace();
    if (scanner.peek() != '{')
        return std::nullopt;
    text.m_open = scanner.at;
    if (!scanner.object(text.m_members))
        return std::nullopt;
    text.m_close = scanner.at - 1;
    scanner.skipSpace();
    if (!scanner.atEnd())
        return std::nullopt;
    return text;
}

std::optional<ClaudeSettingsText::Member> ClaudeSettingsText::member(const QString& key) const
{
    for (auto it = m_members.crbegin(); it != m_members.crend(); ++it) {
        if (it->key == key)
            return *it;
    }
    return std::nullopt;
}

QByteArray ClaudeSettingsText::valueBytes(const Member& member) const
{
    return m_bytes.mid(member.valueStart, member.valueEnd - member.valueStart);
}

QByteArray ClaudeSettingsText::withValue(const QString& key, const QByteArray& value) const
{
    QByteArray out = m_bytes;
    if (const auto found = member(key))
        return out.replace(found->valueStart, found->valueEnd - found->valueStart, value);
    const QByteArray entry = quoted(key) + ": " + value;
    if (m_members.isEmpty())
        return out.insert(m_open + 1, "\n  " + entry + "\n");
    // The new member takes the spacing that stands before the last key.
    const Member& last = m_members.last();
    qsizetype spaceStart = last.keyStart;
    while (spaceStart > 0 && isSpace(m_bytes[spaceStart - 1]))
        --spaceStart;
    return out.insert(last.valueEnd, "," + m_bytes.mid(spaceStart, last.keyStart - spaceStart) + entry);
}

QByteArray ClaudeSettingsText::without(const QString& key) const
{
    QByteArray out = m_bytes;
    const auto found = member(key);
    if (!found)
        return out;
    const qsizetype index = m_members.indexOf(*found);
    if (m_members.size() == 1)
        return out.remove(m_open + 1, m_close - m_open - 1);
    if (index > 0) // from the end of the member before, so its comma goes too
        return out.remove(m_members[index - 1].valueEnd, found->valueEnd - m_members[index - 1].valueEnd);
    return out.remove(found->keyStart, m_members[1].keyStart - found->keyStart);
}

QByteArray ClaudeSettingsText::fresh(const QString& key, const QByteArray& value)
{
    return "{\n  " + quoted(key) + ": " + value + "\n}\n";
}

QByteArray ClaudeSettingsText::quoted(const QString& text)
{
    QByteArray out = "\"";
    for (const char c : text.toUtf8()) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20)
                out += QByteArray("\\u00")
                    + QByteArray::number(static_cast<unsigned char>(c), 16).rightJustified(2, '0');
            else
                out += c;
        }
    }
    return out + "\"";
}

} // namespace brenvo
