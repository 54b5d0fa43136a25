#include "host/data/exceptions.h"
#include "host/framework/environment.h"
#include "host/framework/netconnection.h"
#include "tests/support/text.h"

#include <gtest/gtest.h>

using namespace aph;
using aph::test::S;

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
            throw Exception(S("Servidor indisponível."));
        m_log.opened << QStringLiteral("%1:%2").arg(host).arg(port);
        m_open = true;
    }
    void Close() override { m_open = false; }
    bool IsOpen() const override { return m_open; }
    QJsonValue Call(const QString& method, const QJsonArray& params) override
    {
        m_log.calls << method + u'/' + QString::number(params.size());
        return QJsonValue(method);
    }

private:
    Log& m_log;
    bool m_open = false;
};

struct Connection : ::testing::Test
{
    Log log;
    TNetConnection net{S("netAprovCsa")};
    void SetUp() override
    {
        SetTransportFactory([this](const QString& server) {
            EXPECT_EQ(server, S("APH31500.rdmAprovCsaFat"));
            return std::make_unique<FakeTransport>(log);
        });
        net.SetServerName(S("APH31500.rdmAprovCsaFat"));
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
    SetHostEnvironment({S("OPER"), S("01"), S("10.0.0.5"), 9000, {}, {}});
    net.SetConnected(true);
    EXPECT_TRUE(net.Connected());
    net.SetConnected(false);
    SetHostEnvironment({S("OPER"), S("01"), S("10.0.0.6"), 9100, {}, {}});
    net.SetConnected(true);
    EXPECT_EQ(log.opened, (QStringList{S("10.0.0.5:9000"), S("10.0.0.6:9100")}));
}

TEST_F(Connection, CallsGoByNameWithTheirArguments)
{
    SetHostEnvironment({S("OPER"), S("01"), S("127.0.0.1"), 8090, {}, {}});
    EXPECT_THROW(net.AppServer().Call(S("GetProp"), {}), Exception) << "no call before connecting";
    net.SetConnected(true);
    EXPECT_EQ(net.AppServer().Call(S("GetProp"), {S("01"), S(""), S("T")}).toString(),
              S("GetProp"));
    EXPECT_EQ(log.calls, QStringList{S("GetProp/3")});
}

TEST_F(Connection, AFailedConnectLeavesItDisconnected)
{
    SetHostEnvironment({S("OPER"), S("01"), S("offline"), 8090, {}, {}});
    EXPECT_THROW(net.SetConnected(true), Exception);
    EXPECT_FALSE(net.Connected());
    // Without a factory the real client is used: nobody listens on port 1.
    SetTransportFactory(nullptr);
    SetHostEnvironment({S("OPER"), S("01"), S("127.0.0.1"), 1, {}, {}});
    EXPECT_THROW(net.SetConnected(true), Exception);
    EXPECT_FALSE(net.Connected());
}
