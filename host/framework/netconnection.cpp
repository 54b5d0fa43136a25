#include "host/framework/netconnection.h"

#include "host/data/exceptions.h"
#include "host/data/scopeguard.h"
#include "host/framework/environment.h"
#include "service/policy.h"
#include "service/rpcclient.h"
#include "service/rpccodes.h"

#include <QUuid>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

TTransportFactory& Factory()
{
    static TTransportFactory factory;
    return factory;
}

TConnectionStatusHandler& StatusHandler()
{
    static TConnectionStatusHandler handler;
    return handler;
}

// The connections alive, for the keep-alive.
QList<TNetConnection*>& LiveConnections()
{
    static QList<TNetConnection*> connections;
    return connections;
}

// How long the keep-alive waits for a server's port or its Ping reply.
constexpr int kProbeTimeoutMs = 3000;

} // namespace

// The real wire: the JSON-RPC client, logged in as the host's operator
// when the host has a token for the server.
class TRpcTransport : public IAppServerTransport
{
public:
    void Open(const QString& host, int port) override
    {
        if (port <= 0 || port > 65535)
            throw Exception(u"Porta do servidor de aplicação inválida: %1."_s.arg(port));
        const THostEnvironment& env = HostEnvironment();
        m_client.Tls = {env.Tls, env.CaFile};
        m_client.Connect(host, static_cast<quint16>(port));
        if (!env.Token.isEmpty()) {
            // A refused login leaves no half-open connection behind.
            TScopeFail disconnect([this] { m_client.Disconnect(); });
            m_client.Login(env.Operador, env.Token);
        }
    }
    void Close() override { m_client.Disconnect(); }
    bool IsOpen() const override { return m_client.IsConnected(); }
    QJsonValue Call(const QString& method, const QJsonArray& params) override
    {
        return m_client.Call(method, params);
    }
    QJsonValue CallKeyed(const QString& method, const QJsonArray& params,
                         const QString& requestKey) override
    {
        return m_client.Call(method, params, requestKey);
    }
    bool Reachable(const QString& host, int port) override
    {
        return TRpcClient::Reachable(host, static_cast<quint16>(port), kProbeTimeoutMs);
    }
    std::optional<QStringList> Roles() const override { return m_client.Roles(); }

private:
    TRpcClient m_client;
};

std::unique_ptr<IAppServerTransport> MakeRpcTransport()
{
    return std::make_unique<TRpcTransport>();
}

void SetTransportFactory(TTransportFactory factory)
{
    Factory() = std::move(factory);
}

void SetConnectionStatusHandler(TConnectionStatusHandler handler)
{
    StatusHandler() = std::move(handler);
}

TNetConnection::TNetConnection(QString name) : TComponent(std::move(name))
{
    LiveConnections() << this;
}

TNetConnection::~TNetConnection()
{
    LiveConnections().removeOne(this);
    if (m_transport)
        m_transport->Close();
}

void KeepConnectionsAlive(int idleMs)
{
    // A copy: a report may close a screen, and its connection with it.
    const QList<TNetConnection*> connections = LiveConnections();
    for (TNetConnection* connection : connections)
        if (LiveConnections().contains(connection))
            connection->KeepAlive(idleMs);
}

void TNetConnection::KeepAlive(int idleMs)
{
    // Only a connection the screen holds open, and left alone for a while.
    if (!m_wanted || (m_lastUse.isValid() && m_lastUse.elapsed() < idleMs))
        return;
    m_lastUse.start();
    if (m_transport && m_transport->IsOpen()) {
        try {
            m_transport->Call(u"Ping"_s, {});
        } catch (const Exception&) {
            // A refusal (an older server without Ping) still answered.
            if (!m_transport->IsOpen())
                DropLost();
        }
        return;
    }
    // The wire is closed (the server ended the idle session, or went
    // away): whether its port still takes connections, without a session.
    IAppServerTransport* probe = m_transport.get();
    std::unique_ptr<IAppServerTransport> own;
    if (!probe) {
        own = Factory() ? Factory()(m_serverName) : MakeRpcTransport();
        probe = own.get();
    }
    const bool up = probe->Reachable(m_host, m_port);
    if (up && m_transport) {
        // The next call opens a new wire, as after any idle close.
        m_transport->Close();
        m_transport.reset();
    }
    if (up && m_lost) {
        m_lost = false;
        Report(TConnectionStatus::TState::Reconnected);
    } else if (!up && !m_lost) {
        DropLost();
    }
}

