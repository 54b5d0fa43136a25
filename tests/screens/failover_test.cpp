// Several application servers on one database: the screens connect to the
// first one that answers, move to the next when theirs goes away, save a
// day once whichever server takes it, and stop at a server that refuses
// them.
#include "tests/screens/world.h"

#include <QHostAddress>
#include <QTcpServer>

#include <utility>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

// A loopback port where nobody listens.
quint16 ClosedPort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

QString Address(quint16 port)
{
    return u"127.0.0.1:%1"_s.arg(port);
}

// The screens' transport with every address it tries written down, and a
// way to lose a save's reply: the server applies the save, then dies
// before its reply reaches the screen.
class TryingTransport : public IAppServerTransport
{
public:
    TryingTransport(std::unique_ptr<IAppServerTransport> inner, QList<int>& tried,
                    std::function<void()>& dieAfterSave)
        : m_inner(std::move(inner)), m_tried(tried), m_dieAfterSave(dieAfterSave)
    {}
    void Open(const QString& host, int port) override
    {
        m_tried << port;
        m_inner->Open(host, port);
    }
    void Close() override { m_inner->Close(); }
    bool IsOpen() const override { return m_inner->IsOpen(); }
    QJsonValue Call(const QString& method, const QJsonArray& params) override
    {
        return m_inner->Call(method, params);
    }
    QJsonValue CallKeyed(const QString& method, const QJsonArray& params,
                         const QString& requestKey) override
    {
        QJsonValue reply = m_inner->CallKeyed(method, params, requestKey);
        if (const auto die = std::exchange(m_dieAfterSave, nullptr)) {
            die();
            m_inner->Close();
            throw EConnectionError(u"A conexão com o servidor foi perdida."_s);
        }
        return reply;
    }

private:
    std::unique_ptr<IAppServerTransport> m_inner;
    QList<int>& m_tried;
    std::function<void()>& m_dieAfterSave;
};

using TState = TConnectionStatus::TState;

struct Failover : MarchScreen
{
    void SetUp() override
    {
        MarchScreen::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        SetTransportFactory([this](const QString& server) -> std::unique_ptr<IAppServerTransport> {
            if (server == u"dtmDBGeral")
                return MakeRpcTransport();
            return std::make_unique<TryingTransport>(
                std::make_unique<RecordingTransport>(calls, opens, failing), tried, dieAfterSave);
        });
        // The screen's connection; the host's lookups report on their own.
        SetConnectionStatusHandler([this](const TConnectionStatus& s) {
            if (s.ServerName == u"dtmDBGeral")
                return;
            states << s.State;
            addresses << s.Address;
        });
    }
    void TearDown() override
    {
        SetConnectionStatusHandler(nullptr);
        MarchScreen::TearDown();
        second.reset();
    }
    // The screens go to these servers, in this order.
    void ServersAt(std::initializer_list<quint16> ports)
    {
        THostEnvironment env = HostEnvironment();
        env.Servers.clear();
        for (quint16 port : ports)
            env.Servers << TServerAddress{u"127.0.0.1"_s, port};
        env.WebURL = env.Servers.first().Host;
        env.WebPort = env.Servers.first().Port;
        SetHostEnvironment(env);
    }
    // A second server on the test's database.
    quint16 StartSecond()
    {
        second = std::make_unique<TServerProcess>(m_db->Spec());
        return second->Port();
    }
    void KillFirst()
    {
        m_client.reset();
        m_server->Kill();
    }
    void SaveHours(const QString& typed)
    {
        UserType(*f, typed);
        UserKey(*f, VK_DOWN);
    }
    QVariant Stored(int day)
    {
        return m_db->Scalar(u"SELECT QTHRAPROFATU FROM CSA WHERE CDFUNC = 'TF1' AND "
                            "NRSERVCONT = '001' AND DTSERVPREST = ?"_s,
                            {static_cast<qint64>(Day(2030, 3, day))});
    }
    int Count(const QString& sql) { return m_db->Scalar(sql).toInt(); }
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

