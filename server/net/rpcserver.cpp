#include "server/net/rpcserver.h"

#include "server/common/serverlog.h"
#include "server/net/tlsconfig.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSocketNotifier>
#include <QSslServer>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include <cerrno>
#include <cstdio>
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
// Failed Logins from one address, past the first few, wait longer and
// longer, up to the cap; an address forgets its failures after a quiet
// quarter of an hour.
constexpr int kFreeLoginFailures = 3;
constexpr qint64 kMaxLoginDelayMs = 30000;
constexpr qint64 kLoginFailureMemoryMs = 15 * 60 * 1000;
// The first delay past the free failures; each failure after it doubles
// it, at most this many times (the cap is reached well before; the bound
// keeps the shift defined).
constexpr qint64 kFirstLoginPenaltyMs = 500;
constexpr int kMaxLoginPenaltyDoublings = 10;
// Addresses remembered with failures before the quiet ones are forgotten:
// a flood of failing addresses cannot grow the table without end.
constexpr qsizetype kMaxLoginFailureAddresses = 10000;
// A connection is asked to reconnect at its maximum age give or take this
// fraction of it.
constexpr double kConnectionAgeSpread = 0.25;

// The peer's address, IPv4 in its plain form whatever the socket family.
QString AddressKey(const QHostAddress& address)
{
    bool v4 = false;
    const quint32 ip = address.toIPv4Address(&v4);
    return v4 ? QHostAddress(ip).toString() : address.toString();
}

// Seconds as the user writes them: "10", "1,5".
QString Seconds(int ms)
{
    return QString::number(ms / 1000.0).replace(u'.', u',');
}

qint64 NowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

// The write side of a connection whose peer has finished sending (a
// request line followed at once by its FIN). The socket layer closes both
// directions on the peer's end of stream, so the replies still owed go out
// through a duplicate of the descriptor taken before it closed.
class TDrain
{
public:
    explicit TDrain(int fd) : m_fd(fd), m_notifier(fd, QSocketNotifier::Write)
    {
        m_notifier.setEnabled(false);
        QObject::connect(&m_notifier, &QSocketNotifier::activated, [this] { Flush(); });
    }
    ~TDrain()
    {
        m_notifier.setEnabled(false);
        ::close(m_fd);
    }
    TDrain(const TDrain&) = delete;
    TDrain& operator=(const TDrain&) = delete;

    void Write(const QByteArray& bytes)
    {
        m_pending += bytes;
        Flush();
    }
    bool Empty() const { return m_pending.isEmpty() || m_failed; }
    std::function<void()> OnEmpty;

private:
    void Flush()
    {
        while (!m_pending.isEmpty() && !m_failed) {
            const ssize_t n = ::send(m_fd, m_pending.constData(),
                                     static_cast<size_t>(m_pending.size()), MSG_NOSIGNAL);
            if (n > 0) {
                m_pending.remove(0, n);
            } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
                break;
            } else {
                m_failed = true; // the peer is gone for good
            }
        }
        m_notifier.setEnabled(!Empty());
        if (Empty() && OnEmpty)
            QTimer::singleShot(0, OnEmpty); // not from inside a Write
    }

    int m_fd;
    QSocketNotifier m_notifier;
    QByteArray m_pending;
    bool m_failed = false;
};

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

struct TRpcServer::TConnection
{
    explicit TConnection(qint64 maxLineBytes) : Framer(maxLineBytes) {}
    quint64 Id = 0;
    QTcpSocket* Socket = nullptr;
    QString Address;
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
    bool Closing = false;       // the server is closing it
    bool PeerFinished = false;  // the peer sent its end of stream
    int SpareFd = -1;
    std::unique_ptr<TDrain> Drain;
};

TRpcServer::TRpcServer(const TServerOptions& options, QObject* parent)
    : QObject(parent), m_options(options), m_server(NewListener(options, this)),
      m_pool({options.Database, options.Workers, options.DbWorkers, options.AuditWaitMs,
              options.RequireLogin, options.SeparateDuties})
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
        socket->setParent(this);
        if (!Admit(socket))
            continue;
        auto* c = new TConnection(m_options.MaxRequestBytes);
        c->Id = m_nextId++;
        c->Socket = socket;
        c->Address = AddressKey(socket->peerAddress());
        ++m_perAddress[c->Address];
        // Kept so that replies owed after the peer's end of stream can
        // still be written (see TDrain); TLS needs its own socket for that.
        if (!qobject_cast<QSslSocket*>(socket))
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
    }
}

// Within the server's limit and the limit of the peer's address; otherwise
// the peer is told why and the socket closed.
bool TRpcServer::Admit(QTcpSocket* socket)
{
    QString refusal;
    if (m_connections.size() >= m_options.MaxConnections)
        refusal = u"O servidor atingiu o limite de %1 conexões; tente mais tarde."_s.arg(
            m_options.MaxConnections);
    else if (m_perAddress.value(AddressKey(socket->peerAddress())) >= m_options.MaxPerAddress)
        refusal = u"Este endereço atingiu o limite de %1 conexões abertas ao mesmo tempo; "
                  "tente mais tarde."_s.arg(m_options.MaxPerAddress);
    if (refusal.isEmpty())
        return true;
    LogLine(TLogLevel::Warning,
            u"conexão de %1 recusada: %2"_s.arg(AddressKey(socket->peerAddress()), refusal));
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    Close(socket, TDispatcher::ErrorLine(QJsonValue::Null, rpc::kTooManyConnections, refusal));
    return false;
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
    ArmSessionTimer(c);
    const quint64 id = c.Id;
    TSession session = c.Session;
    session.LoginAttempt = TSession::TLogin::None;
    ++c.Requests;
    m_pool.Submit(
        [this, id, line, session](TDispatcher* dispatcher, const QString& failure) mutable {
            TRequestOutcome outcome;
            QByteArray reply;
            if (dispatcher) {
                reply = dispatcher->Handle(line, session);
                outcome = dispatcher->LastOutcome();
            } else {
                reply = TDispatcher::Unanswerable(line, rpc::kDatabaseError, failure);
                outcome.Code = rpc::kDatabaseError;
            }
            QMetaObject::invokeMethod(
                this, [this, id, reply, session, outcome] { OnReply(id, reply, session, outcome); },
                Qt::QueuedConnection);
        });
}

void TRpcServer::OnReply(quint64 id, const QByteArray& reply, const TSession& session,
                         const TRequestOutcome& outcome)
{
    TConnection* c = m_connections.value(id);
    if (!c)
        return;
    const qint64 delay = LoginReplyDelay(*c, session);
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
    if (session.LoginAttempt == TSession::TLogin::Succeeded) {
        m_loginFailures.remove(c.Address);
        return floor;
    }
    const qint64 now = NowMs();
    if (m_loginFailures.size() > kMaxLoginFailureAddresses)
        m_loginFailures.removeIf([now](const auto& entry) {
            return now - entry.value().LastMs > kLoginFailureMemoryMs;
        });
    TLoginFailures& failures = m_loginFailures[c.Address];
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
    if (--m_perAddress[c->Address] <= 0)
        m_perAddress.remove(c->Address);
    c->LineTimer->stop();
    c->SessionTimer->stop();
    if (c->SpareFd >= 0)
        ::close(c->SpareFd);
    c->Socket->deleteLater();
    delete c;
}

} // namespace aph
