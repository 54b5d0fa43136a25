#include "host/data/exceptions.h"
#include "host/framework/environment.h"
#include "host/framework/netconnection.h"
#include "service/rpcclient.h"
#include "tests/support/text.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

using namespace aph;

namespace {

struct Log
{
    QStringList opened;
    QStringList calls;
};

class FakeTransport : public IAppServerTransport
{
public:
    explicit FakeTransport(Log& log) : m_log(log) {}
    void Open(const QString& host, int port) override
    {
        if (host == u"offline")
            throw Exception(u"Servidor indisponível."_s);
        if (host == u"down")
            throw EConnectionError(u"Não foi possível conectar ao servidor down:%1."_s.arg(port));
        if (host == u"expired")
            throw ETlsError(
                u"O certificado do servidor expired:%1 expirou em 01/01/2021."_s.arg(port));
        m_log.opened << u"%1:%2"_s.arg(host).arg(port);
        m_open = true;
    }
    void Close() override { m_open = false; }
    bool IsOpen() const override { return m_open; }
    QJsonValue Call(const QString& method, const QJsonArray& params) override
    {
        m_log.calls << method + u'/' + QString::number(params.size());
        if (method == u"Drop") {
            m_open = false;
            throw EConnectionError(u"A conexão com o servidor foi perdida."_s);
        }
        return QJsonValue(method);
    }

private:
    Log& m_log;
    bool m_open = false;
};

struct Connection : ::testing::Test
{
    Log log;
    TNetConnection net{u"netAprovCsa"_s};
    void SetUp() override
    {
        SetTransportFactory([this](const QString& server) {
            EXPECT_EQ(server, u"APH31500.rdmAprovCsaFat"_s);
            return std::make_unique<FakeTransport>(log);
        });
        net.SetServerName(u"APH31500.rdmAprovCsaFat"_s);
        net.SetThrowException(false);
        net.BeforeConnect = [this](TObject*) {
            net.SetHost(WebURL());
            net.SetPort(WebPort());
        };
    }
    void TearDown() override { SetTransportFactory(nullptr); }
};

} // namespace

TEST_F(Connection, HostAndPortAreReadAtEveryConnect)
{
    SetHostEnvironment({u"OPER"_s, u"01"_s, u"10.0.0.5"_s, 9000, {}, {}});
    net.SetConnected(true);
    EXPECT_TRUE(net.Connected());
    net.SetConnected(false);
    SetHostEnvironment({u"OPER"_s, u"01"_s, u"10.0.0.6"_s, 9100, {}, {}});
    net.SetConnected(true);
    EXPECT_EQ(log.opened, (QStringList{u"10.0.0.5:9000"_s, u"10.0.0.6:9100"_s}));
}

TEST_F(Connection, CallsGoByNameWithTheirArguments)
{
    SetHostEnvironment({u"OPER"_s, u"01"_s, u"127.0.0.1"_s, 8090, {}, {}});
    EXPECT_THROW(net.AppServer().Call(u"GetProp"_s, {}), Exception) << "no call before connecting";
    net.SetConnected(true);
    EXPECT_EQ(net.AppServer().Call(u"GetProp"_s, {u"01"_s, u""_s, u"T"_s}).toString(),
              u"GetProp"_s);
    EXPECT_EQ(log.calls, QStringList{u"GetProp/3"_s});
}

TEST_F(Connection, AFailedConnectLeavesItDisconnected)
{
    SetHostEnvironment({u"OPER"_s, u"01"_s, u"offline"_s, 8090, {}, {}});
    EXPECT_THROW(net.SetConnected(true), Exception);
    EXPECT_FALSE(net.Connected());
    // Without a factory the real client is used: nobody listens on port 1.
    SetTransportFactory(nullptr);
    SetHostEnvironment({u"OPER"_s, u"01"_s, u"127.0.0.1"_s, 1, {}, {}});
    EXPECT_THROW(net.SetConnected(true), Exception);
    EXPECT_FALSE(net.Connected());
}

TEST_F(Connection, TheRealClientTakesTlsFromTheEnvironment)
{
    // The authority is read before anything goes on the wire: a missing
    // one is refused with its name, whatever listens at the address.
    SetTransportFactory(nullptr);
    THostEnvironment env{u"OPER"_s, u"01"_s, u"127.0.0.1"_s, 1, {}, {}};
    env.Tls = true;
    env.CaFile = u"/nonexistent/aph-ca.pem"_s;
    SetHostEnvironment(env);
    try {
        net.SetConnected(true);
        ADD_FAILURE() << "connected";
    } catch (const ETlsError& e) {
        EXPECT_TRUE(e.Message().contains(u"/nonexistent/aph-ca.pem"_s)) << e.what();
    }
    EXPECT_FALSE(net.Connected());
    // The same wire without TLS fails on the socket instead.
    env.Tls = false;
    env.CaFile.clear();
    SetHostEnvironment(env);
    try {
        net.SetConnected(true);
        ADD_FAILURE() << "connected";
    } catch (const ETlsError& e) {
        ADD_FAILURE() << e.what();
    } catch (const EConnectionError& e) {
        EXPECT_FALSE(e.Message().contains(u"autoridade"_s)) << e.what();
    }
}

TEST_F(Connection, ARefusedCertificateOnReconnectKeepsItsReason)
{
    SetHostEnvironment({u"OPER"_s, u"01"_s, u"10.0.0.5"_s, 9000, {}, {}});
    net.SetConnected(true);
    // The connection drops; the server found again has a bad certificate.
    SetHostEnvironment({u"OPER"_s, u"01"_s, u"expired"_s, 9000, {}, {}});
    try {
        net.AppServer().Call(u"Drop"_s, {});
        ADD_FAILURE() << "no failure";
    } catch (const Exception& e) {
        EXPECT_TRUE(e.Message().contains(u"expirou em 01/01/2021"_s)) << e.what();
    }
    EXPECT_FALSE(net.Connected());
}

TEST_F(Connection, OnlyAConnectionAimedAtTheHostsServersMovesAlongTheirList)
{
    THostEnvironment env{u"OPER"_s, u"01"_s, u"down"_s, 9000, {}, {}};
    env.Servers = {{u"down"_s, 9000}, {u"10.0.0.6"_s, 9100}};
    SetHostEnvironment(env);
    net.SetConnected(true);
    EXPECT_EQ(log.opened, QStringList{u"10.0.0.6:9100"_s});
    EXPECT_EQ(net.Address(), u"10.0.0.6:9100"_s);
    net.SetConnected(false);

    // An address of its own: that one alone, its failure as it came.
    net.BeforeConnect = [this](TObject*) {
        net.SetHost(u"down"_s);
        net.SetPort(9200);
    };
    try {
        net.SetConnected(true);
        ADD_FAILURE() << "connected";
    } catch (const EConnectionError& e) {
        EXPECT_EQ(e.Message(), u"Não foi possível conectar ao servidor down:9200."_s);
    }
    EXPECT_EQ(log.opened.size(), 1);

    // A failure that is not the wire's stops at the server that gave it.
    env.Servers = {{u"offline"_s, 9000}, {u"10.0.0.6"_s, 9100}};
    SetHostEnvironment(env);
    net.BeforeConnect = [this](TObject*) {
        net.SetHost(u"offline"_s);
        net.SetPort(9000);
    };
    EXPECT_THROW(net.SetConnected(true), Exception);
    EXPECT_FALSE(net.Connected());
    EXPECT_EQ(log.opened.size(), 1);
}
