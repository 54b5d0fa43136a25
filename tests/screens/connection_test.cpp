// A connection to the server that drops: the screens' calls reconnect, the
// day being typed is kept and saved once, and the host hears of each state.
#include "tests/screens/world.h"

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <atomic>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

// A TCP relay between the screens and the server, on a thread of its own
// (the client waits for its replies blocking). Armed with a method, it
// passes the next request of that method on, waits until the server has
// answered, and drops the connection instead of passing the reply back: a
// reply lost after the server committed.
class CuttingProxy
{
public:
    explicit CuttingProxy(quint16 serverPort) : m_serverPort(serverPort)
    {
        std::promise<quint16> listening;
        std::future<quint16> port = listening.get_future();
        m_thread = std::thread([this, &listening] { Run(listening); });
        m_port = port.get();
    }
    ~CuttingProxy()
    {
        m_stop = true;
        m_thread.join();
        for (std::thread& relay : m_relays)
            relay.join();
    }
    quint16 Port() const { return m_port; }
    void CutAfter(const QString& method)
    {
        std::lock_guard lock(m_mutex);
        m_cut = method;
    }
    int Cuts() const { return m_cuts; }

private:
    // Hands each accepted socket to a relay thread of its own, so that
    // every connection of the desktop (the screen's, the host's lookups)
    // goes through at once.
    class TListener : public QTcpServer
    {
    public:
        std::vector<qintptr> Accepted;

    protected:
        void incomingConnection(qintptr socket) override { Accepted.push_back(socket); }
    };
    void Run(std::promise<quint16>& listening)
    {
        TListener server;
        server.listen(QHostAddress::LocalHost, 0);
        listening.set_value(server.serverPort());
        while (!m_stop) {
            server.waitForNewConnection(50);
            for (qintptr socket : server.Accepted)
                m_relays.emplace_back([this, socket] {
                    auto client = std::make_unique<QTcpSocket>();
                    client->setSocketDescriptor(socket);
                    Relay(std::move(client));
                });
            server.Accepted.clear();
        }
    }
    bool Cuts(const QByteArray& request)
    {
        std::lock_guard lock(m_mutex);
        if (m_cut.isEmpty() ||
            !request.contains(QByteArray("\"method\":\"" + m_cut.toUtf8() + '"')))
            return false;
        m_cut.clear();
        return true;
    }
    // One request line from the client, or empty when it went away.
    QByteArray ReadLine(QTcpSocket& socket, QByteArray& buffer, int timeoutMs)
    {
        const QDeadlineTimer deadline(timeoutMs);
        while (!buffer.contains('\n') && !m_stop && !deadline.hasExpired() &&
               socket.state() == QAbstractSocket::ConnectedState) {
            socket.waitForReadyRead(50);
            buffer += socket.readAll();
        }
        const qsizetype end = buffer.indexOf('\n');
        if (end < 0)
            return {};
        const QByteArray line = buffer.left(end + 1);
        buffer.remove(0, end + 1);
        return line;
    }
    void Relay(std::unique_ptr<QTcpSocket> client)
    {
        QTcpSocket server;
        server.connectToHost(QHostAddress::LocalHost, m_serverPort);
        if (!server.waitForConnected(5000))
            return;
        QByteArray fromClient, fromServer;
        for (;;) {
            const QByteArray request = ReadLine(*client, fromClient, 3600000);
            if (request.isEmpty())
                return;
            server.write(request);
            server.waitForBytesWritten(5000);
            const QByteArray reply = ReadLine(server, fromServer, 30000);
            if (reply.isEmpty() || Cuts(request)) {
                ++m_cuts;
                client->abort();
                return;
            }
            client->write(reply);
            client->waitForBytesWritten(5000);
        }
    }

    quint16 m_serverPort;
    quint16 m_port = 0;
    std::thread m_thread;
    std::vector<std::thread> m_relays;
    std::atomic<bool> m_stop = false;
    std::atomic<int> m_cuts = 0;
    std::mutex m_mutex;
    QString m_cut;
};

using TState = TConnectionStatus::TState;

