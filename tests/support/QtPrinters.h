// Readable GoogleTest output for Qt strings and lists.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <ostream>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QByteArray& b, std::ostream* os)
{
    *os << "\"" << b.toStdString() << "\" (hex " << b.toHex(' ').toStdString() << ")";
}
inline void PrintTo(const QStringList& l, std::ostream* os)
{
    *os << "{ ";
    for (const QString& s : l)
        *os << '"' << s.toStdString() << "\" ";
    *os << '}';
}
inline void PrintTo(const QList<QByteArray>& l, std::ostream* os)
{
    *os << "{ ";
    for (const QByteArray& b : l)
        *os << b.toHex(' ').toStdString() << "; ";
    *os << '}';
}
QT_END_NAMESPACE
