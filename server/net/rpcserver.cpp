#include "server/net/rpcserver.h"

#include "server/common/serverlog.h"
#include "server/net/clientkey.h"
#include "server/net/drain.h"
#include "server/net/proxyheader.h"
#include "server/net/tlsconfig.h"
#include "server/rpc/requestjob.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSocketNotifier>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

// Replies wait in the socket until the client reads them; past this much
// unread, the connection's next request waits too.
constexpr qint64 kMaxPendingOutput = 8 * 1024 * 1024;
// What one pass takes from the socket into the framer: the framer holds at
// most the line limit plus one chunk, so a line over the limit is dropped
// as it arrives instead of buffered whole.
constexpr qint64 kReadChunk = 64 * 1024;
// What the socket reads from the system ahead of the framer, four chunks:
// a connection whose request is in flight holds no more than this, and the
// rest waits with the system and the client.
constexpr qint64 kSocketReadBuffer = 256 * 1024;
// A socket being closed gets this long to take its last line.
constexpr int kCloseGraceMs = 5000;
// Every Login is answered this long after it arrived, or later, whether it
// succeeds or not and whether the operator exists or not: its timing tells
// nothing about the operator names.
constexpr qint64 kLoginReplyMs = 100;
// A heavy read refused because its operator has too many waits this long
// for its reply.
constexpr qint64 kHeavyBusyReplyMs = 1000;
// Failed Logins of one operator from one address, past the first few,
// wait longer and longer, up to the cap; they are forgotten after a quiet
// quarter of an hour.
constexpr int kFreeLoginFailures = 3;
constexpr qint64 kMaxLoginDelayMs = 30000;
constexpr qint64 kLoginFailureMemoryMs = 15 * 60 * 1000;
// The first delay past the free failures; each failure after it doubles
// it, at most this many times (the cap is reached well before; the bound
// keeps the shift defined).
constexpr qint64 kFirstLoginPenaltyMs = 500;
constexpr int kMaxLoginPenaltyDoublings = 10;
// Operators and addresses remembered with failures before the quiet ones
// are forgotten: a flood of failures cannot grow the table without end.
constexpr qsizetype kMaxLoginFailureAddresses = 10000;
// Request keys past their days are purged this often, and at most this
// many per transaction; a full batch is followed at once by another, each
// queued behind the requests waiting then.
constexpr int kPurgeIntervalMs = 10 * 60 * 1000;
constexpr int kFirstPurgeMs = 5000;
constexpr int kPurgeBatch = 500;

// A connection is asked to reconnect at its maximum age give or take this
// fraction of it.
constexpr double kConnectionAgeSpread = 0.25;

// Seconds as the user writes them: "10", "1,5".
QString Seconds(int ms)
{
    return QString::number(ms / 1000.0).replace(u'.', u',');
}

qint64 NowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

// A connection that has not sent its PROXY header and finished its TLS
// handshake by then is closed: a silent socket holds its place briefly.
constexpr int kHandshakeTimeoutMs = 3000;
// Connections of one address still in their handshake at a time, well
// under its share of connections: sockets that never speak cannot take
// the places of the address's own clients, nor of anyone else's.
constexpr int kMaxHandshakesPerAddress = 8;

// Hands every accepted socket over at once, before any byte is read, so
// that the server counts it and reads what comes first itself.
class TListener : public QTcpServer
{
public:
    using QTcpServer::QTcpServer;
    std::function<void(qintptr)> OnIncoming;

protected:
    void incomingConnection(qintptr fd) override { OnIncoming(fd); }
};

QHostAddress PeerAddress(qintptr fd)
{
    sockaddr_storage peer{};
    socklen_t size = sizeof peer;
    if (::getpeername(static_cast<int>(fd), reinterpret_cast<sockaddr*>(&peer), &size) != 0)
        return {};
    return QHostAddress(reinterpret_cast<const sockaddr*>(&peer));
}

} // namespace

// A socket accepted and not yet a connection: the balancer's PROXY header
// and the TLS handshake come first, against a deadline.
struct TRpcServer::TArrival
{
    quint64 Id = 0;
    qintptr Fd = -1;
    QString Peer;         // the socket's own peer
    QString Address;      // the client's: the peer, or what the balancer said
    QString Key;          // what the limits count it under (see ClientLimitKey)
    bool Counted = false; // in m_perAddress and m_handshakes under Key
    QByteArray Header;    // the PROXY header read so far
    QSocketNotifier* Notifier = nullptr;
    QTcpSocket* Socket = nullptr; // once the header, if any, is read
    QTimer* Deadline = nullptr;
};