struct Connection : MarchScreen
{
    void SetUp() override
    {
        MarchScreen::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        // The screen's connection; the host's lookups report on their own.
        SetConnectionStatusHandler([this](const TConnectionStatus& s) {
            if (s.ServerName == u"dtmDBGeral")
                return;
            states << s.State;
            addresses << s.Address;
            reasons << s.Message;
        });
    }
    void TearDown() override
    {
        SetConnectionStatusHandler(nullptr);
        MarchScreen::TearDown();
    }
    // The screens go to this port from now on.
    void ServerAt(quint16 port)
    {
        SetHostEnvironment({u"ANA"_s, u"0001"_s, u"127.0.0.1"_s, port, m_token, m_db->Spec()});
    }
    QVariant Stored(int day)
    {
        return m_db->Scalar(u"SELECT QTHRAPROFATU FROM CSA WHERE CDFUNC = 'TF1' AND "
                            "NRSERVCONT = '001' AND DTSERVPREST = ?"_s,
                            {static_cast<qint64>(Day(2030, 3, day))});
    }
    int KeysStored() { return m_db->Scalar(u"SELECT COUNT(*) FROM APH_REQUISICAO"_s).toInt(); }
    // The keys the saves went with, each once.
    QStringList SaveKeys() const
    {
        QStringList keys;
        for (const TRecordedCall& c : CallsOf("SetCSA"))
            if (!keys.contains(c.Key))
                keys << c.Key;
        return keys;
    }
    QString Errors() const { return desktop->errors.join(u'\n'); }

    QList<TState> states;
    QStringList addresses;
    QStringList reasons;
};

} // namespace

TEST_F(Connection, ASaveWhileTheServerIsAwayKeepsTheDayAndSavesItOnceItIsBack)
{
    OpenTf1At(12);
    const quint16 port = m_server->Port();
    const QString address = u"127.0.0.1:%1"_s.arg(port);
    EXPECT_EQ(states, QList<TState>{TState::Connected});
    m_client.reset();
    m_server.reset();
    UserType(*f, u"0700"_s);
    UserKey(*f, VK_DOWN);
    ASSERT_EQ(desktop->errors.size(), 1);
    EXPECT_TRUE(desktop->errors[0].contains(u"Sem conexão"_s) &&
                desktop->errors[0].contains(address))
        << Errors().toStdString();
    EXPECT_EQ(f->cdsAuxCSA.State(), TDataSetState::dsEdit) << "the row stays in edit";
    EXPECT_EQ(f->cdsAuxCSA.FieldByName(u"QTHRAPROFATU"_s)->AsFloat(), 7.0);
    EXPECT_EQ(states.last(), TState::Lost);
    EXPECT_EQ(addresses.last(), address);

    // The server comes back where it was; posting again saves the day.
    m_server = std::make_unique<TServerProcess>(m_db->Spec(), QStringList{}, port);
    UserKey(*f, VK_DOWN);
    EXPECT_EQ(desktop->errors.size(), 1) << Errors().toStdString();
    EXPECT_EQ(f->cdsAuxCSA.State(), TDataSetState::dsBrowse);
    EXPECT_EQ(Stored(12).toDouble(), 7.0);
    EXPECT_EQ(KeysStored(), 1) << "saved once";
    EXPECT_EQ(SaveKeys().size(), 1) << "the same write went again with its key";
    EXPECT_EQ(states.last(), TState::Reconnected);
    EXPECT_EQ(opens.size(), 2);
}

TEST_F(Connection, AReplyLostAfterTheCommitIsAnsweredFromTheStoredReply)
{
    CuttingProxy proxy(m_server->Port());
    ServerAt(proxy.Port());
    OpenTf1At(12);
    proxy.CutAfter(u"SetCSA"_s);
    UserType(*f, u"0700"_s);
    UserKey(*f, VK_DOWN);
    EXPECT_EQ(proxy.Cuts(), 1);
    EXPECT_TRUE(desktop->errors.isEmpty())
        << "no conflict with the user's own change: " << Errors().toStdString();
    EXPECT_EQ(f->cdsAuxCSA.State(), TDataSetState::dsBrowse);
    EXPECT_EQ(Stored(12).toDouble(), 7.0);
    ASSERT_EQ(CallsOf("SetCSA").size(), 2) << "sent, and sent again after reconnecting";
    EXPECT_EQ(SaveKeys().size(), 1);
    EXPECT_FALSE(SaveKeys().first().isEmpty());
    EXPECT_EQ(KeysStored(), 1);
    EXPECT_EQ(states, (QList<TState>{TState::Connected, TState::Lost, TState::Reconnected}));

    // The next day goes with a key of its own.
    UserType(*f, u"0500"_s);
    UserKey(*f, VK_UP);
    EXPECT_TRUE(desktop->errors.isEmpty()) << Errors().toStdString();
    EXPECT_EQ(SaveKeys().size(), 2);
    EXPECT_EQ(KeysStored(), 2);
}

TEST_F(Connection, ReadsAfterAServerRestartReconnectWithoutAWord)
{
    OpenTf1At(12);
    const quint16 port = m_server->Port();
    m_client.reset();
    m_server.reset();
    m_server = std::make_unique<TServerProcess>(m_db->Spec(), QStringList{}, port);
    GoTo(f->dbgFuncionario, "CDFUNC", "TF2");
    EXPECT_TRUE(desktop->errors.isEmpty()) << Errors().toStdString();
    EXPECT_EQ(f->cdsAuxCSA.RecordCount(), 1) << "TF2's day came from the new server";
    EXPECT_EQ(opens.size(), 2);
}

