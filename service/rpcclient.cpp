#include "service/rpcclient.h"

#include "host/data/packetcodec.h"
#include "service/rpccodes.h"
#include "service/tlsclient.h"

#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSslSocket>
#include <QTcpSocket>

using namespace Qt::StringLiterals;

namespace aph {

TRpcClient::TRpcClient() = default;

TRpcClient::~TRpcClient() = default;

namespace {

// Why a connection could not be made, in the user's language; the socket's
// own text is English.
QString ConnectFailure(const QTcpSocket& socket)
{
    switch (socket.error()) {
    case QAbstractSocket::ConnectionRefusedError:
        return u"o servidor recusou a conexão (não está no ar nesse endereço?)"_s;
    case QAbstractSocket::HostNotFoundError:
        return u"endereço não encontrado"_s;
    case QAbstractSocket::SocketTimeoutError:
        return u"o servidor não respondeu a tempo"_s;
    case QAbstractSocket::NetworkError:
        return u"a rede não alcança o servidor"_s;
    case QAbstractSocket::SocketAccessError:
        return u"conexão não permitida"_s;
    default:
        return u"erro de rede (%1)"_s.arg(socket.errorString());
    }
}

} // namespace

void TRpcClient::Connect(const QString& host, quint16 port)
{
    Disconnect();
    if (Tls.Enabled) {
        ConnectTls(host, port);
        return;
    }
    m_socket = std::make_unique<QTcpSocket>();
    m_socket->connectToHost(host, port);
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    if (!m_socket->waitForConnected(ConnectTimeoutMs)) {
        const QString why = ConnectFailure(*m_socket);
        m_socket.reset();
        throw EConnectionError(
            u"Não foi possível conectar ao servidor %1:%2: %3"_s.arg(host).arg(port).arg(why));
    }
}

bool TRpcClient::Reachable(const QString& host, quint16 port, int timeoutMs)
{
    QTcpSocket socket;
    socket.connectToHost(host, port);
    const bool up = socket.waitForConnected(timeoutMs);
    socket.abort();
    return up;
}

// The connection and the handshake share ConnectTimeoutMs; a server that
// does not speak TLS fails the handshake or lets it run out, never hangs.
void TRpcClient::ConnectTls(const QString& host, quint16 port)
{
    auto socket = std::make_unique<QSslSocket>();
    socket->setSslConfiguration(ClientTlsConfiguration(Tls));
    socket->setPeerVerifyName(host);
    const QDeadlineTimer deadline(ConnectTimeoutMs);
    const auto remaining = [&] {
        return static_cast<int>(std::max<qint64>(1, deadline.remainingTime()));
    };
    socket->connectToHostEncrypted(host, port);
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    if (!socket->waitForConnected(remaining()))
        throw EConnectionError(
            u"Não foi possível conectar ao servidor %1:%2: %3"_s.arg(host).arg(port).arg(
                ConnectFailure(*socket)));
    if (!socket->waitForEncrypted(remaining()))
        throw ETlsError(TlsHandshakeFailure(*socket, host, port, Tls, ConnectTimeoutMs));
    if (const QString mismatch = IpNameMismatch(*socket, host, port); !mismatch.isEmpty()) {
        socket->abort();
        throw ETlsError(mismatch);
    }
    m_socket = std::move(socket);
}

void TRpcClient::Disconnect()
{
    if (m_socket) {
        m_socket->abort();
        m_socket.reset();
    }
    m_buffer.clear();
    m_answered = false;
    m_roles.reset();
}

bool TRpcClient::IsConnected() const
{
    return m_socket && m_socket->state() == QAbstractSocket::ConnectedState;
}

void TRpcClient::Lost(const QString& why)
{
    Disconnect();
    throw EConnectionError(u"A conexão com o servidor foi perdida: %1"_s.arg(why));
}

// A server that closes a plain connection without answering its first
// request is most likely one that speaks TLS only.
QString TRpcClient::ClosedWhy() const
{
    if (m_answered || Tls.Enabled)
        return u"o servidor encerrou a conexão"_s;
    return u"o servidor encerrou a conexão sem responder (ele exige TLS? ative tls na "
           "configuração)"_s;
}

QByteArray TRpcClient::ReadLine()
{
    const QDeadlineTimer deadline(CallTimeoutMs);
    for (;;) {
        const qsizetype newline = m_buffer.indexOf('\n');
        if (newline >= 0) {
            QByteArray line = m_buffer.left(newline);
            m_buffer.remove(0, newline + 1);
            m_answered = true;
            return line;
        }
        if (m_socket->bytesAvailable() > 0) {
            m_buffer += m_socket->readAll();
            continue;
        }
        if (m_socket->state() != QAbstractSocket::ConnectedState)
            Lost(ClosedWhy());
        if (deadline.hasExpired())
            Lost(u"o servidor não respondeu em %1 ms"_s.arg(CallTimeoutMs));
        if (!m_socket->waitForReadyRead(
                static_cast<int>(std::max<qint64>(1, deadline.remainingTime()))) &&
            m_socket->bytesAvailable() == 0 && m_socket->state() != QAbstractSocket::ConnectedState)
            Lost(ClosedWhy());
    }
}

// Between calls the server sends nothing but the notice that it is ending
// the connection: one waiting here ends it before a request is lost on it.
void TRpcClient::TakeNotice()
{
    m_socket->waitForReadyRead(0);
    if (m_socket->bytesAvailable() > 0)
        m_buffer += m_socket->readAll();
    const qsizetype newline = m_buffer.indexOf('\n');
    if (newline < 0)
        return;
    const QJsonObject notice = QJsonDocument::fromJson(m_buffer.left(newline)).object();
    Lost(notice.value(u"error")
             .toObject()
             .value(u"message")
             .toString(u"o servidor encerrou a conexão"_s));
}

QJsonValue TRpcClient::SendRaw(const QByteArray& line)
{
    if (!IsConnected())
        throw EConnectionError(u"Não há conexão com o servidor."_s);
    TakeNotice();
    m_socket->write(line.endsWith('\n') ? line : line + '\n');
    while (m_socket->bytesToWrite() > 0)
        if (!m_socket->waitForBytesWritten(CallTimeoutMs))
            Lost(m_socket->errorString());
    const QByteArray reply = ReadLine();
    const QJsonDocument doc = QJsonDocument::fromJson(reply);
    if (!doc.isObject())
        Lost(u"resposta malformada do servidor"_s);
    return doc.object();
}

QJsonValue TRpcClient::Call(const QString& method, const QJsonArray& params,
                            const QString& requestKey)
{
    const qint64 id = m_nextId++;
    QJsonObject request{
        {u"jsonrpc"_s, u"2.0"_s}, {u"id"_s, id}, {u"method"_s, method}, {u"params"_s, params}};
    if (!requestKey.isEmpty())
        request.insert(u"requestKey"_s, requestKey);
    const QJsonObject reply =
        SendRaw(QJsonDocument(request).toJson(QJsonDocument::Compact)).toObject();
    // The operator's roles, named by Login and GetRoles, and beside any
    // reply when they changed.
    const QJsonValue named = reply.contains(u"roles") ? reply.value(u"roles")
                             : method == u"Login" || method == u"GetRoles"
                                 ? reply.value(u"result").toObject().value(u"roles")
                                 : QJsonValue();
    if (named.isArray()) {
        QStringList names;
        for (const QJsonValue& role : named.toArray())
            names << role.toString();
        m_roles = names;
    }
    if (reply.contains(u"error")) {
        const QJsonObject error = reply.value(u"error").toObject();
        const int code = error.value(u"code").toInt();
        const QString message = error.value(u"message").toString(u"Erro do servidor."_s);
        // The server's notice that it is closing the connection (its limit,
        // a stalled line, the Login deadline, idleness, a request to move to
        // another server) ends the connection here too, so that the caller
        // connects again.
        if (rpc::ClosesConnection(code))
            Lost(message);
        throw ERpcError(code, message);
    }
    if (reply.value(u"id").toDouble(-1) != static_cast<double>(id))
        Lost(u"a resposta não corresponde à chamada"_s);
    return reply.value(u"result");
}

std::optional<QStringList> TRpcClient::Login(const QString& operatorCode, const QString& token)
{
    m_roles.reset();
    CheckedPacket(Call(u"Login"_s, {operatorCode, token}));
    return m_roles;
}

bool IsKeyedWrite(const QString& method)
{
    return method == u"SetCSA" || method == u"SetCHT" || method == u"SetStatusCHT";
}

std::optional<TDataPacket> ReplyPacket(const QJsonValue& result)
{
    const QJsonObject reply = result.toObject();
    if (!result.isObject() || !reply.value(u"ok").isBool())
        throw EServerError(u"Resposta inválida do servidor de aplicação."_s);
    if (!reply.value(u"ok").toBool()) {
        const QString message = reply.value(u"message").toString();
        throw EServerError(message.isEmpty() ? u"O servidor de aplicação recusou a operação."_s
                                             : message);
    }
    const QJsonValue data = reply.value(u"data");
    if (data.isNull() || data.isUndefined())
        return std::nullopt;
    return PacketFromJson(data);
}

TDataPacket CheckedPacket(const QJsonValue& result)
{
    return ReplyPacket(result).value_or(TDataPacket{});
}

} // namespace aph