    std::unique_ptr<TServerProcess> second;
    QList<int> tried;
    std::function<void()> dieAfterSave;
    QList<TState> states;
    QStringList addresses;
};

} // namespace

TEST_F(Failover, TheScreenOpensOnTheFirstServerThatAnswersAndStartsThereNextTime)
{
    const quint16 down = ClosedPort();
    const quint16 live = m_server->Port();
    ServersAt({down, live});
    OpenMarch();
    EXPECT_EQ(tried, (QList<int>{down, live}));
    EXPECT_EQ(opens, QList<int>{live});
    EXPECT_EQ(states, QList<TState>{TState::Connected});
    EXPECT_EQ(addresses, QStringList{Address(live)}) << "the status bar names the server in use";
    EXPECT_GT(f->cdsServPrest.RecordCount(), 0);

    // The screen opened again goes straight to the server that answered.
    UserClick(f->sbtFechar);
    OpenMarch();
    EXPECT_EQ(tried, (QList<int>{down, live, live}));
    EXPECT_TRUE(desktop->errors.isEmpty()) << Errors().toStdString();
}

TEST_F(Failover, AScreenWhoseServerIsKilledSavesOnTheNextServerOnce)
{
    const quint16 first = m_server->Port();
    const quint16 next = StartSecond();
    ServersAt({first, next});
    OpenTf1At(12);
    ASSERT_EQ(opens, QList<int>{first});
    KillFirst();
    SaveHours(u"0700"_s);
    EXPECT_TRUE(desktop->errors.isEmpty()) << Errors().toStdString();
    EXPECT_EQ(f->cdsAuxCSA.State(), TDataSetState::dsBrowse);
    EXPECT_EQ(Stored(12).toDouble(), 7.0);
    EXPECT_EQ(opens, (QList<int>{first, next}));
    EXPECT_EQ(SaveKeys().size(), 1);
    EXPECT_EQ(Count(u"SELECT COUNT(*) FROM APH_REQUISICAO"_s), 1);
    EXPECT_EQ(states, (QList<TState>{TState::Connected, TState::Lost, TState::Reconnected}));
    EXPECT_EQ(addresses.last(), Address(next));

    // Reads go on on the next server as well.
    GoTo(f->dbgFuncionario, "CDFUNC", "TF2");
    EXPECT_EQ(f->cdsAuxCSA.RecordCount(), 1);
    EXPECT_TRUE(desktop->errors.isEmpty()) << Errors().toStdString();
}

TEST_F(Failover, ASaveWhoseServerDiedBeforeReplyingIsAnsweredByTheNextFromTheStoredReply)
{
    const quint16 first = m_server->Port();
    const quint16 next = StartSecond();
    ServersAt({first, next});
    OpenTf1At(12);
    dieAfterSave = [this] {
        KillFirst();
    };
    SaveHours(u"0700"_s);
    EXPECT_FALSE(dieAfterSave) << "the first server took the save";
    EXPECT_TRUE(desktop->errors.isEmpty())
        << "no conflict with the save the first server applied: " << Errors().toStdString();
    EXPECT_EQ(f->cdsAuxCSA.State(), TDataSetState::dsBrowse);
    EXPECT_EQ(Stored(12).toDouble(), 7.0);
    ASSERT_EQ(CallsOf("SetCSA").size(), 2) << "sent, and sent again to the next server";
    EXPECT_EQ(SaveKeys().size(), 1);
    EXPECT_EQ(Count(u"SELECT COUNT(*) FROM APH_REQUISICAO"_s), 1);
    EXPECT_EQ(Count(u"SELECT COUNT(*) FROM APH_AUDITORIA WHERE DSEVENTO LIKE 'SetCSA%'"_s), 1)
        << "applied once";
    EXPECT_EQ(opens, (QList<int>{first, next}));
    EXPECT_EQ(addresses.last(), Address(next));
}

