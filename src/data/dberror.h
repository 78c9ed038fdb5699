#pragma once

#include <stdexcept>
#include <QString>

// The one error the data layer raises; its text is what the operator sees.
class DbError : public std::runtime_error
{
public:
    explicit DbError(const QString &message) : std::runtime_error(message.toStdString()) {}
    QString message() const { return QString::fromUtf8(what()); }
};
