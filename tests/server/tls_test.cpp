// TLS between the client and the server: the handshake and a call, the
// certificate checks the client makes, the server's deadline for a
// handshake, and the options that turn TLS on or refuse to go without it.
#include "tests/support/serverfixture.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QTcpSocket>

#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

const QJsonArray kPropAll{u"0001"_s, QString(), u"T"_s};

QString Fixture(const QString& name)
{
    return QStringLiteral(APH_TLS_FIXTURES) + u'/' + name;
}

// The server's TLS options with the fixtures NAME.pem and NAME.key.
QStringList TlsArgs(const QString& name)
{
    return {u"--tls-cert"_s, Fixture(name + u".pem"), u"--tls-key"_s, Fixture(name + u".key")};
}

// The first line aph-server prints (or its error output when it ends
// without one); the server is stopped afterwards.
QString FirstLine(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral(APH_SERVER_BIN), args);
    const QDeadlineTimer deadline(30000);
    while (!p.canReadLine() && p.state() != QProcess::NotRunning && !deadline.hasExpired())
        p.waitForReadyRead(100);
    const QString line = p.canReadLine() ? QString::fromUtf8(p.readLine()).trimmed()
                                         : QString::fromUtf8(p.readAllStandardError());
    p.terminate();
    p.waitForFinished(10000);
    return line;
}

class TlsTest : public ServerTest
{
protected:
    void SetUp() override
    {
        if (TTestDatabase::UsesPostgres())
            GTEST_SKIP() << "TLS is the same on every database";
        ServerTest::SetUp();
    }
    void TearDown() override
    {
        m_tlsServer.reset();
        ServerTest::TearDown();
    }
    // A TLS server on the fixture certificate NAME, beside the plain one.
    quint16 StartTlsServer(const QString& name = u"server"_s)
    {
        m_tlsServer.reset();
        m_tlsServer = std::make_unique<TServerProcess>(m_db->Spec(), TlsArgs(name));
        return m_tlsServer->Port();
    }
    static std::unique_ptr<TRpcClient> TlsClient(const QString& caFile)
    {
        auto client = std::make_unique<TRpcClient>();
        client->Tls = {true, caFile};
        return client;
    }
    // The reason a TLS connect with this authority is refused; empty when
    // it connects.
    static QString TlsRefusal(const QString& caFile, const QString& host, quint16 port)
    {
        auto client = TlsClient(caFile);
        try {
            client->Connect(host, port);
        } catch (const ETlsError& e) {
            EXPECT_FALSE(client->IsConnected());
            return e.Message();
        }
        return {};
    }
    void ExpectServes(TRpcClient& client)
    {
        client.Login(u"ANA"_s, m_token);
        EXPECT_FALSE(Checked(client, u"GetProp"_s, kPropAll).Rows.empty());
    }

    std::unique_ptr<TServerProcess> m_tlsServer;
};

} // namespace

TEST_F(TlsTest, ACallGoesOverTlsByAddressAndByName)
{
    const quint16 port = StartTlsServer();
    for (const QString& host : {u"127.0.0.1"_s, u"localhost"_s}) {
        auto client = TlsClient(Fixture(u"ca.pem"_s));
        client->Connect(host, port);
        ExpectServes(*client);
    }
}

TEST_F(TlsTest, TheServerSaysItsTlsInItsFirstLine)
{
    const QString line = FirstLine(QStringList{u"serve"_s, m_db->Spec(), u"--port"_s, u"0"_s} +
                                   TlsArgs(u"server"_s));
    EXPECT_TRUE(line.startsWith(u"aph-server escutando em 127.0.0.1:"_s) &&
                line.endsWith(u" (TLS)"_s))
        << line.toStdString();
}

TEST_F(TlsTest, APlainClientIsRefusedAndTheServerServesTheNextOne)
{
    const quint16 port = StartTlsServer();
    TRpcClient plain;
    plain.Connect(u"127.0.0.1"_s, port); // TCP alone succeeds
    try {
        plain.Login(u"ANA"_s, m_token);
        ADD_FAILURE() << "a plain request was answered";
    } catch (const EConnectionError& e) {
        EXPECT_TRUE(e.Message().contains(u"TLS"_s)) << e.what();
    }
    // A connection that never begins its handshake is closed at the
    // server's deadline.
    QTcpSocket silent;
    silent.connectToHost(u"127.0.0.1"_s, port);
    ASSERT_TRUE(silent.waitForConnected(5000));
    const QDeadlineTimer deadline(30000);
    while (silent.state() != QAbstractSocket::UnconnectedState && !deadline.hasExpired())
        silent.waitForDisconnected(100);
    EXPECT_EQ(silent.state(), QAbstractSocket::UnconnectedState) << "still open after 30 s";
    auto client = TlsClient(Fixture(u"ca.pem"_s));
    client->Connect(u"127.0.0.1"_s, port);
    ExpectServes(*client);
}

