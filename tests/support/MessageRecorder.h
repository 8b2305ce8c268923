#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <algorithm>

namespace brenvo::test {

// Records every log message while it lives (messages still reach the previous handler).
// One at a time.
class MessageRecorder {
public:
    MessageRecorder()
    {
        current() = this;
        m_previous = qInstallMessageHandler(&MessageRecorder::handle);
    }
    ~MessageRecorder()
    {
        qInstallMessageHandler(m_previous);
        current() = nullptr;
    }
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    const QStringList& messages() const { return m_messages; }
    // The messages of one level, in order.
    QStringList messages(QtMsgType type) const
    {
        QStringList out;
        for (int i = 0; i < m_messages.size(); ++i) {
            if (m_types.at(i) == type)
                out.append(m_messages.at(i));
        }
        return out;
    }
    bool contains(const QString& text) const
    {
        return std::any_of(
            m_messages.begin(), m_messages.end(), [&](const QString& m) { return m.contains(text); });
    }
    // The recorded messages as one text, for checking that something never appears.
    QString all() const { return m_messages.join(u'\n'); }
    void clear()
    {
        m_messages.clear();
        m_types.clear();
    }

private:
    static MessageRecorder*& current()
    {
        static MessageRecorder* recorder = nullptr;
        return recorder;
    }
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& message)
    {
        if (MessageRecorder* r = current()) {
            r->m_messages.append(message);
            r->m_types.append(type);
            if (r->m_previous)
                r->m_previous(type, context, message);
        }
    }

    QtMessageHandler m_previous = nullptr;
    QStringList m_messages;
    QList<QtMsgType> m_types;
};

} // namespace brenvo::test
