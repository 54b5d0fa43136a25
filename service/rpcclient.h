#pragma once

#include "host/data/datapacket.h"
#include "host/data/exceptions.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonValue>
#include <QString>

#include <memory>

class QTcpSocket;

namespace aph {

// The server answered a call with a JSON-RPC error. The message is the
// server's, for the user.
class ERpcError : public Exception
{
public:
    ERpcError(int code, QString message) : Exception(std::move(message)), m_code(code) {}
    int Code() const { return m_code; }

private:
    int m_code;
};

// No connection, a connection lost or a reply that did not come in time.
class EConnectionError : public Exception
{
public:
    using Exception::Exception;
};

// A synchronous JSON-RPC 2.0 client of aph-server: one JSON object per
// line over TCP, one call at a time, each waiting for its reply. The
// desktop's connection component sits on it.
class TRpcClient
{
public:
    TRpcClient();
    ~TRpcClient();
    TRpcClient(const TRpcClient&) = delete;
    TRpcClient& operator=(const TRpcClient&) = delete;

    int ConnectTimeoutMs = 5000;
    int CallTimeoutMs = 60000;

    void Connect(const QString& host, quint16 port); // throws EConnectionError
    void Disconnect();
    bool IsConnected() const;

    // Opens the authenticated session; throws ERpcError when refused.
    void Login(const QString& operatorCode, const QString& token);
    // Calls a method with positional params and returns its result; throws
    // ERpcError on an error reply and EConnectionError when the connection
    // fails, after which the client is disconnected.
    QJsonValue Call(const QString& method, const QJsonArray& params);
    // The same with a request line written by the caller (tests of the
    // server's handling of malformed input); returns the reply object.
    QJsonValue SendRaw(const QByteArray& line);

private:
    QByteArray ReadLine();
    [[noreturn]] void Lost(const QString& why);

    std::unique_ptr<QTcpSocket> m_socket;
    QByteArray m_buffer;
    qint64 m_nextId = 1;
};

// The result of a method that the screens pass through their result check:
// the data packet of {"ok":true,"data":...} (an empty packet for null), or
// a refusal {"ok":false,"message":...} raised as ERefused.
class ERefused : public Exception
{
public:
    using Exception::Exception;
};
TDataPacket CheckedPacket(const QJsonValue& result);

} // namespace aph
