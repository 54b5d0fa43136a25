#pragma once

#include "host/data/datapacket.h"
#include "host/data/exceptions.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonValue>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class QTcpSocket;

namespace aph {

// No connection, a connection lost or a reply that did not come in time.
class EConnectionError : public Exception
{
public:
    using Exception::Exception;
};

// The server's certificate was refused, or TLS could not be set up: the
// message says which server and why.
class ETlsError : public EConnectionError
{
public:
    using EConnectionError::EConnectionError;
};

// TLS on the connection to the server. The server's certificate must chain
// to the authority in CaFile (PEM; empty: the system's authorities), be
// within its dates and name the host connected to (an IP address in an IP
// alternative name).
struct TTlsSettings
{
    bool Enabled = false;
    QString CaFile;
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
    TTlsSettings Tls;

    void Connect(const QString& host, quint16 port); // throws EConnectionError
    // Whether the server's port accepts a connection, closed again at once
    // (no request, no session): one round trip.
    static bool Reachable(const QString& host, quint16 port, int timeoutMs);
    void Disconnect();
    bool IsConnected() const;

    // Opens the authenticated session; throws ERpcError when refused.
    // Returns the roles the server says the operator holds (see
    // docs/protocol.md), or none from a server that names no roles.
    std::optional<QStringList> Login(const QString& operatorCode, const QString& token);
    // Calls a method with positional params and returns its result; throws
    // ERpcError on an error reply and EConnectionError when the connection
    // fails, after which the client is disconnected. A request key, when
    // given, travels as the request's "requestKey" member (see
    // IsKeyedWrite).
    QJsonValue Call(const QString& method, const QJsonArray& params,
                    const QString& requestKey = {});
    // The same with a request line written by the caller (tests of the
    // server's handling of malformed input); returns the reply object.
    QJsonValue SendRaw(const QByteArray& line);
    // The roles the server last named for the operator: at Login, in
    // GetRoles' result, or in a reply's notice that they changed (see
    // docs/protocol.md); none while it named none.
    const std::optional<QStringList>& Roles() const { return m_roles; }

private:
    void ConnectTls(const QString& host, quint16 port);
    QByteArray ReadLine();
    void TakeNotice();
    [[noreturn]] void Lost(const QString& why);
    QString ClosedWhy() const;

    std::unique_ptr<QTcpSocket> m_socket;
    QByteArray m_buffer;
    qint64 m_nextId = 1;
    bool m_answered = false; // a reply has come on this connection
    std::optional<QStringList> m_roles;
};

// The writes the server applies once per request key (SetCSA, SetCHT,
// SetStatusCHT): a client sends each with a key of its own and the same key
// again when it repeats the write, and the server answers a repeat from
// the reply it stored with the first.
bool IsKeyedWrite(const QString& method);

// The result of a method that the screens pass through their result check:
// the data packet of {"ok":true,"data":...}, or none when the reply carries
// no data. A refusal {"ok":false,"message":...} raises EServerError with the
// server's message, and so does a reply of any other shape.
std::optional<TDataPacket> ReplyPacket(const QJsonValue& result);
// The same, with an empty packet for a reply without data.
TDataPacket CheckedPacket(const QJsonValue& result);

} // namespace aph
