#include "rpcserver.h"

#include "tlsconfig.h"

#include <QSslServer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

// Replies wait in the socket until the client reads them; past this much
// unread, the connection's next request waits too.
constexpr qint64 kMaxPendingOutput = 8 * 1024 * 1024;
constexpr qint64 kReadChunk = 64 * 1024;
// A connection that has not finished its TLS handshake by then is closed.
constexpr int kHandshakeTimeoutMs = 5000;

// The listening socket: plain TCP, or TLS when the options name a
// certificate. A TLS connection is handed over only once its handshake
// has succeeded (pendingConnectionAvailable, not newConnection).
QTcpServer* NewListener(const TServerOptions& options, QObject* parent)
{
    if (options.TlsCertFile.isEmpty())
        return new QTcpServer(parent);
    const QSslConfiguration config =
        ServerTlsConfiguration(options.TlsCertFile, options.TlsKeyFile);
    auto* server = new QSslServer(parent);
    server->setSslConfiguration(config);
    server->setHandshakeTimeout(kHandshakeTimeoutMs);
    return server;
}

} // namespace

TWorkerPool::TWorkerPool(int count, const TDatabaseSpec& database, bool requireLogin)
    : m_database(database), m_requireLogin(requireLogin)
{
    for (int i = 0; i < count; ++i) {
        QThread* thread = QThread::create([this] { Run(); });
        thread->start();
        m_threads.push_back(thread);
    }
}

TWorkerPool::~TWorkerPool()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    for (QThread* thread : m_threads) {
        thread->wait();
        delete thread;
    }
}

void TWorkerPool::Submit(TJob job)
{
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back(std::move(job));
    }
    m_wake.notify_one();
}

void TWorkerPool::Run()
{
    std::unique_ptr<TStorage> storage;
    std::unique_ptr<TDispatcher> dispatcher;
    for (;;) {
        TJob job;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_jobs.empty(); });
            if (m_jobs.empty())
                break;
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        if (!dispatcher) {
            try {
                storage = TStorage::Open(m_database);
                dispatcher = std::make_unique<TDispatcher>(*storage, m_requireLogin);
            } catch (const Exception& e) {
                std::fprintf(stderr, "aph-server: %s\n", e.what());
            }
        }
        job(dispatcher.get());
        if (storage && storage->IsBroken()) {
            // The next request gets a fresh connection.
            dispatcher.reset();
            storage.reset();
        }
    }
    dispatcher.reset();
    storage.reset();
}

TRpcServer::TRpcServer(const TServerOptions& options, QObject* parent)
    : QObject(parent), m_options(options), m_server(NewListener(options, this)),
      m_pool(options.Workers, options.Database, options.RequireLogin)
{
    connect(m_server, &QTcpServer::pendingConnectionAvailable, this, &TRpcServer::OnNewConnection);
}

TRpcServer::~TRpcServer()
{
    for (TConnection* c : std::as_const(m_connections))
        delete c;
}

void TRpcServer::Listen()
{
    m_server->setMaxPendingConnections(m_options.MaxConnections);
    if (!m_server->listen(m_options.Address, m_options.Port))
        throw Exception(u"Não foi possível escutar em %1:%2: %3"_s.arg(m_options.Address.toString())
                            .arg(m_options.Port)
                            .arg(m_server->errorString()));
}

quint16 TRpcServer::Port() const
{
    return m_server->serverPort();
}

