#pragma once

// Readable GoogleTest output for Qt values (found by argument-dependent lookup).
#include <QByteArray>
#include <QDebug>
#include <QString>
#include <QUrl>
#include <QVariant>

#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

inline void PrintTo(const QByteArray& b, std::ostream* os)
{
    *os << '"' << b.toStdString() << '"';
}

inline void PrintTo(const QUrl& u, std::ostream* os)
{
    *os << u.toString(QUrl::FullyEncoded).toStdString();
}

inline void PrintTo(const QVariant& value, std::ostream* os)
{
    QString text;
    QDebug(&text).nospace() << value;
    *os << text.toStdString();
}