struct TRpcServer::TConnection
{
    explicit TConnection(qint64 maxLineBytes) : Framer(maxLineBytes) {}
    quint64 Id = 0;
    QTcpSocket* Socket = nullptr;
    QString Address;
    QString Key; // what the limits and the Login backoff count it under
    QTimer* LineTimer = nullptr;
    // Before Login, the Login deadline; after it, the idle timeout.
    QTimer* SessionTimer = nullptr;
    TLineFramer Framer;
    bool Busy = false;
    QElapsedTimer Started;  // of the request in flight
    quint64 Requests = 0;   // numbers the connection's requests in the log
    qint64 RecycleAtMs = 0; // when it is asked to reconnect; 0: never
    TSession Session;
    bool AwaitingLogin = false; // the session timer is the Login deadline
    // When the idle timeout falls as the requests that count left it: a
    // keep-alive Ping answers without moving it.
    QDeadlineTimer IdleDeadline;
    QDeadlineTimer IdleBeforeRequest;
    bool Closing = false;      // the server is closing it
    bool PeerFinished = false; // the peer sent its end of stream
    int SpareFd = -1;
    std::unique_ptr<TDrain> Drain;
};

TRpcServer::TRpcServer(const TServerOptions& options, QObject* parent)
    : QObject(parent), m_options(options), m_server(new TListener(this)),
      m_pool({options.Database, options.Workers, options.DbWorkers, options.AuditWaitMs,
              options.RequireLogin, options.KeepRequestsDays, options.MaxStatementDays,
              options.SeparateDuties, options.RequireAcceptance, options.UrlBase})
{
    if (!options.TlsCertFile.isEmpty())
        m_tls = std::make_unique<QSslConfiguration>(
            ServerTlsConfiguration(options.TlsCertFile, options.TlsKeyFile));
    static_cast<TListener*>(m_server)->OnIncoming = [this](qintptr fd) {
        OnIncoming(fd);
    };
    m_purgeTimer = new QTimer(this);
    m_purgeTimer->setSingleShot(true);
    connect(m_purgeTimer, &QTimer::timeout, this, &TRpcServer::PurgeRequestKeys);
    m_purgeTimer->start(kFirstPurgeMs);
}

// One batch of request keys past their days, on a worker like any request;
// the next batch follows when this one was full, otherwise the next round.
void TRpcServer::PurgeRequestKeys()
{
    m_pool.Submit([this](TDispatcher* dispatcher, const QString&) {
        int deleted = 0;
        if (dispatcher) {
            try {
                deleted = dispatcher->PurgeRequestKeys(kPurgeBatch);
            } catch (const Exception& e) {
                LogLine(TLogLevel::Warning,
                        u"limpeza das chaves de requisição antigas: %1"_s.arg(e.Message()));
            }
        }
        if (deleted > 0)
            LogLine(TLogLevel::Debug, u"%1 chaves de requisição antigas removidas"_s.arg(deleted));
        const int next = deleted >= kPurgeBatch ? 0 : kPurgeIntervalMs;
        QMetaObject::invokeMethod(
            this, [this, next] { m_purgeTimer->start(next); }, Qt::QueuedConnection);
    });
}

TRpcServer::~TRpcServer()
{
    for (const quint64 id : m_arrivals.keys())
        DropArrival(id);
    for (TConnection* c : std::as_const(m_connections))
        delete c;
}

void TRpcServer::Listen()
{
    if (!m_server->listen(m_options.Address, m_options.Port))
        throw Exception(u"Não foi possível escutar em %1:%2: %3"_s.arg(m_options.Address.toString())
                            .arg(m_options.Port)
                            .arg(m_server->errorString()));
}

quint16 TRpcServer::Port() const
{
    return m_server->serverPort();
}