// The host's lookups ride out a restart of the server as the screen's
// calls do.
TEST_F(Connection, ALookupAfterAServerRestartReconnectsWithoutAWord)
{
    TADOIBQuery occurrences;
    occurrences.SQL = {u"SELECT CDGRPOCOR, CDOCORR, DSOCORR FROM OCORRENCIA ORDER BY CDGRPOCOR, "
                       "CDOCORR"_s};
    occurrences.Open();
    const int rows = occurrences.RecordCount();
    ASSERT_GT(rows, 0);
    const quint16 port = m_server->Port();
    m_client.reset();
    m_server.reset();
    m_server = std::make_unique<TServerProcess>(m_db->Spec(), QStringList{}, port);
    occurrences.Close();
    occurrences.Open();
    EXPECT_EQ(occurrences.RecordCount(), rows);
}

TEST_F(Connection, AConnectionTheServerClosedForIdlenessIsReopenedWithoutAWord)
{
    OpenTf1At(12);
    const quint16 port = m_server->Port();
    m_client.reset();
    m_server.reset();
    m_server = std::make_unique<TServerProcess>(m_db->Spec(),
                                                QStringList{u"--idle-timeout"_s, u"1000"_s}, port);
    GoTo(f->dbgFuncionario, "CDFUNC", "TF2");
    ASSERT_EQ(opens.size(), 2);
    // The clerk pauses; the server closes the quiet connection and says so.
    std::this_thread::sleep_for(std::chrono::milliseconds(1600));
    GoTo(f->dbgFuncionario, "CDFUNC", "TF1");
    EXPECT_TRUE(desktop->errors.isEmpty()) << Errors().toStdString();
    EXPECT_EQ(opens.size(), 3) << "connected and logged in again";
    EXPECT_GE(f->cdsAuxCSA.RecordCount(), 1);
}

// While the clerk reads, the status follows the server: a Ping on the idle
// connection, a bare connect once the wire is gone; the screen's next call
// then works as before.
TEST_F(Connection, TheKeepAliveFollowsTheServerWhileNobodyCalls)
{
    OpenTf1At(12);
    const quint16 port = m_server->Port();
    const QString address = u"127.0.0.1:%1"_s.arg(port);
    const auto pings = [this] {
        return CallsOf("Ping").size();
    };
    KeepConnectionsAlive(60000);
    EXPECT_EQ(pings(), 0) << "a connection just used is left alone";
    KeepConnectionsAlive(0);
    EXPECT_EQ(pings(), 1);
    EXPECT_EQ(states, QList<TState>{TState::Connected}) << "the server answered: nothing new";

    m_client.reset();
    m_server.reset();
    KeepConnectionsAlive(0);
    ASSERT_EQ(states.size(), 2);
    EXPECT_EQ(states.last(), TState::Lost) << "told without any call of the screen";
    EXPECT_EQ(addresses.last(), address);
    KeepConnectionsAlive(0);
    EXPECT_EQ(states.size(), 2) << "a loss is told once";

    m_server = std::make_unique<TServerProcess>(m_db->Spec(), QStringList{}, port);
    KeepConnectionsAlive(0);
    EXPECT_EQ(states.last(), TState::Reconnected);
    EXPECT_EQ(opens.size(), 1) << "the check opened no session";
    GoTo(f->dbgFuncionario, "CDFUNC", "TF2");
    EXPECT_TRUE(desktop->errors.isEmpty()) << Errors().toStdString();
    EXPECT_EQ(f->cdsAuxCSA.RecordCount(), 1);
}

// A server that answers and refuses the login is not a lost one: the host
// is told so, with the server's reason, to show in its window.
TEST_F(Connection, ARefusedLoginIsReportedWithTheServersReason)
{
    OpenTf1At(12);
    SetHostEnvironment(
        {u"ANA"_s, u"0001"_s, u"127.0.0.1"_s, m_server->Port(), u"token-revogado"_s, m_db->Spec()});
    f->netAprovCsa.SetConnected(false);
    states.clear();
    QString said;
    try {
        f->netAprovCsa.SetConnected(true); // as the screen does when it opens
    } catch (const Exception& e) {
        said = e.Message();
    }
    ASSERT_FALSE(said.isEmpty()) << "the login is refused";
    ASSERT_EQ(states, QList<TState>{TState::Refused});
    EXPECT_EQ(addresses.last(), u"127.0.0.1:%1"_s.arg(m_server->Port()));
    EXPECT_EQ(reasons.last(), said);
}
