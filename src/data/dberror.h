#pragma once

#include <stdexcept>
#include <QString>

// The one error the data layer raises; its text is what the operator sees.
class DbError : public std::runtime_error
{
public:
    explicit DbError(const QString &message, int engineCode = 0)
        : std::runtime_error(message.toStdString()), m_engineCode(engineCode)
    {
    }
    QString message() const { return QString::fromUtf8(what()); }
    // The engine's extended result code when the engine raised it (the text is translated); 0 otherwise.
    int engineCode() const { return m_engineCode; }

private:
    int m_engineCode = 0;
};