// A socket just accepted: within the limits it counts from now on, under
// the address of its peer, or, from a trusted balancer, of the client its
// PROXY header names.
void TRpcServer::OnIncoming(qintptr fd)
{
    QHostAddress peer = PeerAddress(fd);
    bool v4 = false;
    if (const quint32 ip = peer.toIPv4Address(&v4); v4)
        peer = QHostAddress(ip);
    const bool viaProxy =
        std::any_of(m_options.TrustedProxies.cbegin(), m_options.TrustedProxies.cend(),
                    [&peer](const auto& subnet) { return peer.isInSubnet(subnet); });
    const QString address = ClientAddressText(peer);
    const QString key = ClientLimitKey(peer);
    // A balancer's connections are counted under their clients, once the
    // header names them; here only against the server's limit.
    if (const QString refusal = Refusal(viaProxy ? QString() : key); !refusal.isEmpty()) {
        Refuse(fd, address, refusal);
        return;
    }
    auto* a = new TArrival;
    a->Id = m_nextId++;
    a->Fd = fd;
    a->Peer = address;
    a->Address = address;
    a->Key = key;
    a->Deadline = new QTimer(this);
    a->Deadline->setSingleShot(true);
    const quint64 id = a->Id;
    connect(a->Deadline, &QTimer::timeout, this, [this, id] {
        OnArrivalFailed(
            id, u"não concluiu o início da conexão em %1 s"_s.arg(Seconds(kHandshakeTimeoutMs)));
    });
    a->Deadline->start(kHandshakeTimeoutMs);
    m_arrivals.insert(id, a);
    if (!viaProxy) {
        BeginSession(*a);
        return;
    }
    a->Notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(a->Notifier, &QSocketNotifier::activated, this, [this, id] { ReadProxyHeader(id); });
}

// Why a new connection counted under the key may not come in; empty when
// it may. An empty key is checked against the server's limit alone.
QString TRpcServer::Refusal(const QString& key) const
{
    if (m_connections.size() + m_arrivals.size() >= m_options.MaxConnections)
        return u"O servidor atingiu o limite de %1 conexões; tente mais tarde."_s.arg(
            m_options.MaxConnections);
    if (key.isEmpty())
        return {};
    if (m_perAddress.value(key) >= m_options.MaxPerAddress)
        return u"Este endereço atingiu o limite de %1 conexões abertas ao mesmo tempo; "
               "tente mais tarde."_s.arg(m_options.MaxPerAddress);
    if (m_handshakes.value(key) >= kMaxHandshakesPerAddress)
        return u"Este endereço tem %1 conexões ainda começando; tente mais tarde."_s.arg(
            kMaxHandshakesPerAddress);
    return {};
}

// Turns a socket away with the reason in the log and, on plain TCP, to the
// peer too; a TLS peer, before its handshake, can only be closed.
void TRpcServer::Refuse(qintptr fd, const QString& address, const QString& refusal)
{
    LogLine(TLogLevel::Warning, u"conexão de %1 recusada: %2"_s.arg(address, refusal));
    if (m_tls) {
        ::close(static_cast<int>(fd));
        return;
    }
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(fd)) {
        ::close(static_cast<int>(fd));
        delete socket;
        return;
    }
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    Close(socket, TDispatcher::ErrorLine(QJsonValue::Null, rpc::kTooManyConnections, refusal));
}

