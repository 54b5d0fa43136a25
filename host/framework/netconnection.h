#pragma once

#include "host/data/component.h"
#include "host/ui/control.h"

#include <QJsonArray>
#include <QJsonValue>
#include <QString>

#include <functional>
#include <memory>

namespace aph {

// The wire to an application server: opened on a host and port, then
// called by method name with positional arguments.
class IAppServerTransport
{
public:
    virtual ~IAppServerTransport() = default;
    virtual void Open(const QString& host, int port) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // The method's result; throws an Exception with a message for the user
    // when the call fails.
    virtual QJsonValue Call(const QString& method, const QJsonArray& params) = 0;
};

using TTransportFactory =
    std::function<std::unique_ptr<IAppServerTransport>(const QString& serverName)>;
// The host decides how connections reach servers; without a factory the
// JSON-RPC socket client is used.
void SetTransportFactory(TTransportFactory factory);
// The JSON-RPC socket client, logged in with the host's operator and token.
std::unique_ptr<IAppServerTransport> MakeRpcTransport();

class TNetConnection;

// The server object of a connection: late-bound calls by method name. Our
// server changes none of the arguments passed by reference, so a call only
// sends their current values.
class TAppServer
{
public:
    explicit TAppServer(TNetConnection* connection) : m_connection(connection) {}
    QJsonValue Call(const QString& method, const QJsonArray& params) const;

private:
    TNetConnection* m_connection;
};

// A screen's connection to a remote data module of the application server.
class TNetConnection : public TComponent
{
public:
    explicit TNetConnection(QString name = {});
    ~TNetConnection() override;

    const QString& ServerName() const { return m_serverName; }
    void SetServerName(const QString& name) { m_serverName = name; }
    const QString& Host() const { return m_host; }
    void SetHost(const QString& host) { m_host = host; }
    int Port() const { return m_port; }
    void SetPort(int port) { m_port = port; }
    bool ThrowException() const { return m_throwException; }
    void SetThrowException(bool on) { m_throwException = on; }

    bool Connected() const;
    // Connecting runs BeforeConnect first, so that it can set host and port.
    void SetConnected(bool connected);

    TAppServer AppServer() { return TAppServer(this); }

    TNotifyEvent BeforeConnect;
    TNotifyEvent AfterConnect;
    TNotifyEvent AfterDisconnect;

private:
    friend class TAppServer;
    QString m_serverName;
    QString m_host = QStringLiteral("127.0.0.1");
    int m_port = 8090;
    bool m_throwException = true;
    std::unique_ptr<IAppServerTransport> m_transport;
};

} // namespace aph