void TRpcServer::OnNewConnection()
{
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        if (m_connections.size() >= m_options.MaxConnections) {
            socket->write(TDispatcher::ErrorLine(
                              QJsonValue::Null, rpc::kTooManyConnections,
                              u"O servidor atingiu o limite de "
                              "%1 conexões; tente mais tarde."_s.arg(m_options.MaxConnections)) +
                          '\n');
            socket->disconnectFromHost();
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            continue;
        }
        auto* c = new TConnection(m_options.MaxRequestBytes);
        c->Id = m_nextId++;
        c->Socket = socket;
        socket->setParent(this);
        socket->setReadBufferSize(256 * 1024);
        // Replies go out at once, not held back waiting for an acknowledgement.
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        c->LineTimer = new QTimer(socket);
        c->LineTimer->setSingleShot(true);
        c->LineTimer->setInterval(m_options.LineTimeoutMs);
        m_connections.insert(c->Id, c);
        const quint64 id = c->Id;
        connect(socket, &QTcpSocket::readyRead, this, [this, id] { Pump(id); });
        connect(socket, &QTcpSocket::bytesWritten, this, [this, id] { Pump(id); });
        connect(socket, &QTcpSocket::disconnected, this, [this, id] { Drop(id); });
        connect(c->LineTimer, &QTimer::timeout, this, [this, id] { OnLineTimeout(id); });
    }
}

void TRpcServer::Send(TConnection& c, const QByteArray& line)
{
    c.Socket->write(line + '\n');
}

void TRpcServer::Pump(quint64 id)
{
    TConnection* c = m_connections.value(id);
    if (!c)
        return;
    while (!c->Busy && c->Socket->bytesToWrite() < kMaxPendingOutput) {
        QByteArray line;
        const TLineFramer::Event event = c->Framer.Next(line);
        if (event == TLineFramer::Event::TooLong) {
            Send(*c, TDispatcher::ErrorLine(QJsonValue::Null, rpc::kInvalidRequest,
                                            u"A requisição passa do limite de %1 "
                                            "bytes."_s.arg(m_options.MaxRequestBytes)));
            continue;
        }
        if (event == TLineFramer::Event::Discarded) {
            Send(*c, TDispatcher::ErrorLine(
                         QJsonValue::Null, rpc::kInvalidRequest,
                         u"A requisição passa do limite de %1 "
                         "bytes e foi descartada."_s.arg(m_options.MaxRequestBytes)));
            continue;
        }
        if (event == TLineFramer::Event::Line) {
            c->Busy = true;
            TSession session = c->Session;
            m_pool.Submit([this, id, line, session](TDispatcher* dispatcher) mutable {
                const QByteArray reply =
                    dispatcher ? dispatcher->Handle(line, session)
                               : TDispatcher::ErrorLine(QJsonValue::Null, rpc::kDatabaseError,
                                                        u"O servidor não conseguiu "
                                                        "abrir o banco de dados."_s);
                QMetaObject::invokeMethod(
                    this, [this, id, reply, session] { OnReply(id, reply, session); },
                    Qt::QueuedConnection);
                if (dispatcher)
                    dispatcher->RunAfterReply();
            });
            break;
        }
        const qint64 available = c->Socket->bytesAvailable();
        if (available <= 0)
            break;
        c->Framer.Feed(c->Socket->read(std::min(available, kReadChunk)));
    }
    // A line that has begun must end within the timeout, whatever its pace.
    const bool partial = !c->Busy && c->Framer.InLine();
    if (partial && !c->LineTimer->isActive())
        c->LineTimer->start();
    else if (!partial)
        c->LineTimer->stop();
}

void TRpcServer::OnReply(quint64 id, const QByteArray& reply, const TSession& session)
{
    TConnection* c = m_connections.value(id);
    if (!c)
        return;
    c->Session = session;
    c->Busy = false;
    if (!reply.isEmpty())
        Send(*c, reply);
    Pump(id);
}

void TRpcServer::OnLineTimeout(quint64 id)
{
    TConnection* c = m_connections.value(id);
    if (!c || c->Busy)
        return;
    Send(*c, TDispatcher::ErrorLine(QJsonValue::Null, rpc::kRequestTimeout,
                                    u"A requisição não terminou em %1 ms; a conexão "
                                    "foi encerrada."_s.arg(m_options.LineTimeoutMs)));
    c->Socket->disconnectFromHost();
}

void TRpcServer::Drop(quint64 id)
{
    TConnection* c = m_connections.take(id);
    if (!c)
        return;
    c->LineTimer->stop();
    c->Socket->deleteLater();
    delete c;
}

} // namespace aph
