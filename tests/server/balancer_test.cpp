// aph-server behind HAProxy sending the PROXY protocol: each client is
// known by its own address, so that one address's limit does not fall on
// the whole firm behind the balancer; a header is believed only from the
// balancer named in --trusted-proxy, and the balancer must send one.
#include "tests/support/serverfixture.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

int ErrorOf(const QByteArray& line)
{
    return QJsonDocument::fromJson(line)
        .object()
        .value(u"error"_s)
        .toObject()
        .value(u"code"_s)
        .toInt();
}

QByteArray LoginLine(const QString& op, const QString& token)
{
    return QJsonDocument(QJsonObject{{u"jsonrpc"_s, u"2.0"_s},
                                     {u"id"_s, 1},
                                     {u"method"_s, u"Login"_s},
                                     {u"params"_s, QJsonArray{op, token}}})
        .toJson(QJsonDocument::Compact);
}

// A raw connection from a loopback address of the test's choosing.
class TPeer
{
public:
    TPeer(quint16 port, const char* from)
    {
        m_socket.bind(QHostAddress(QString::fromLatin1(from)));
        m_socket.connectToHost(u"127.0.0.1"_s, port);
        m_socket.waitForConnected(5000);
    }
    // The reply to the line, or empty when the connection closed first.
    QByteArray Exchange(const QByteArray& line)
    {
        m_socket.write(line + '\n');
        m_socket.waitForBytesWritten(2000);
        return Line();
    }
    QByteArray Line()
    {
        const QDeadlineTimer deadline(10000);
        while (!m_socket.canReadLine() && !deadline.hasExpired() &&
               m_socket.state() == QAbstractSocket::ConnectedState)
            m_socket.waitForReadyRead(100);
        return m_socket.canReadLine() ? m_socket.readLine().trimmed() : QByteArray();
    }

private:
    QTcpSocket m_socket;
};

quint16 FreePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress(u"127.0.0.1"_s), 0);
    return probe.serverPort();
}

class BalancerTest : public ServerTest
{
protected:
    void SetUp() override
    {
        if (TTestDatabase::UsesPostgres())
            GTEST_SKIP() << "addresses are the same on every database";
        if (QStandardPaths::findExecutable(u"haproxy"_s, {u"/usr/sbin"_s, u"/usr/bin"_s}).isEmpty())
            GTEST_SKIP() << "haproxy is not installed";
        ServerTest::SetUp();
    }
    void TearDown() override
    {
        if (m_haproxy.state() != QProcess::NotRunning) {
            m_haproxy.kill();
            m_haproxy.waitForFinished(5000);
        }
        ServerTest::TearDown();
    }
    // HAProxy in TCP mode in front of the test's server, as
    // docs/operations.md configures it, connecting from 127.0.0.10 (the
    // test's own client connects directly from 127.0.0.1); its port.
    quint16 StartBalancer()
    {
        const quint16 port = FreePort();
        const QString config = m_dir.filePath(u"haproxy.cfg"_s);
        QFile f(config);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(u"defaults\n  mode tcp\n  timeout connect 2s\n  timeout client 1m\n"
                "  timeout server 1m\nfrontend aph\n  bind 127.0.0.1:%1\n"
                "  default_backend aph_servers\nbackend aph_servers\n"
                "  server s1 127.0.0.1:%2 source 127.0.0.10 send-proxy-v2\n"_s.arg(port)
                    .arg(m_server->Port())
                    .toUtf8());
        f.close();
        m_haproxy.setProcessChannelMode(QProcess::MergedChannels);
        m_haproxy.start(QStandardPaths::findExecutable(u"haproxy"_s, {u"/usr/sbin"_s}),
                        {u"-db"_s, u"-f"_s, config});
        const QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired()) {
            QTcpSocket probe;
            probe.connectToHost(u"127.0.0.1"_s, port);
            if (probe.waitForConnected(200))
                return port;
            QThread::msleep(50);
        }
        ADD_FAILURE() << "haproxy did not listen: " << m_haproxy.readAll().toStdString();
        return port;
    }

    QTemporaryDir m_dir;
    QProcess m_haproxy;
};

} // namespace

TEST_F(BalancerTest, ClientsAreCountedByTheirOwnAddressesAndOnlyTheBalancerIsBelieved)
{
    StartServer({u"--trusted-proxy"_s, u"127.0.0.10"_s, u"--max-per-address"_s, u"2"_s});
    const quint16 port = StartBalancer();
    // Two places for 127.0.0.2, and the third is refused with the reason...
    TPeer first(port, "127.0.0.2");
    TPeer second(port, "127.0.0.2");
    EXPECT_EQ(ErrorOf(first.Exchange(LoginLine(u"ANA"_s, m_token))), 0);
    EXPECT_EQ(ErrorOf(second.Exchange(LoginLine(u"ANA"_s, m_token))), 0);
    TPeer third(port, "127.0.0.2");
    const QByteArray refusal = third.Line();
    EXPECT_EQ(ErrorOf(refusal), -32002) << refusal.constData();
    EXPECT_TRUE(refusal.contains("endere")) << refusal.constData();
    // ...while 127.0.0.3, through the same balancer, has places of its own.
    TPeer other(port, "127.0.0.3");
    EXPECT_EQ(ErrorOf(other.Exchange(LoginLine(u"ANA"_s, m_token))), 0);

    // From anywhere else a header is no header: it is a malformed request,
    // and the peer keeps its own address.
    TPeer claimer(m_server->Port(), "127.0.0.4");
    EXPECT_EQ(ErrorOf(claimer.Exchange("PROXY TCP4 127.0.0.8 127.0.0.1 1000 8090\r")), -32700);
    EXPECT_EQ(ErrorOf(claimer.Exchange(LoginLine(u"ANA"_s, m_token))), 0);
    // The trusted balancer's connection without a header is closed, with a
    // line in the log; with a header, it is the client's.
    TPeer headless(m_server->Port(), "127.0.0.10");
    EXPECT_TRUE(headless.Exchange(LoginLine(u"ANA"_s, m_token)).isEmpty());
    TPeer proxied(m_server->Port(), "127.0.0.10");
    EXPECT_EQ(ErrorOf(proxied.Exchange("PROXY TCP4 127.0.0.9 127.0.0.1 1000 8090\r\n" +
                                       LoginLine(u"ANA"_s, m_token))),
              0);

    const QString log = m_server->Log(u"origem=127.0.0.9"_s);
    EXPECT_EQ(log.count(u"origem=127.0.0.2 operador=ANA metodo=Login"_s), 2) << log.toStdString();
    EXPECT_TRUE(log.contains(u"conexão de 127.0.0.2 via 127.0.0.10 recusada"_s))
        << log.toStdString();
    EXPECT_TRUE(log.contains(u"origem=127.0.0.3 "_s) && log.contains(u"origem=127.0.0.4 "_s))
        << log.toStdString();
    EXPECT_FALSE(log.contains(u"origem=127.0.0.10 "_s) || log.contains(u"origem=127.0.0.8"_s))
        << log.toStdString();
    EXPECT_TRUE(log.contains(u"conexão de 127.0.0.10 encerrada: a conexão não começa com um "
                             "cabeçalho PROXY"_s))
        << log.toStdString();
}