QString TNetConnection::Address() const
{
    return TServerAddress{m_host, m_port}.Text();
}

bool TNetConnection::Connected() const
{
    return m_transport && m_transport->IsOpen();
}

void TNetConnection::Report(TConnectionStatus::TState state) const
{
    Report(state, Address());
}

void TNetConnection::Report(TConnectionStatus::TState state, const QString& address,
                            const QString& message) const
{
    if (StatusHandler())
        StatusHandler()({state, m_serverName, address, message});
}

QList<TServerAddress> TNetConnection::Candidates() const
{
    const TServerAddress aimed{m_host, m_port};
    QList<TServerAddress> servers = WebServers();
    if (servers.size() < 2 || !servers.contains(aimed))
        return {aimed};
    qsizetype start = servers.indexOf(LastServer());
    if (start < 0)
        start = servers.indexOf(aimed);
    std::rotate(servers.begin(), servers.begin() + start, servers.end());
    return servers;
}

void TNetConnection::OpenFirstAnswering(IAppServerTransport& transport)
{
    const QList<TServerAddress> candidates = Candidates();
    m_tried.clear();
    QStringList failures;
    for (const TServerAddress& server : candidates) {
        m_host = server.Host;
        m_port = server.Port;
        m_tried << Address();
        try {
            transport.Open(server.Host, server.Port);
            SetLastServer(server);
            return;
        } catch (const ETlsError&) {
            // A refused certificate, or a server that would not finish the
            // handshake, says something about that server, not that it is
            // away: it is shown, never passed over for the next.
            throw;
        } catch (const EConnectionError& e) {
            if (candidates.size() == 1)
                throw;
            failures << e.Message();
        }
    }
    m_host = candidates.first().Host;
    m_port = candidates.first().Port;
    throw EConnectionError(
        u"Nenhum servidor de aplicação respondeu:\n%1"_s.arg(failures.join(u'\n')));
}

void TNetConnection::SetConnected(bool connected)
{
    if (!connected)
        m_wanted = false; // the keep-alive leaves it alone from now on
    if (connected == Connected())
        return;
    if (!connected) {
        m_wanted = false;
        m_transport->Close();
        m_transport.reset();
        if (AfterDisconnect)
            AfterDisconnect(this);
        return;
    }
    if (BeforeConnect)
        BeforeConnect(this);
    std::unique_ptr<IAppServerTransport> transport =
        Factory() ? Factory()(m_serverName) : MakeRpcTransport();
    try {
        OpenFirstAnswering(*transport);
    } catch (const EConnectionError&) {
        // A server that does not answer is a lost connection for the host;
        // a refused login is not.
        m_lost = true;
        Report(TConnectionStatus::TState::Lost, m_tried.join(u", "_s));
        throw;
    } catch (const Exception& e) {
        // A server that answered and refused: the host shows why.
        Report(TConnectionStatus::TState::Refused, Address(), e.Message());
        throw;
    }
    m_transport = std::move(transport);
    // A connection made again may find other roles: the screen follows.
    const bool told = m_roles.has_value();
    std::optional<QStringList> roles = m_transport->Roles();
    const bool changed = told && roles != m_roles;
    m_roles = std::move(roles);
    m_wanted = true;
    Report(m_lost ? TConnectionStatus::TState::Reconnected : TConnectionStatus::TState::Connected);
    m_lost = false;
    if (changed && OnRolesChanged)
        OnRolesChanged(this);
    if (AfterConnect)
        AfterConnect(this);
}

bool TNetConnection::HoldsAny(TRoles roles) const
{
    return !m_roles || (RolesOfNames(*m_roles) & roles);
}

