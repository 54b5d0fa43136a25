#pragma once

#include "host/data/component.h"
#include "host/framework/environment.h"
#include "host/ui/control.h"
#include "service/roles.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonValue>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

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
    // A write that the server applies once per request key: a repeat of the
    // key gets the first one's reply. A wire without keys sends it as a
    // plain call.
    virtual QJsonValue CallKeyed(const QString& method, const QJsonArray& params,
                                 const QString& requestKey)
    {
        Q_UNUSED(requestKey);
        return Call(method, params);
    }
    // Whether a server still takes connections there, asked without a
    // session; a wire that cannot tell says yes.
    virtual bool Reachable(const QString& host, int port)
    {
        Q_UNUSED(host);
        Q_UNUSED(port);
        return true;
    }
    // The roles the server last named for the operator: when the wire
    // opened, or since, in a reply (see docs/protocol.md); none when it
    // named none (a wire without login, an older server).
    virtual std::optional<QStringList> Roles() const { return std::nullopt; }
};

using TTransportFactory =
    std::function<std::unique_ptr<IAppServerTransport>(const QString& serverName)>;
// The host decides how connections reach servers; without a factory the
// JSON-RPC socket client is used.
void SetTransportFactory(TTransportFactory factory);
// The JSON-RPC socket client, logged in with the host's operator and token.
std::unique_ptr<IAppServerTransport> MakeRpcTransport();

// What became of the connection to an application server, for the host to
// show: connected, lost (a call or a connect failed on the wire), connected
// again after a loss, or refused by a server that answered (its login or
// its certificate).
struct TConnectionStatus
{
    enum class TState
    {
        Connected,
        Lost,
        Reconnected,
        Refused
    };
    TState State = TState::Connected;
    QString ServerName; // the remote data module
    QString Address;    // host:port; when every server failed, each of them
    QString Message;    // why it was refused
};
using TConnectionStatusHandler = std::function<void(const TConnectionStatus&)>;
// The host installs one handler for every connection; none by default.
void SetConnectionStatusHandler(TConnectionStatusHandler handler);

class TNetConnection;

// The keep-alive of the connections the screens hold open: each one that
// made no call for idleMs gets one light round trip (a Ping on its open
// wire, or a bare TCP connect once the server closed the wire), and the
// host's status follows what it finds. The host calls it about once a
// minute.
void KeepConnectionsAlive(int idleMs);

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
// A connection aimed at the host's application server (host and port set to
// one of WebServers(), as BeforeConnect does) may use any of them: it
// starts at the one the process last connected to and moves to the next
// while a server does not answer. A refused certificate or login stops it
// there: that server answered.
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

    // host:port, as the last connect used them.
    QString Address() const;

    bool Connected() const;
    // Connecting runs BeforeConnect first, so that it can set host and port.
    void SetConnected(bool connected);

    TAppServer AppServer() { return TAppServer(this); }
    // One keep-alive round trip when no call was made for idleMs (see
    // KeepConnectionsAlive).
    void KeepAlive(int idleMs);

    // Whether the operator holds one of the roles (see service/policy.h),
    // as the server last said; true when it named no roles, so that
    // nothing is disabled that the server never said it refuses.
    bool HoldsAny(TRoles roles) const;
    // Asks the server for the operator's roles now (GetRoles); true when
    // they changed, after OnRolesChanged ran. For the action of a command
    // disabled for want of a role: a role granted meanwhile counts at once.
    bool RefreshRoles();

    // Any reply that says the operator's roles changed runs this, so that
    // the screen enables and disables its commands at once.
    TNotifyEvent OnRolesChanged;

    TNotifyEvent BeforeConnect;
    TNotifyEvent AfterConnect;
    TNotifyEvent AfterDisconnect;

private:
    friend class TAppServer;
    // A call on the connection: reconnects first when the connection was
    // lost, and once more when it is lost during the call.
    QJsonValue CallServer(const QString& method, const QJsonArray& params);
    // Drops a dead wire and connects again (host and port afresh); throws
    // the "no connection" message naming the address when that fails.
    void Reconnect();
    void DropLost();
    [[noreturn]] void NoConnection() const;
    // The roles the transport last heard, and OnRolesChanged when they
    // differ from the screen's.
    void TakeRoles();
    // A -32011 said in the words of what the operator tried (throws).
    void RefusedForRole(const QString& method, const QJsonArray& params) const;
    void Report(TConnectionStatus::TState state) const;
    void Report(TConnectionStatus::TState state, const QString& address,
                const QString& message = {}) const;
    // The servers to try, in order, for host and port as now set.
    QList<TServerAddress> Candidates() const;
    // Opens the transport on the first candidate that answers; throws the
    // last failure for one candidate, one naming them all for several.
    void OpenFirstAnswering(IAppServerTransport& transport);

    QString m_serverName;
    QString m_host = QStringLiteral("127.0.0.1");
    int m_port = 8090;
    bool m_throwException = true;
    std::unique_ptr<IAppServerTransport> m_transport;
    std::optional<QStringList> m_roles; // as the server last named them
    bool m_wanted = false;              // connected by the screen and not closed since
    bool m_lost = false;                // the last connect or call failed on the wire
    QStringList m_tried;                // the addresses the last connect tried
    QElapsedTimer m_lastUse;            // since the last call or keep-alive
    // The write whose reply never came, with the key it went out with: the
    // same write sent again reuses the key, so that the server answers it
    // from the first one's reply if that one was applied.
    struct TPendingWrite
    {
        QString Method;
        QJsonArray Params;
        QString Key;
    };
    TPendingWrite m_pendingWrite;
    QString WriteKey(const QString& method, const QJsonArray& params);
};

} // namespace aph
