#include "host/framework/netconnection.h"

#include "host/data/exceptions.h"

namespace aph {

namespace {

TTransportFactory& Factory()
{
    static TTransportFactory factory;
    return factory;
}

} // namespace

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
    if (!Factory())
        throw Exception(QStringLiteral("Não há meio de conexão com o servidor de aplicação."));
    std::unique_ptr<IAppServerTransport> transport = Factory()(m_serverName);
    transport->Open(m_host, m_port);
    m_transport = std::move(transport);
    if (AfterConnect)
        AfterConnect(this);
}

QJsonValue TAppServer::Call(const QString& method, const QJsonArray& params) const
{
    if (!m_connection->Connected())
        throw Exception(QStringLiteral("Sem conexão com o servidor de aplicação (%1).")
                            .arg(m_connection->ServerName()));
    return m_connection->m_transport->Call(method, params);
}

} // namespace aph