void TNetConnection::DropLost()
{
    if (m_transport) {
        m_transport->Close();
        m_transport.reset();
    }
    m_lost = true;
    Report(TConnectionStatus::TState::Lost);
}

void TNetConnection::Reconnect()
{
    if (m_transport)
        DropLost();
    try {
        SetConnected(true);
    } catch (const ETlsError&) {
        // A refused certificate is not a server away: its reason stands.
        throw;
    } catch (const EConnectionError&) {
        NoConnection();
    }
}

void TNetConnection::NoConnection() const
{
    // The socket's own text means little to the user; the address says
    // which server is away.
    if (m_tried.size() > 1)
        throw Exception(u"Sem conexão com os servidores de aplicação em %1. Verifique se "
                        "algum deles está no ar e tente de novo."_s.arg(m_tried.join(u", "_s)));
    throw Exception(u"Sem conexão com o servidor de aplicação em %1. Verifique se o "
                    "servidor está no ar e tente de novo."_s.arg(Address()));
}

QString TNetConnection::WriteKey(const QString& method, const QJsonArray& params)
{
    if (!IsKeyedWrite(method))
        return {};
    if (m_pendingWrite.Method != method || m_pendingWrite.Params != params)
        m_pendingWrite = {method, params, QUuid::createUuid().toString(QUuid::WithoutBraces)};
    return m_pendingWrite.Key;
}

QJsonValue TNetConnection::CallServer(const QString& method, const QJsonArray& params)
{
    if (!Connected() && !m_wanted)
        throw Exception(u"Sem conexão com o servidor de aplicação em %1."_s.arg(Address()));
    m_lastUse.start();
    const QString key = WriteKey(method, params);
    // A call whose connection is lost on the way is sent once more on a new
    // connection: a read is harmless to repeat, and a write goes with the
    // same key, which the server answers from its reply if it was applied.
    for (int attempt = 0;; ++attempt) {
        if (!Connected())
            Reconnect();
        try {
            const QJsonValue result = key.isEmpty() ? m_transport->Call(method, params)
                                                    : m_transport->CallKeyed(method, params, key);
            m_pendingWrite = {};
            TakeRoles();
            return result;
        } catch (const Exception& e) {
            if (m_transport->IsOpen()) {
                // The server answered: the outcome is known.
                m_pendingWrite = {};
                TakeRoles();
                if (const auto* rpc = dynamic_cast<const ERpcError*>(&e);
                    rpc && rpc->Code() == rpc::kRoleMissing)
                    RefusedForRole(method, params);
                throw;
            }
            DropLost();
            if (attempt > 0)
                NoConnection();
        }
    }
}

void TNetConnection::TakeRoles()
{
    std::optional<QStringList> roles = m_transport ? m_transport->Roles() : std::nullopt;
    if (!roles || roles == m_roles)
        return;
    m_roles = std::move(roles);
    if (OnRolesChanged)
        OnRolesChanged(this);
}

void TNetConnection::RefusedForRole(const QString& method, const QJsonArray& params) const
{
    // What the operator tried, in the policy's words, and the role it
    // needs; the method's name means nothing to them.
    const QString action = method == u"SetStatusCHT" ? params.at(1).toString() : QString();
    const QString doing = CallDoing(method, action);
    if (!doing.isEmpty())
        throw ERpcError(rpc::kRoleMissing, RoleRefusedText(doing, CallRoles(method, action)));
}

bool TNetConnection::RefreshRoles()
{
    if (!m_transport || !m_transport->IsOpen())
        return false;
    const std::optional<QStringList> before = m_roles;
    try {
        CallServer(u"GetRoles"_s, {});
    } catch (const ERpcError& e) {
        // A server that predates GetRoles keeps the roles of its Login.
        if (e.Code() != rpc::kMethodNotFound)
            throw;
    }
    return m_roles != before;
}

QJsonValue TAppServer::Call(const QString& method, const QJsonArray& params) const
{
    return m_connection->CallServer(method, params);
}

} // namespace aph