// Takes the PROXY header off the socket as it arrives, and not a byte
// more: what follows is the client's own (a TLS handshake, or requests).
void TRpcServer::ReadProxyHeader(quint64 id)
{
    TArrival* a = m_arrivals.value(id);
    if (!a)
        return;
    QByteArray peeked(kMaxProxyHeaderBytes - a->Header.size(), Qt::Uninitialized);
    const ssize_t n = ::recv(static_cast<int>(a->Fd), peeked.data(),
                             static_cast<size_t>(peeked.size()), MSG_PEEK | MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return;
    if (n == 0 && a->Header.isEmpty()) {
        // A balancer's health check that connects and closes: no fault.
        LogLine(TLogLevel::Debug, u"conexão de %1 fechada sem dados"_s.arg(a->Peer));
        DropArrival(id);
        return;
    }
    if (n <= 0) {
        OnArrivalFailed(id, u"fechou a conexão no meio do cabeçalho PROXY"_s);
        return;
    }
    peeked.truncate(n);
    const TProxyHeader h = ParseProxyHeader(a->Header + peeked);
    if (h.State == TProxyHeader::TState::Invalid) {
        OnArrivalFailed(id, h.Reason);
        return;
    }
    // All of what arrived is header while it has not ended; once it has,
    // only up to its end.
    const qsizetype take =
        h.State == TProxyHeader::TState::Done ? h.Length - a->Header.size() : peeked.size();
    if (::recv(static_cast<int>(a->Fd), peeked.data(), static_cast<size_t>(take), 0) != take) {
        OnArrivalFailed(id, u"falha ao ler o cabeçalho PROXY"_s);
        return;
    }
    a->Header += peeked.left(take);
    if (h.State == TProxyHeader::TState::NeedMore)
        return;
    delete std::exchange(a->Notifier, nullptr);
    if (!h.Client.isNull()) {
        a->Address = ClientAddressText(h.Client);
        a->Key = ClientLimitKey(h.Client);
    }
    if (const QString refusal = Refusal(a->Key); !refusal.isEmpty()) {
        const qintptr fd = std::exchange(a->Fd, -1);
        const QString who = a->Address + u" via "_s + a->Peer;
        DropArrival(id);
        Refuse(fd, who, refusal);
        return;
    }
    BeginSession(*a);
}

// The socket counts under its client's address from here on; TLS begins
// its handshake, plain TCP is a connection at once.
void TRpcServer::BeginSession(TArrival& a)
{
    a.Counted = true;
    ++m_perAddress[a.Key];
    ++m_handshakes[a.Key];
    const quint64 id = a.Id;
    if (!m_tls) {
        a.Socket = new QTcpSocket(this);
        if (!a.Socket->setSocketDescriptor(std::exchange(a.Fd, -1)))
            OnArrivalFailed(id, a.Socket->errorString());
        else
            OnEstablished(id);
        return;
    }
    auto* socket = new QSslSocket(this);
    a.Socket = socket;
    socket->setSslConfiguration(*m_tls);
    if (!socket->setSocketDescriptor(std::exchange(a.Fd, -1))) {
        OnArrivalFailed(id, socket->errorString());
        return;
    }
    connect(socket, &QSslSocket::encrypted, this, [this, id] { OnEstablished(id); });
    connect(socket, &QAbstractSocket::errorOccurred, this, [this, id, socket] {
        OnArrivalFailed(id, u"handshake TLS recusado: %1"_s.arg(socket->errorString()));
    });
    socket->startServerEncryption();
}

void TRpcServer::OnEstablished(quint64 id)
{
    TArrival* a = m_arrivals.value(id);
    if (!a)
        return;
    QTcpSocket* socket = std::exchange(a->Socket, nullptr);
    socket->disconnect(this);
    const QString address = a->Address;
    const QString key = a->Key;
    a->Counted = false;
    if (--m_handshakes[key] <= 0)
        m_handshakes.remove(key);
    DropArrival(id);
    AddConnection(socket, address, key); // already in m_perAddress
}

// A socket that did not become a connection: one line at warning, with the
// address and the reason, and its places are given back.
void TRpcServer::OnArrivalFailed(quint64 id, const QString& reason)
{
    TArrival* a = m_arrivals.value(id);
    if (!a)
        return;
    LogLine(TLogLevel::Warning,
            u"conexão de %1 encerrada: %2"_s.arg(
                a->Peer == a->Address ? a->Address : a->Address + u" via "_s + a->Peer, reason));
    DropArrival(id);
}

void TRpcServer::DropArrival(quint64 id)
{
    TArrival* a = m_arrivals.take(id);
    if (!a)
        return;
    if (a->Counted) {
        if (--m_perAddress[a->Key] <= 0)
            m_perAddress.remove(a->Key);
        if (--m_handshakes[a->Key] <= 0)
            m_handshakes.remove(a->Key);
    }
    delete a->Notifier;
    if (a->Socket) {
        a->Socket->disconnect(this);
        a->Socket->abort();
        a->Socket->deleteLater();
    }
    if (a->Fd >= 0)
        ::close(static_cast<int>(a->Fd));
    a->Deadline->deleteLater();
    delete a;
}

void TRpcServer::AddConnection(QTcpSocket* socket, const QString& address, const QString& key)
{
    auto* c = new TConnection(m_options.MaxRequestBytes);
    c->Id = m_nextId++;
    c->Socket = socket;
    c->Address = address;
    c->Key = key;
    // Kept so that replies owed after the peer's end of stream can
    // still be written (see TDrain); TLS needs its own socket for that.
    if (!m_tls)
        c->SpareFd = ::dup(static_cast<int>(socket->socketDescriptor()));
    socket->setReadBufferSize(kSocketReadBuffer);
    // Replies go out at once, not held back waiting for an acknowledgement.
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    c->LineTimer = new QTimer(socket);
    c->LineTimer->setSingleShot(true);
    c->LineTimer->setInterval(m_options.LineTimeoutMs);
    c->SessionTimer = new QTimer(socket);
    c->SessionTimer->setSingleShot(true);
    m_connections.insert(c->Id, c);
    const quint64 id = c->Id;
    connect(socket, &QTcpSocket::readyRead, this, [this, id] { Pump(id); });
    connect(socket, &QTcpSocket::bytesWritten, this, [this, id] { Pump(id); });
    connect(socket, &QTcpSocket::disconnected, this, [this, id] { OnDisconnected(id); });
    connect(c->LineTimer, &QTimer::timeout, this, [this, id] { OnLineTimeout(id); });
    connect(c->SessionTimer, &QTimer::timeout, this, [this, id] { OnSessionTimeout(id); });
    if (m_options.MaxConnectionAgeMs > 0) {
        // Spread either side, so that connections made together do not
        // all come back at once.
        const double spread =
            1 - kConnectionAgeSpread +
            2 * kConnectionAgeSpread * QRandomGenerator::global()->generateDouble();
        c->RecycleAtMs = NowMs() + static_cast<qint64>(m_options.MaxConnectionAgeMs * spread);
    }
    LogLine(TLogLevel::Debug, u"conexão %1 aberta de %2"_s.arg(c->Id).arg(c->Address));
    ArmSessionTimer(*c);
    // Bytes that came with the end of the handshake are waiting already.
    if (socket->bytesAvailable() > 0)
        Pump(id);
}

// Says why, if there is something to say, and closes; a peer that does not
// take its last line does not keep the socket beyond the grace period.
void TRpcServer::Close(QTcpSocket* socket, const QByteArray& notice)
{
    if (!notice.isEmpty())
        socket->write(notice + '\n');
    socket->disconnectFromHost();
    QTimer::singleShot(kCloseGraceMs, socket, [socket] { socket->abort(); });
}

void TRpcServer::Send(TConnection& c, const QByteArray& line)
{
    if (c.PeerFinished) {
        if (c.Drain)
            c.Drain->Write(line + '\n');
        return;
    }
    c.Socket->write(line + '\n');
}

void TRpcServer::Pump(quint64 id)
{
    TConnection* c = m_connections.value(id);
    if (!c || c->Closing)
        return;
    while (!c->Busy && (c->PeerFinished || c->Socket->bytesToWrite() < kMaxPendingOutput)) {
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
            Dispatch(*c, line);
            break;
        }
        const qint64 available = c->Socket->bytesAvailable();
        if (available <= 0)
            break;
        c->Framer.Feed(c->Socket->read(std::min(available, kReadChunk)));
    }
    if (c->PeerFinished) {
        // Every line the peer sent has been answered (a line left without
        // its "\n" is not a request): the connection is over once the
        // replies are out.
        if (!c->Busy && (!c->Drain || c->Drain->Empty()))
            Drop(id);
        return;
    }
    // A line that has begun must end within the timeout, whatever its pace.
    const bool partial = !c->Busy && c->Framer.InLine();
    if (partial && !c->LineTimer->isActive())
        c->LineTimer->start();
    else if (!partial)
        c->LineTimer->stop();
}