TEST_F(TlsTest, ACertificateOfAnotherAuthorityIsRefused)
{
    const quint16 port = StartTlsServer();
    const QString address = u"127.0.0.1:%1"_s.arg(port);
    QString why = TlsRefusal(Fixture(u"other-ca.pem"_s), u"127.0.0.1"_s, port);
    EXPECT_TRUE(why.startsWith(u"O certificado do servidor "_s + address) &&
                why.contains(u"não foi emitido pela autoridade certificadora configurada"_s) &&
                why.contains(Fixture(u"other-ca.pem"_s)) && why.contains(u"recusada"_s))
        << why.toStdString();
    // Without an authority of its own the client trusts the system's,
    // which never signed the test authority.
    why = TlsRefusal(QString(), u"127.0.0.1"_s, port);
    EXPECT_TRUE(why.contains(address) && why.contains(u"sistema"_s)) << why.toStdString();
}

TEST_F(TlsTest, AnExpiredCertificateIsRefusedWithItsDate)
{
    const quint16 port = StartTlsServer(u"expired"_s);
    const QString why = TlsRefusal(Fixture(u"ca.pem"_s), u"127.0.0.1"_s, port);
    EXPECT_EQ(why, u"O certificado do servidor 127.0.0.1:%1 expirou em 01/01/2021; a conexão não "
                   "é segura e foi recusada."_s.arg(port));
}

TEST_F(TlsTest, AnAddressMustBeOneOfTheCertificatesIpNames)
{
    // Its common name is 127.0.0.1, but no alternative name is.
    const quint16 port = StartTlsServer(u"ipcn"_s);
    const QString why = TlsRefusal(Fixture(u"ca.pem"_s), u"127.0.0.1"_s, port);
    EXPECT_TRUE(why.contains(u"não corresponde ao endereço 127.0.0.1"_s)) << why.toStdString();
    // The name it does carry is no address of this server either.
    EXPECT_TRUE(TlsRefusal(Fixture(u"ca.pem"_s), u"localhost"_s, port)
                    .contains(u"não corresponde ao endereço localhost"_s));
}

TEST_F(TlsTest, ATlsClientOfAPlainServerFailsWithAMessage)
{
    auto client = TlsClient(Fixture(u"ca.pem"_s));
    client->ConnectTimeoutMs = 3000;
    try {
        client->Connect(u"127.0.0.1"_s, m_server->Port());
        ADD_FAILURE() << "connected";
    } catch (const ETlsError& e) {
        EXPECT_TRUE(e.Message().contains(u"TLS"_s) &&
                    e.Message().contains(u"127.0.0.1:%1"_s.arg(m_server->Port())))
            << e.what();
    }
    EXPECT_FALSE(client->IsConnected());
    ExpectServes(*NewClient(false)); // the plain server carries on
}

TEST_F(TlsTest, AnAuthorityFileThatCannotBeUsedIsNamed)
{
    const quint16 port = StartTlsServer();
    QString why = TlsRefusal(Fixture(u"absent.pem"_s), u"127.0.0.1"_s, port);
    EXPECT_TRUE(why.contains(u"(ca)"_s) && why.contains(Fixture(u"absent.pem"_s)) &&
                why.contains(u"não encontrado"_s))
        << why.toStdString();
    why = TlsRefusal(Fixture(u"make.sh"_s), u"127.0.0.1"_s, port);
    EXPECT_TRUE(why.contains(u"não contém um certificado"_s)) << why.toStdString();
}

