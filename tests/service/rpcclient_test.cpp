// The client transport against peers that misbehave: nobody listening, a
// server that never answers, one that answers another call, and the result
// check of the replies the screens pass through it.
#include "service/rpcclient.h"

#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <future>
#include <thread>

using namespace aph;

namespace {

QString S(const char* s)
{
    return QString::fromUtf8(s);
}

// A one-connection peer on its own thread: reads one request line, then
// sends `reply` (if any) and keeps the connection open for `holdMs`.
class TFakePeer
{
public:
    TFakePeer(QByteArray reply, int holdMs)
    {
        std::promise<quint16> port;
        m_port = port.get_future();
        m_thread = std::thread([this, reply, holdMs, p = std::move(port)]() mutable {
            QTcpServer server;
            server.listen(QHostAddress::LocalHost, 0);
            p.set_value(server.serverPort());
            if (!server.waitForNewConnection(5000))
                return;
            std::unique_ptr<QTcpSocket> socket(server.nextPendingConnection());
            while (!socket->canReadLine() && socket->waitForReadyRead(5000)) {
            }
            if (!reply.isEmpty()) {
                socket->write(reply + '\n');
                socket->waitForBytesWritten(1000);
            }
            socket->waitForDisconnected(holdMs);
        });
    }
    ~TFakePeer() { m_thread.join(); }
    quint16 Port() { return m_port.get(); }

private:
    std::future<quint16> m_port;
    std::thread m_thread;
};

} // namespace

TEST(RpcClient, NobodyListeningIsAConnectionError)
{
    quint16 port = 0;
    {
        QTcpServer probe; // a port that was free a moment ago
        probe.listen(QHostAddress::LocalHost, 0);
        port = probe.serverPort();
    }
    TRpcClient client;
    try {
        client.Connect(S("127.0.0.1"), port);
        ADD_FAILURE();
    } catch (const EConnectionError& e) {
        EXPECT_TRUE(e.Message().contains(S("Não foi possível conectar"))) << e.what();
    }
    EXPECT_FALSE(client.IsConnected());
    EXPECT_THROW(client.Call(S("GetProp"), {}), EConnectionError);
}

TEST(RpcClient, AServerThatNeverAnswersTimesOutAndDisconnects)
{
    TFakePeer peer({}, 3000);
    TRpcClient client;
    client.CallTimeoutMs = 200;
    client.Connect(S("127.0.0.1"), peer.Port());
    try {
        client.Call(S("GetProp"), {S("0001"), QString(), S("T")});
        ADD_FAILURE();
    } catch (const EConnectionError& e) {
        EXPECT_TRUE(e.Message().contains(S("200 ms"))) << e.what();
    }
    EXPECT_FALSE(client.IsConnected());
}

TEST(RpcClient, AReplyToAnotherCallIsALostConnection)
{
    TFakePeer peer(R"({"jsonrpc":"2.0","id":999,"result":{"ok":true,"data":null}})", 1000);
    TRpcClient client;
    client.Connect(S("127.0.0.1"), peer.Port());
    EXPECT_THROW(client.Call(S("SetCSA"), {QJsonObject()}), EConnectionError);
    EXPECT_FALSE(client.IsConnected());
}

TEST(RpcClient, AnErrorReplyCarriesTheServersCodeAndMessage)
{
    TFakePeer peer(R"({"jsonrpc":"2.0","id":1,"error":{"code":-32000,"message":"Faça o Login."}})",
                   1000);
    TRpcClient client;
    client.Connect(S("127.0.0.1"), peer.Port());
    try {
        client.Call(S("GetProp"), {});
        ADD_FAILURE();
    } catch (const ERpcError& e) {
        EXPECT_EQ(e.Code(), -32000);
        EXPECT_EQ(e.Message(), S("Faça o Login."));
    }
}

TEST(CheckedPacket, RefusalsRaiseTheirMessageAndDataIsDecoded)
{
    try {
        CheckedPacket(QJsonObject{{S("ok"), false}, {S("message"), S("Recusado.")}});
        ADD_FAILURE();
    } catch (const ERefused& e) {
        EXPECT_EQ(e.Message(), S("Recusado."));
    }
    EXPECT_TRUE(
        CheckedPacket(QJsonObject{{S("ok"), true}, {S("data"), QJsonValue()}}).Fields.isEmpty());
    const TDataPacket p = CheckedPacket(QJsonObject{
        {S("ok"), true},
        {S("data"), QJsonObject{{S("fields"), QJsonArray{QJsonObject{{S("name"), S("CDFUNC")},
                                                                     {S("type"), S("string")},
                                                                     {S("size"), 10}}}},
                                {S("rows"), QJsonArray{QJsonArray{S("F1")}}}}}});
    ASSERT_EQ(p.Rows.size(), 1u);
    EXPECT_EQ((*p.Rows[0])[0].ToString(), S("F1"));
    EXPECT_THROW(CheckedPacket(QJsonObject{{S("data"), QJsonValue()}}), EDatabaseError);
    EXPECT_THROW(CheckedPacket(QJsonObject{{S("ok"), true}, {S("data"), S("x")}}), EDatabaseError);
}