void TRpcServer::Dispatch(TConnection& c, const QByteArray& line)
{
    c.Busy = true;
    c.Started.start();
    c.IdleBeforeRequest = c.IdleDeadline;
    ArmSessionTimer(c);
    const quint64 id = c.Id;
    TSession session = c.Session;
    session.LoginAttempt = TSession::TLogin::None;
    ++c.Requests;
    // A read that scans a period runs among the heavy jobs, under its
    // operator (see SubmitRequest).
    SubmitRequest(
        m_pool, line, session, HeavyOwner(c.Session, c.Key, m_options.RequireLogin),
        [this, id](const QByteArray& reply, const TSession& after, const TRequestOutcome& outcome) {
            QMetaObject::invokeMethod(
                this, [this, id, reply, after, outcome] { OnReply(id, reply, after, outcome); },
                Qt::QueuedConnection);
        });
}

void TRpcServer::OnReply(quint64 id, const QByteArray& reply, const TSession& session,
                         const TRequestOutcome& outcome)
{
    TConnection* c = m_connections.value(id);
    if (!c)
        return;
    // A heavy read refused for its operator's count answers after a pause,
    // so that a client sending it again at once does not spin the server.
    const qint64 delay =
        outcome.Code == rpc::kHeavyBusy ? kHeavyBusyReplyMs : LoginReplyDelay(*c, session);
    if (delay <= 0) {
        Deliver(id, reply, session, outcome);
        return;
    }
    QTimer::singleShot(
        delay, this, [this, id, reply, session, outcome] { Deliver(id, reply, session, outcome); });
}

