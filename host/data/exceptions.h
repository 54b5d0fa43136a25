#pragma once

#include <QString>

#include <exception>

namespace aph {

// Base of every failure the runtime, the framework and the screens raise.
// The message is meant for the user and is therefore in Portuguese.
class Exception : public std::exception
{
public:
    explicit Exception(QString message) : m_message(std::move(message)), m_utf8(m_message.toUtf8())
    {}
    const QString& Message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// The silent abort: stops the operation in progress without any message.
// Error displays must ignore it.
class EAbort : public Exception
{
public:
    EAbort() : Exception(QStringLiteral("Operação cancelada")) {}
};

// A dataset or field refused an operation (wrong state, unknown field,
// malformed data packet, value that does not fit).
class EDatabaseError : public Exception
{
public:
    using Exception::Exception;
};

// The application server refused an operation or answered what the client
// cannot use. The message is the server's (or says what was wrong with the
// reply), for the user. Every refusal the client meets is one of these.
class EServerError : public Exception
{
public:
    using Exception::Exception;
};

// A refusal the server gave as a JSON-RPC error reply, with its code.
class ERpcError : public EServerError
{
public:
    ERpcError(int code, QString message) : EServerError(std::move(message)), m_code(code) {}
    int Code() const { return m_code; }

private:
    int m_code;
};

// Raises the silent abort.
[[noreturn]] inline void Abort()
{
    throw EAbort();
}

} // namespace aph
