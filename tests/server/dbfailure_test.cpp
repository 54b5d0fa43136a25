// Failures of the database under a running server: the file removed or
// replaced, a lock held past the timeout, a statement the database
// refuses. No write is acknowledged that is not in the file at the
// database's path; the client gets a message of the failure's kind with an
// incident id, never the database's own text, which goes to the log.
#include "host/data/packetcodec.h"
#include "tests/support/serverfixture.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

const double kMar1 = Day(2030, 3, 1);
const double kMar31 = Day(2030, 3, 31);
constexpr int kDays = 8;

// TF1 on TP1/01/001: 1 to 8 March without CHT, 8 h each.
class DbFailureTest : public ServerTest
{
protected:
    void SetUp() override
    {
        ServerTest::SetUp();
        if (IsSkipped())
            return;
        AddTestWorld();
        for (int d = 1; d <= kDays; ++d)
            AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, Day(2030, 3, d), 8);
    }
    bool SkipOnPostgres() const { return TTestDatabase::UsesPostgres(); }

    // One delta per free day, each approving it at hours of its own.
    std::vector<QJsonObject> ApproveEachDay()
    {
        const TDataPacket p = Checked(u"GetCSA"_s, {u"TC1"_s, u"TF1"_s, kMar1, kMar31, u"DES"_s,
                                                    u"TP1"_s, u"01"_s, QString(), u"N"_s, u"01"_s});
        std::vector<QJsonObject> deltas;
        for (std::size_t row = 0; row < p.Rows.size(); ++row) {
            TDelta delta;
            delta.Fields = p.Fields;
            TDeltaRecord rec;
            rec.Op = TDeltaRecord::Kind::Modify;
            rec.Original = *p.Rows[row];
            rec.New.emplace_back(p.FieldIndex(u"QTHRAPROFATU"_s),
                                 Value::FromNumber(1 + static_cast<double>(row)));
            delta.Records.push_back(std::move(rec));
            deltas.push_back(DeltaToJson(delta));
        }
        return deltas;
    }
    // The message of a refused save; empty when it was acknowledged.
    QString Save(const QJsonObject& delta)
    {
        try {
            Checked(u"SetCSA"_s, {delta});
            return QString();
        } catch (const ERpcError& e) {
            EXPECT_EQ(e.Code(), -32010) << e.what();
            return e.Message();
        }
    }
    // The approvals stored in the file now at the database's path, by day.
    std::vector<double> StoredApprovals()
    {
        m_db->Reconnect();
        std::vector<double> values;
        for (int d = 1; d <= kDays; ++d)
            values.push_back(m_db->Scalar(u"SELECT QTHRAPROFATU FROM CSA WHERE CDFUNC = 'TF1' AND "
                                          "DTSERVPREST = ?"_s,
                                          {static_cast<qint64>(Day(2030, 3, d))})
                                 .toDouble());
        return values;
    }
};

} // namespace

TEST_F(DbFailureTest, ServingAMissingFileCreatesNothingAndSaysToInitIt)
{
    if (SkipOnPostgres())
        GTEST_SKIP() << "a SQLite file";
    QTemporaryDir dir;
    const QString path = dir.filePath(u"faltando.db"_s);
    QString out, err;
    EXPECT_NE(RunServerCommand({u"serve"_s, u"sqlite:"_s + path, u"--port"_s, u"0"_s}, &out, &err),
              0);
    EXPECT_TRUE(err.contains(path)) << err.toStdString();
    EXPECT_TRUE(err.contains(u"aph-server init"_s)) << err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_FALSE(QFileInfo::exists(path + u".audit"_s));
    // init still makes it.
    EXPECT_EQ(RunServerCommand({u"init"_s, u"sqlite:"_s + path}, &out, &err), 0)
        << err.toStdString();
    EXPECT_TRUE(QFileInfo::exists(path));
}

