#pragma once

#include <QString>
#include <stdexcept>

namespace ReportEngine
{

// The one error the report engine raises; its text is what the operator sees.
class ReportError : public std::runtime_error
{
  public:
    explicit ReportError(const QString &message) : std::runtime_error(message.toStdString()) {}
    QString message() const { return QString::fromUtf8(what()); }
};

} // namespace ReportEngine