TEST_F(TlsTest, WithoutTlsOnlyLoopbackUnlessInsecure)
{
    const QStringList anywhere{u"serve"_s,   m_db->Spec(), u"--listen"_s,
                               u"0.0.0.0"_s, u"--port"_s,  u"0"_s};
    QString out, err;
    EXPECT_EQ(RunServerCommand(anywhere, &out, &err), 2);
    EXPECT_TRUE(out.isEmpty()) << out.toStdString();
    EXPECT_TRUE(err.contains(u"--tls-cert"_s) && err.contains(u"--tls-key"_s) &&
                err.contains(u"--insecure"_s) && err.contains(u"0.0.0.0"_s))
        << err.toStdString();
    EXPECT_TRUE(FirstLine(anywhere + QStringList{u"--insecure"_s})
                    .startsWith(u"aph-server escutando em 0.0.0.0:"_s));
    EXPECT_TRUE(FirstLine(anywhere + TlsArgs(u"server"_s)).endsWith(u" (TLS)"_s));
}

TEST_F(TlsTest, BadCertificateOrKeyFilesAreRefusedBeforeListening)
{
    const QStringList serve{u"serve"_s, m_db->Spec(), u"--port"_s, u"0"_s};
    const auto refusal = [&](const QStringList& args, int code) {
        QString out, err;
        EXPECT_EQ(RunServerCommand(serve + args, &out, &err), code) << err.toStdString();
        EXPECT_FALSE(out.contains(u"escutando"_s)) << out.toStdString();
        return err;
    };
    const QString cert = Fixture(u"server.pem"_s), key = Fixture(u"server.key"_s);
    QString err = refusal({u"--tls-cert"_s, Fixture(u"absent.pem"_s), u"--tls-key"_s, key}, 1);
    EXPECT_TRUE(err.contains(u"absent.pem"_s) && err.contains(u"não encontrado"_s))
        << err.toStdString();
    err = refusal({u"--tls-cert"_s, key, u"--tls-key"_s, key}, 1);
    EXPECT_TRUE(err.contains(u"não contém um certificado"_s)) << err.toStdString();
    err = refusal({u"--tls-cert"_s, cert, u"--tls-key"_s, cert}, 1);
    EXPECT_TRUE(err.contains(u"não contém uma chave privada"_s)) << err.toStdString();
    err = refusal({u"--tls-cert"_s, cert, u"--tls-key"_s, Fixture(u"expired.key"_s)}, 1);
    EXPECT_TRUE(err.contains(u"não corresponde ao certificado"_s)) << err.toStdString();
    err = refusal({u"--tls-cert"_s, cert}, 2);
    EXPECT_TRUE(err.contains(u"--tls-key"_s)) << err.toStdString();
}

// Sockets that connect and never begin their handshake count against
// their own address from their first byte: a flood of them from one
// address leaves the server's places to everyone else, whose client
// connects and logs in at once. Each socket turned away or given up is
// one warning with its address, and so is a handshake the client refused.
TEST_F(TlsTest, SilentSocketsFromOneAddressDoNotLockOthersOut)
{
    const quint16 port = StartTlsServer();
    std::vector<std::unique_ptr<QTcpSocket>> silent;
    for (int i = 0; i < 200; ++i) {
        silent.push_back(std::make_unique<QTcpSocket>());
        silent.back()->bind(QHostAddress(u"127.0.0.2"_s));
        silent.back()->connectToHost(u"127.0.0.1"_s, port);
    }
    for (auto& s : silent)
        s->waitForConnected(2000);
    auto client = TlsClient(Fixture(u"ca.pem"_s));
    client->Connect(u"127.0.0.1"_s, port);
    ExpectServes(*client);
    EXPECT_FALSE(TlsRefusal(Fixture(u"other-ca.pem"_s), u"127.0.0.1"_s, port).isEmpty());
    const QString log = m_tlsServer->Log(u"handshake TLS recusado"_s);
    EXPECT_TRUE(log.contains(u"aph-server: conexão de 127.0.0.2 recusada: Este endereço"_s))
        << log.toStdString();
    EXPECT_TRUE(log.contains(u"aph-server: conexão de 127.0.0.1 encerrada: handshake TLS "
                             "recusado"_s))
        << log.toStdString();
    // The silent ones admitted are given up at the deadline, with a line.
    EXPECT_TRUE(m_tlsServer->Log(u"conexão de 127.0.0.2 encerrada: não concluiu"_s)
                    .contains(u"conexão de 127.0.0.2 encerrada: não concluiu"_s));
}