void TRpcServer::Deliver(quint64 id, const QByteArray& reply, const TSession& session,
                         const TRequestOutcome& outcome)
{
    TConnection* c = m_connections.value(id);
    if (!c)
        return;
    const bool loginFailed = session.LoginAttempt == TSession::TLogin::Failed;
    c->Session = session;
    c->Session.LoginAttempt = TSession::TLogin::None;
    c->Busy = false;
    LogRequest(*c, outcome, loginFailed);
    if (c->Closing)
        return;
    if (!reply.isEmpty())
        Send(*c, reply);
    if (Recycle(*c))
        return;
    ArmSessionTimer(*c);
    if (outcome.Method == u"Ping" && !c->AwaitingLogin) {
        // A keep-alive is no use of the session: the idle timeout runs on
        // from the last request that was not one.
        c->IdleDeadline = c->IdleBeforeRequest;
        c->SessionTimer->start(
            static_cast<int>(std::max<qint64>(0, c->IdleDeadline.remainingTime())));
    }
    Pump(id);
}

// One line per request: who asked what, how long it took from its arrival
// to its reply, and how it ended.
void TRpcServer::LogRequest(const TConnection& c, const TRequestOutcome& outcome,
                            bool loginFailed) const
{
    const bool serverFault =
        outcome.Code == rpc::kInternalError || outcome.Code == rpc::kDatabaseError;
    const TLogLevel level = loginFailed || serverFault ? TLogLevel::Warning : TLogLevel::Info;
    if (!Logs(level))
        return;
    const QString result = outcome.Code != 0 ? u"erro codigo=%1"_s.arg(outcome.Code)
                           : outcome.Refused ? u"recusa"_s
                                             : u"ok"_s;
    LogLine(level,
            u"requisicao=%1-%2 origem=%3 operador=%4 metodo=%5 id=%6 ms=%7 resultado=%8"_s.arg(c.Id)
                .arg(c.Requests)
                .arg(c.Address, LogValue(c.Session.Operator), LogValue(outcome.Method),
                     LogValue(QString::fromUtf8(outcome.Id)))
                .arg(static_cast<double>(c.Started.nsecsElapsed()) / 1e6, 0, 'f', 2)
                .arg(result));
}

// A connection past its age is told to connect again, once its reply is
// out and before it asks anything more: nothing after the notice is run,
// so the client may send its next request anywhere.
bool TRpcServer::Recycle(TConnection& c)
{
    if (c.RecycleAtMs == 0 || c.PeerFinished || NowMs() < c.RecycleAtMs)
        return false;
    c.Closing = true;
    c.LineTimer->stop();
    c.SessionTimer->stop();
    LogLine(TLogLevel::Debug, u"conexão %1 renovada (idade máxima)"_s.arg(c.Id));
    Close(c.Socket, TDispatcher::ErrorLine(QJsonValue::Null, rpc::kReconnect,
                                           u"A conexão foi renovada para distribuir a carga "
                                           "entre os servidores; conecte-se de novo."_s));
    return true;
}

