#pragma once

#include "server/common/serverlog.h"
#include "server/net/lineframer.h"
#include "server/rpc/dispatcher.h"
#include "server/rpc/workerpool.h"
#include "server/storage/storage.h"

#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QPointer>

#include <memory>
#include <utility>

class QSslConfiguration;
class QTcpServer;
class QTcpSocket;
class QThread;
class QTimer;

namespace aph {

struct TServerOptions
{
    TDatabaseSpec Database;
    QHostAddress Address = QHostAddress(QHostAddress::LocalHost);
    quint16 Port = 8090;
    bool RequireLogin = true;
    // Separation of duties: whoever changed the approvals of a CHT's days
    // may not approve that CHT (off unless asked for).
    bool SeparateDuties = false;
    // Billing (A to R) waits for the client's acceptance of the CHT
    // (serve --exigir-aceite).
    bool RequireAcceptance = false;
    // The client's acceptance pages (serve --web-port): on this port of
    // Address, 0 for one the system picks; -1: not served. With TLS on,
    // they use the same certificate.
    int WebPort = -1;
    // The pages' address as the acceptance links begin (url-base), for
    // SetAceiteCHT; empty: none.
    QString UrlBase;
    int MaxConnections = 64;
    // The longest request line, 1 MiB (see docs/protocol.md): it bounds
    // what one connection makes the server buffer.
    qint64 MaxRequestBytes = 1024 * 1024;
    int LineTimeoutMs = 10000;
    // From the connection to a successful Login; a connection that has not
    // logged in by then is closed.
    int LoginTimeoutMs = 10000;
    // A logged-in connection with nothing asked for this long is closed;
    // the desktop reconnects and logs in again on its next call.
    int IdleTimeoutMs = 600000;
    // Connections open from one address at a time (an IPv6 address counts
    // with the rest of its /64), counted from their first byte (a TLS
    // handshake or a PROXY header under way counts too).
    int MaxPerAddress = 16;
    // The balancers whose connections begin with a PROXY protocol header
    // (version 2 or 1) giving the client's address, which the limits, the
    // Login backoff and the log then use: addresses or subnets
    // ("10.0.0.0/24"). A connection from any of them without a valid
    // header is refused; from anywhere else, no header is read.
    QList<std::pair<QHostAddress, int>> TrustedProxies;
    int Workers = 4;
    // Requests all servers on the database run at once (PostgreSQL); each
    // runs its share. 0: each server runs Workers.
    int DbWorkers = 0;
    // A connection older than this (give or take a quarter) is asked, after
    // its next reply, to reconnect, so that clients spread again over the
    // servers behind a balancer (a restarted one among them). 0: never.
    int MaxConnectionAgeMs = 0;
    // Days a write's request key is kept; older ones are purged in the
    // background, a small batch at a time.
    int KeepRequestsDays = 90;
    // The most days of a CHT whose statement the server builds; a longer
    // one is refused with the reason.
    int MaxStatementDays = 10000;
    // How long a read waits for its audit record before it is refused.
    int AuditWaitMs = 2000;
    // TLS only, with this certificate (PEM) and its private key; both
    // empty: plain TCP.
    QString TlsCertFile;
    QString TlsKeyFile;
    // What the process logs (see serverlog.h); set by whoever starts the
    // server, since the level is the process's, not the server's.
    TLogLevel LogLevel = TLogLevel::Info;
};

// The TCP side: frames requests by line, enforces the limits, hands each
// complete line to the workers, and writes the replies back in order. One
// request per connection is in flight at a time; while it runs, nothing
// more is read from that connection.
class TRpcServer : public QObject
{
    Q_OBJECT
public:
    explicit TRpcServer(const TServerOptions& options, QObject* parent = nullptr);
    ~TRpcServer() override;

    void Listen(); // throws Exception with the reason
    quint16 Port() const;

private:
    struct TConnection;
    struct TArrival;
    // Failed Logins of one operator from one address, for slowing down the
    // next ones.
    struct TLoginFailures
    {
        int Count = 0;
        qint64 LastMs = 0;
    };

    void OnIncoming(qintptr fd);
    QString Refusal(const QString& key) const;
    void Refuse(qintptr fd, const QString& address, const QString& refusal);
    void ReadProxyHeader(quint64 id);
    void BeginSession(TArrival& a);
    void OnEstablished(quint64 id);
    void OnArrivalFailed(quint64 id, const QString& reason);
    void DropArrival(quint64 id);
    void AddConnection(QTcpSocket* socket, const QString& address, const QString& key);
    void Pump(quint64 id);
    void Dispatch(TConnection& c, const QByteArray& line);
    void Send(TConnection& c, const QByteArray& line);
    void OnReply(quint64 id, const QByteArray& reply, const TSession& session,
                 const TRequestOutcome& outcome);
    void Deliver(quint64 id, const QByteArray& reply, const TSession& session,
                 const TRequestOutcome& outcome);
    void LogRequest(const TConnection& c, const TRequestOutcome& outcome, bool loginFailed) const;
    bool Recycle(TConnection& c);
    qint64 LoginReplyDelay(TConnection& c, const TSession& session);
    void ArmSessionTimer(TConnection& c);
    void OnSessionTimeout(quint64 id);
    void OnLineTimeout(quint64 id);
    void Close(QTcpSocket* socket, const QByteArray& notice);
    void OnPeerFinished(quint64 id);
    void OnDisconnected(quint64 id);
    void Drop(quint64 id);
    void PurgeRequestKeys();

    TServerOptions m_options;
    QTcpServer* m_server;
    // The server's TLS side; null: plain TCP.
    std::unique_ptr<QSslConfiguration> m_tls;
    TWorkerPool m_pool;
    QHash<quint64, TConnection*> m_connections;
    // Connections accepted and not yet handed a session: waiting for their
    // PROXY header or in their TLS handshake.
    QHash<quint64, TArrival*> m_arrivals;
    // Keyed by ClientLimitKey: an IPv6 client by its /64.
    QHash<QString, int> m_perAddress;
    QHash<QString, int> m_handshakes; // arrivals of each address
    QHash<QString, TLoginFailures> m_loginFailures;
    quint64 m_nextId = 1;
    QTimer* m_purgeTimer;
};

} // namespace aph
