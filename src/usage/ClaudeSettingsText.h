#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace brenvo {

// Claude Code's settings.json as the bytes the user wrote. It is never re-serialised: a round
// trip through a JSON object model reorders keys, rewrites numbers and drops duplicate keys. Edits
// replace, insert or remove the bytes of one top-level member and leave every other byte alone.
class ClaudeSettingsText {
public:
    struct Member {
        QString key; // decoded
        qsizetype keyStart = 0;
        qsizetype valueStart = 0;
        qsizetype valueEnd = 0; // one past the value
        bool operator==(const Member&) const = default;
    };

    // Nothing when the bytes are not one strict JSON document whose top level is an object.
    static std::optional<ClaudeSettingsText> parse(QByteArray bytes);

    const QByteArray& bytes() const { return m_bytes; }
    // The last top-level member with this key: the one a JSON reader keeps of duplicates.
    std::optional<Member> member(const QString& key) const;
    QByteArray valueBytes(const Member& member) const;

    // The document with the member's value replaced, or the member added at the end of the top
    // level (in the indentation of the members before it).
    QByteArray withValue(const QString& key, const QByteArray& value) const;
    // The document without the member (unchanged when there is none).
    QByteArray without(const QString& key) const;

    // A new document holding only this member.
    static QByteArray fresh(const QString& key, const QByteArray& value);
    // Text as a JSON string literal, quotes included.
    static QByteArray quoted(const QString& text);

private:
    QByteArray m_bytes;
    qsizetype m_open = 0; // the top-level braces
    qsizetype m_close = 0;
    QList<Member> m_members;
};

} // namespace brenvo