TEST_F(DbFailureTest, AfterTheFileIsDeletedNoSaveIsAcknowledgedAndNoEmptyFileAppears)
{
    if (SkipOnPostgres())
        GTEST_SKIP() << "a SQLite file";
    const std::vector<QJsonObject> deltas = ApproveEachDay();
    ASSERT_EQ(deltas.size(), static_cast<std::size_t>(kDays));
    // Every worker has the file open.
    auto others = std::vector<std::unique_ptr<TRpcClient>>();
    for (int i = 0; i < 4; ++i) {
        others.push_back(NewClient());
        Checked(*others.back(), u"GetProp"_s, {u"0001"_s, QString(), u"T"_s});
    }
    const QString path = m_db->SqlitePath();
    m_db->Reconnect();
    ASSERT_TRUE(QFile::remove(path));
    for (const QJsonObject& delta : deltas) {
        const QString refusal = Save(delta);
        EXPECT_FALSE(refusal.isEmpty()) << "acknowledged into a deleted file";
        EXPECT_FALSE(IncidentOf(refusal).isEmpty()) << refusal.toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_TRUE(m_server->Log(u"removido"_s).contains(u"removido ou substituído"_s));
}

TEST_F(DbFailureTest, AfterTheFileIsReplacedEverySaveAcknowledgedIsInTheNewFile)
{
    if (SkipOnPostgres())
        GTEST_SKIP() << "a SQLite file";
    StartServer({u"--workers"_s, u"1"_s});
    const std::vector<QJsonObject> deltas = ApproveEachDay();
    ASSERT_EQ(deltas.size(), static_cast<std::size_t>(kDays));
    // Renamed away and replaced by a copy, as a restore would.
    const QString path = m_db->SqlitePath();
    m_db->ExecDirect(u"PRAGMA wal_checkpoint(TRUNCATE)"_s);
    m_db->Reconnect();
    ASSERT_TRUE(QFile::rename(path, path + u".old"_s));
    ASSERT_TRUE(QFile::copy(path + u".old"_s, path));
    std::vector<bool> acknowledged;
    for (const QJsonObject& delta : deltas)
        acknowledged.push_back(Save(delta).isEmpty());
    // The worker's connection to the old file refuses; the next one is on
    // the new file.
    EXPECT_FALSE(acknowledged[0]);
    EXPECT_TRUE(acknowledged[1]);
    const std::vector<double> stored = StoredApprovals();
    for (int d = 0; d < kDays; ++d)
        EXPECT_EQ(stored[static_cast<std::size_t>(d)],
                  acknowledged[static_cast<std::size_t>(d)] ? 1.0 + d : 0.0)
            << "day " << d + 1;
}

TEST_F(DbFailureTest, ALockHeldPastTheTimeoutIsBusyAndTheWorkerKeepsItsConnection)
{
    if (SkipOnPostgres())
        GTEST_SKIP() << "the lock of a SQLite file";
    StartServer({u"--workers"_s, u"1"_s});
    const std::vector<QJsonObject> deltas = ApproveEachDay();
    m_db->ExecDirect(u"BEGIN IMMEDIATE"_s);
    const QString refusal = Save(deltas[0]);
    m_db->ExecDirect(u"ROLLBACK"_s);
    EXPECT_TRUE(refusal.contains(u"ocupado"_s)) << refusal.toStdString();
    EXPECT_FALSE(IncidentOf(refusal).isEmpty()) << refusal.toStdString();
    EXPECT_EQ(Save(deltas[1]), QString());
    EXPECT_FALSE(m_server->Log().contains(u"descartada"_s)) << m_server->Log().toStdString();
}

TEST_F(DbFailureTest, AConstraintIsAnIntegrityRefusalWithItsIdAndTheDetailIsLogged)
{
    const QString marker = u"MARCA_DA_REGRA_K9"_s;
    if (TTestDatabase::UsesPostgres()) {
        m_db->ExecDirect(u"CREATE FUNCTION APH_F_CSA() RETURNS trigger AS $$ BEGIN RAISE "
                         "EXCEPTION '%1' USING ERRCODE = 'check_violation'; END $$ LANGUAGE "
                         "plpgsql"_s.arg(marker));
        m_db->ExecDirect(u"CREATE TRIGGER APH_T_CSA BEFORE UPDATE ON CSA FOR EACH ROW EXECUTE "
                         "FUNCTION APH_F_CSA()"_s);
    } else {
        m_db->ExecDirect(u"CREATE TRIGGER APH_T_CSA BEFORE UPDATE ON CSA BEGIN SELECT "
                         "RAISE(ABORT, '%1'); END"_s.arg(marker));
    }
    const QString refusal = Save(ApproveEachDay()[0]);
    EXPECT_TRUE(refusal.contains(u"integridade"_s)) << refusal.toStdString();
    EXPECT_FALSE(refusal.contains(marker));
    const QString incident = IncidentOf(refusal);
    ASSERT_FALSE(incident.isEmpty()) << refusal.toStdString();
    const QStringList lines = m_server->Log(marker).split(u'\n').filter(marker);
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_TRUE(lines[0].contains(incident)) << lines[0].toStdString();
    EXPECT_FALSE(m_server->Log().contains(u"descartada"_s));
}

TEST_F(DbFailureTest, AnyOtherFailureIsGenericWithItsIdAndTheDetailIsLogged)
{
    m_db->ExecDirect(u"ALTER TABLE TIPOSERV RENAME TO APH_TIPOSERV_FORA"_s);
    try {
        m_client->Call(u"GetServPrest"_s,
                       {kMar1, kMar31, u"T"_s, u"T"_s, u"T"_s, u"T"_s, u"ANA"_s, u"T"_s});
        ADD_FAILURE();
    } catch (const ERpcError& e) {
        EXPECT_EQ(e.Code(), -32010);
        EXPECT_TRUE(e.Message().startsWith(u"Falha no banco de dados (ocorrência "_s)) << e.what();
        EXPECT_FALSE(e.Message().contains(u"TIPOSERV"_s, Qt::CaseInsensitive)) << e.what();
        const QString incident = IncidentOf(e.Message());
        ASSERT_FALSE(incident.isEmpty());
        const QStringList lines = m_server->Log(incident).split(u'\n').filter(incident);
        ASSERT_FALSE(lines.isEmpty());
        EXPECT_TRUE(lines[0].contains(u"tiposerv"_s, Qt::CaseInsensitive))
            << lines[0].toStdString();
    }
}

TEST_F(DbFailureTest, AWorkerWithoutItsDatabaseAnswersEachRequestByItsId)
{
    if (SkipOnPostgres())
        GTEST_SKIP() << "a SQLite file";
    StartServer({u"--workers"_s, u"1"_s});
    m_db->Reconnect();
    ASSERT_TRUE(QFile::remove(m_db->SqlitePath()));
    const QByteArray props = R"("method":"GetProp","params":["0001","","T"]})";
    const auto errorOf = [](const QJsonValue& reply) {
        return reply.toObject().value(u"error"_s).toObject();
    };
    // The worker finds its file gone, then cannot open it again: each
    // request is refused under its own id, and a notification gets nothing,
    // so the next reply is the next request's.
    for (const char* id : {"\"primeira\"", "\"segunda\""}) {
        const QJsonValue reply =
            m_client->SendRaw(R"({"jsonrpc":"2.0","method":"GetProp","params":[]})"
                              "\n"
                              R"({"jsonrpc":"2.0","id":)" +
                              QByteArray(id) + ',' + props);
        EXPECT_EQ(reply.toObject().value(u"id"_s).toString(), QString::fromLatin1(id).remove(u'"'));
        EXPECT_EQ(errorOf(reply).value(u"code"_s).toInt(), -32010);
        EXPECT_FALSE(IncidentOf(errorOf(reply).value(u"message"_s).toString()).isEmpty());
    }
    const QString log = m_server->Log(u"não existe"_s);
    EXPECT_TRUE(log.contains(u"não existe"_s)) << log.toStdString();
}
