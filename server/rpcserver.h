#pragma once

#include "dispatcher.h"
#include "lineframer.h"
#include "storage.h"

#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QPointer>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

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
    int MaxConnections = 64;
    qint64 MaxRequestBytes = 1024 * 1024;
    int LineTimeoutMs = 10000;
    int Workers = 4;
    // TLS only, with this certificate (PEM) and its private key; both
    // empty: plain TCP.
    QString TlsCertFile;
    QString TlsKeyFile;
};

// Threads that each own a database connection and a dispatcher, and run
// the requests handed to them in arrival order.
class TWorkerPool
{
public:
    using TJob = std::function<void(TDispatcher*)>;
    TWorkerPool(int count, const TDatabaseSpec& database, bool requireLogin);
    ~TWorkerPool();
    void Submit(TJob job);

private:
    void Run();

    TDatabaseSpec m_database;
    bool m_requireLogin;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<TJob> m_jobs;
    bool m_stopping = false;
    std::vector<QThread*> m_threads;
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
    struct TConnection
    {
        explicit TConnection(qint64 maxLineBytes) : Framer(maxLineBytes) {}
        quint64 Id = 0;
        QTcpSocket* Socket = nullptr;
        QTimer* LineTimer = nullptr;
        TLineFramer Framer;
        bool Busy = false;
        TSession Session;
    };

    void OnNewConnection();
    void Pump(quint64 id);
    void Send(TConnection& c, const QByteArray& line);
    void OnReply(quint64 id, const QByteArray& reply, const TSession& session);
    void OnLineTimeout(quint64 id);
    void Drop(quint64 id);

    TServerOptions m_options;
    QTcpServer* m_server;
    TWorkerPool m_pool;
    QHash<quint64, TConnection*> m_connections;
    quint64 m_nextId = 1;
};

} // namespace aph
