#include "host/framework/netconnection.h"

#include "host/data/exceptions.h"
#include "host/data/scopeguard.h"
#include "host/framework/environment.h"
#include "service/rpcclient.h"

using namespace Qt::StringLiterals;

namespace aph {

namespace {

TTransportFactory& Factory()
{
    static TTransportFactory factory;
    return factory;
}

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
        m_client.Connect(host, static_cast<quint16>(port));
        const THostEnvironment& env = HostEnvironment();
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

TNetConnection::TNetConnection(QString name) : TComponent(std::move(name)) {}

TNetConnection::~TNetConnection()
{
    if (m_transport)
        m_transport->Close();
}

bool TNetConnection::Connected() const
{
    return m_transport && m_transport->IsOpen();
}

void TNetConnection::SetConnected(bool connected)
{
    if (connected == Connected())
        return;
    if (!connected) {
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
    transport->Open(m_host, m_port);
    m_transport = std::move(transport);
    if (AfterConnect)
        AfterConnect(this);
}

QJsonValue TAppServer::Call(const QString& method, const QJsonArray& params) const
{
    if (!m_connection->Connected())
        throw Exception(
            u"Sem conexão com o servidor de aplicação (%1)."_s.arg(m_connection->ServerName()));
    return m_connection->m_transport->Call(method, params);
}

} // namespace aph
