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

using namespace Qt::StringLiterals;

using namespace aph;

namespace {

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
        client.Connect(u"127.0.0.1"_s, port);
        ADD_FAILURE();
    } catch (const EConnectionError& e) {
        EXPECT_TRUE(e.Message().contains(u"Não foi possível conectar"_s)) << e.what();
        EXPECT_TRUE(e.Message().endsWith(u"o servidor recusou a conexão (não está no ar nesse "
                                         "endereço?)"_s))
            << "the reason in Portuguese, not the socket's English: " << e.what();
    }
    EXPECT_FALSE(client.IsConnected());
    EXPECT_THROW(client.Call(u"GetProp"_s, {}), EConnectionError);
}

TEST(RpcClient, AServerThatNeverAnswersTimesOutAndDisconnects)
{
    TFakePeer peer({}, 3000);
    TRpcClient client;
    client.CallTimeoutMs = 200;
    client.Connect(u"127.0.0.1"_s, peer.Port());
    try {
        client.Call(u"GetProp"_s, {u"0001"_s, QString(), u"T"_s});
        ADD_FAILURE();
    } catch (const EConnectionError& e) {
        EXPECT_TRUE(e.Message().contains(u"200 ms"_s)) << e.what();
    }
    EXPECT_FALSE(client.IsConnected());
}

TEST(RpcClient, AReplyToAnotherCallIsALostConnection)
{
    TFakePeer peer(R"({"jsonrpc":"2.0","id":999,"result":{"ok":true,"data":null}})", 1000);
    TRpcClient client;
    client.Connect(u"127.0.0.1"_s, peer.Port());
    EXPECT_THROW(client.Call(u"SetCSA"_s, {QJsonObject()}), EConnectionError);
    EXPECT_FALSE(client.IsConnected());
}

TEST(RpcClient, AnErrorReplyCarriesTheServersCodeAndMessage)
{
    TFakePeer peer(R"({"jsonrpc":"2.0","id":1,"error":{"code":-32000,"message":"Faça o Login."}})",
                   1000);
    TRpcClient client;
    client.Connect(u"127.0.0.1"_s, peer.Port());
    try {
        client.Call(u"GetProp"_s, {});
        ADD_FAILURE();
    } catch (const ERpcError& e) {
        EXPECT_EQ(e.Code(), -32000);
        EXPECT_EQ(e.Message(), u"Faça o Login."_s);
    }
}

TEST(CheckedPacket, RefusalsRaiseTheirMessageAndDataIsDecoded)
{
    try {
        CheckedPacket(QJsonObject{{u"ok"_s, false}, {u"message"_s, u"Recusado."_s}});
        ADD_FAILURE();
    } catch (const EServerError& e) {
        EXPECT_EQ(e.Message(), u"Recusado."_s);
    }
    EXPECT_TRUE(
        CheckedPacket(QJsonObject{{u"ok"_s, true}, {u"data"_s, QJsonValue()}}).Fields.isEmpty());
    const TDataPacket p = CheckedPacket(QJsonObject{
        {u"ok"_s, true},
        {u"data"_s, QJsonObject{{u"fields"_s, QJsonArray{QJsonObject{{u"name"_s, u"CDFUNC"_s},
                                                                     {u"type"_s, u"string"_s},
                                                                     {u"size"_s, 10}}}},
                                {u"rows"_s, QJsonArray{QJsonArray{u"F1"_s}}}}}});
    ASSERT_EQ(p.Rows.size(), 1u);
    EXPECT_EQ((*p.Rows[0])[0].ToString(), u"F1"_s);
    // A reply without the success flag is the server's fault, not the data's.
    EXPECT_THROW(CheckedPacket(QJsonObject{{u"data"_s, QJsonValue()}}), EServerError);
    EXPECT_THROW(CheckedPacket(QJsonObject{{u"ok"_s, true}, {u"data"_s, u"x"_s}}), EDatabaseError);
}
