#pragma once

#include <QString>
#include <stdexcept>

// The one error the data layer raises. Its text is what the operator sees; the
// engine's own result code and message stay beside it for whoever needs to tell
// one failure from another (a full disk from a refused row, say).
class DbError : public std::runtime_error
{
  public:
    explicit DbError(const QString &message, int code = 0, const QString &engineMessage = QString())
        : std::runtime_error(message.toStdString()), m_code(code), m_engineMessage(engineMessage)
    {
    }
    QString message() const { return QString::fromUtf8(what()); }
    // The engine's extended result code (SQLITE_CONSTRAINT_UNIQUE...); 0 for the program's own errors.
    int code() const { return m_code; }
    // The engine's text before translation; empty for the program's own errors.
    QString engineMessage() const { return m_engineMessage; }

  private:
    int m_code;
    QString m_engineMessage;
};