// How long a Login's reply waits: up to the fixed reply time, plus, for an
// address that keeps failing, a delay that doubles with each failure.
qint64 TRpcServer::LoginReplyDelay(TConnection& c, const TSession& session)
{
    if (session.LoginAttempt == TSession::TLogin::None)
        return 0;
    const qint64 floor = kLoginReplyMs - c.Started.elapsed();
    // Per operator and address (an IPv6 one by its /64): one operator's
    // good Login does not clear the failures of another named from the
    // same place.
    const QString key = c.Key + u'\n' + session.LoginOperator.toUpper();
    if (session.LoginAttempt == TSession::TLogin::Succeeded) {
        m_loginFailures.remove(key);
        return floor;
    }
    const qint64 now = NowMs();
    if (m_loginFailures.size() > kMaxLoginFailureAddresses)
        m_loginFailures.removeIf([now](const auto& entry) {
            return now - entry.value().LastMs > kLoginFailureMemoryMs;
        });
    TLoginFailures& failures = m_loginFailures[key];
    if (now - failures.LastMs > kLoginFailureMemoryMs)
        failures.Count = 0;
    failures.LastMs = now;
    const int beyond = ++failures.Count - kFreeLoginFailures;
    const qint64 penalty =
        beyond <= 0 ? 0
                    : std::min<qint64>(kMaxLoginDelayMs,
                                       kFirstLoginPenaltyMs
                                           << std::min(beyond - 1, kMaxLoginPenaltyDoublings));
    return std::max<qint64>(floor, 0) + penalty;
}

// Before Login the deadline runs from the connection (or from the session's
// end) and activity does not extend it; once logged in, each request
// restarts the idle timeout.
void TRpcServer::ArmSessionTimer(TConnection& c)
{
    const bool awaitingLogin = m_options.RequireLogin && !c.Session.LoggedIn();
    if (awaitingLogin) {
        if (!c.AwaitingLogin) {
            c.AwaitingLogin = true;
            c.SessionTimer->start(m_options.LoginTimeoutMs);
        }
        return;
    }
    c.AwaitingLogin = false;
    c.SessionTimer->start(m_options.IdleTimeoutMs);
    c.IdleDeadline.setRemainingTime(m_options.IdleTimeoutMs);
}

void TRpcServer::OnSessionTimeout(quint64 id)
{
    TConnection* c = m_connections.value(id);
    if (!c || c->Closing || c->PeerFinished)
        return;
    QByteArray notice;
    if (c->AwaitingLogin) {
        notice = TDispatcher::ErrorLine(QJsonValue::Null, rpc::kLoginTimeout,
                                        u"O Login não foi feito em %1 s; a conexão foi "
                                        "encerrada."_s.arg(Seconds(m_options.LoginTimeoutMs)));
    } else if (c->Busy) {
        ArmSessionTimer(*c); // a long request is no idleness
        return;
    } else {
        notice =
            TDispatcher::ErrorLine(QJsonValue::Null, rpc::kIdleTimeout,
                                   u"A conexão ficou sem uso por %1 s e foi encerrada; "
                                   "conecte-se de novo."_s.arg(Seconds(m_options.IdleTimeoutMs)));
    }
    c->Closing = true;
    c->LineTimer->stop();
    Close(c->Socket, notice);
}

void TRpcServer::OnLineTimeout(quint64 id)
{
    TConnection* c = m_connections.value(id);
    if (!c || c->Busy || c->Closing)
        return;
    c->Closing = true;
    c->SessionTimer->stop();
    Close(c->Socket, TDispatcher::ErrorLine(QJsonValue::Null, rpc::kRequestTimeout,
                                            u"A requisição não terminou em %1 ms; a conexão "
                                            "foi encerrada."_s.arg(m_options.LineTimeoutMs)));
}

// The socket is closed: by the server, or by the peer. A peer that sent
// requests and then its end of stream still has them run, and answered
// where the socket allows it.
void TRpcServer::OnDisconnected(quint64 id)
{
    TConnection* c = m_connections.value(id);
    if (!c)
        return;
    if (c->Closing || c->PeerFinished) {
        Drop(id);
        return;
    }
    c->PeerFinished = true;
    c->LineTimer->stop();
    c->SessionTimer->stop();
    if (c->SpareFd >= 0) {
        c->Drain = std::make_unique<TDrain>(std::exchange(c->SpareFd, -1));
        c->Drain->OnEmpty = [this, id] {
            Pump(id);
        };
    }
    Pump(id);
}

void TRpcServer::Drop(quint64 id)
{
    TConnection* c = m_connections.take(id);
    if (!c)
        return;
    LogLine(TLogLevel::Debug,
            u"conexão %1 encerrada após %2 requisições"_s.arg(c->Id).arg(c->Requests));
    if (--m_perAddress[c->Key] <= 0)
        m_perAddress.remove(c->Key);
    c->LineTimer->stop();
    c->SessionTimer->stop();
    if (c->SpareFd >= 0)
        ::close(c->SpareFd);
    c->Socket->deleteLater();
    delete c;
}

} // namespace aph
