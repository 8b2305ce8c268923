#pragma once

// Readable failure messages for Qt values in GoogleTest assertions.
#include <QDebug>
#include <QString>
#include <QVariant>

#include <optional>
#include <ostream>

inline void PrintTo(const QString& value, std::ostream* os)
{
    *os << '"' << value.toStdString() << '"';
}

inline void PrintTo(const QVariant& value, std::ostream* os)
{
    QString text;
    QDebug(&text).nospace() << value;
    *os << text.toStdString();
}