TEST_F(Failover, WithEveryServerDownTheOneErrorNamesThemAll)
{
    const quint16 a = ClosedPort();
    const quint16 b = ClosedPort();
    ServersAt({a, b});
    Perform([] { IniProc(); });
    ASSERT_EQ(desktop->errors.size(), 1);
    EXPECT_TRUE(desktop->errors[0].contains(Address(a)) && desktop->errors[0].contains(Address(b)))
        << Errors().toStdString();
    EXPECT_EQ(frmAprovaHoras, nullptr);
    EXPECT_EQ(states, QList<TState>{TState::Lost});
    EXPECT_EQ(addresses, QStringList{Address(a) + u", "_s + Address(b)});
}

TEST_F(Failover, WhenTheLastLiveServerDiesTheSaveWaitsWithAnErrorNamingEveryServer)
{
    const quint16 first = m_server->Port();
    const quint16 down = ClosedPort();
    ServersAt({first, down});
    OpenTf1At(12);
    KillFirst();
    SaveHours(u"0700"_s);
    ASSERT_EQ(desktop->errors.size(), 1);
    const QString& error = desktop->errors[0];
    EXPECT_TRUE(error.contains(u"Sem conexão"_s) && error.contains(Address(first)) &&
                error.contains(Address(down)))
        << error.toStdString();
    EXPECT_EQ(f->cdsAuxCSA.State(), TDataSetState::dsEdit) << "the row stays in edit";
    EXPECT_EQ(states.last(), TState::Lost);

    // A server comes up where the second was listed; posting again saves.
    m_server.reset();
    m_server = std::make_unique<TServerProcess>(m_db->Spec(), QStringList{}, down);
    UserKey(*f, VK_DOWN);
    EXPECT_EQ(desktop->errors.size(), 1) << Errors().toStdString();
    EXPECT_EQ(Stored(12).toDouble(), 7.0);
    EXPECT_EQ(states.last(), TState::Reconnected);
    EXPECT_EQ(addresses.last(), Address(down));
}

TEST_F(Failover, ARefusedLoginOrCertificateIsShownWithoutTryingTheNextServer)
{
    const quint16 first = m_server->Port();
    const quint16 next = StartSecond();
    ServersAt({first, next});
    THostEnvironment env = HostEnvironment();
    env.Token = u"aph_token_errado"_s;
    SetHostEnvironment(env);
    Perform([] { IniProc(); });
    ASSERT_EQ(desktop->errors.size(), 1);
    EXPECT_TRUE(desktop->errors[0].contains(u"Login recusado"_s)) << Errors().toStdString();
    EXPECT_EQ(tried, QList<int>{first}) << "the server answered: it is not down";
    EXPECT_EQ(states, QList<TState>{TState::Refused}) << "refused, for the host to show";

    // The first server's certificate has expired; the next one's is good.
    const QString tls = QStringLiteral(APH_TLS_FIXTURES);
    const auto tlsServer = [&](const char* name) {
        return std::make_unique<TServerProcess>(
            m_db->Spec(),
            QStringList{u"--tls-cert"_s, tls + u'/' + QString::fromLatin1(name) + u".pem"_s,
                        u"--tls-key"_s, tls + u'/' + QString::fromLatin1(name) + u".key"_s});
    };
    const auto expired = tlsServer("expired");
    const auto good = tlsServer("server");
    ServersAt({expired->Port(), good->Port()});
    env = HostEnvironment();
    env.Token = m_token;
    env.Tls = true;
    env.CaFile = tls + u"/ca.pem"_s;
    SetHostEnvironment(env);
    tried.clear();
    Perform([] { IniProc(); });
    ASSERT_EQ(desktop->errors.size(), 2);
    EXPECT_TRUE(desktop->errors[1].contains(u"expirou"_s)) << Errors().toStdString();
    EXPECT_EQ(tried, QList<int>{expired->Port()});
    EXPECT_EQ(frmAprovaHoras, nullptr);

    // Over TLS too, a server that is down is passed over.
    const quint16 down = ClosedPort();
    ServersAt({down, good->Port()});
    tried.clear();
    IniProc();
    EXPECT_EQ(tried, (QList<int>{down, good->Port()}));
    EXPECT_NE(frmAprovaHoras, nullptr);
    EXPECT_EQ(desktop->errors.size(), 2) << Errors().toStdString();
}
