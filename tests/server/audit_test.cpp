// The audit trail: no read is answered without its record, committed
// first; every write applied leaves one record in its own transaction; a
// lock on the database file stops neither reads nor their records.
#include "host/data/packetcodec.h"
#include "server/common/clock.h"
#include "server/methods/approvalservice.h"
#include "server/methods/audit.h"
#include "server/methods/auditlog.h"
#include "server/methods/chtstatus.h"
#include "server/storage/storage.h"
#include "tests/support/serverfixture.h"

#include <QJsonObject>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>

#include <functional>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

const double kMar1 = Day(2030, 3, 1);
const double kMar31 = Day(2030, 3, 31);

// TF1 on TP1/01/001: 1 to 3 March without CHT, 8 h each.
class AuditTest : public ServerTest
{
protected:
    void SetUp() override
    {
        ServerTest::SetUp();
        if (IsSkipped())
            return;
        AddTestWorld();
        for (int d = 1; d <= 3; ++d)
            AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, Day(2030, 3, d), 8);
    }

    QJsonArray ServicesOfMarch() const
    {
        return {kMar1, kMar31, u"T"_s, u"T"_s, u"T"_s, u"T"_s, u"ANA"_s, u"T"_s};
    }
    // The number of read records, where the server keeps them.
    int ReadRecords()
    {
        QSqlQuery q(m_db->AuditDb());
        if (!q.exec(u"SELECT COUNT(*) FROM APH_AUDITORIA WHERE DSEVENTO LIKE 'GetServPrest %'"_s) ||
            !q.next())
            throw std::runtime_error(q.lastError().text().toStdString());
        return q.value(0).toInt();
    }
    int Count(const QString& sql) { return m_db->Scalar(sql).toInt(); }
    // A delta approving one of TF1's free days at some hours.
    QJsonObject Approve(int row, double hours)
    {
        const TDataPacket p = Checked(u"GetCSA"_s, {u"TC1"_s, u"TF1"_s, kMar1, kMar31, u"DES"_s,
                                                    u"TP1"_s, u"01"_s, QString(), u"N"_s, u"01"_s});
        TDelta delta;
        delta.Fields = p.Fields;
        TDeltaRecord rec;
        rec.Op = TDeltaRecord::Kind::Modify;
        rec.Original = *p.Rows[static_cast<std::size_t>(row)];
        rec.New.emplace_back(p.FieldIndex(u"QTHRAPROFATU"_s), Value::FromNumber(hours));
        delta.Records.push_back(std::move(rec));
        return DeltaToJson(delta);
    }
    double Billed(int day)
    {
        return m_db
            ->Scalar(u"SELECT QTHRAPROFATU FROM CSA WHERE CDFUNC = 'TF1' AND DTSERVPREST = ?"_s,
                     {static_cast<qint64>(Day(2030, 3, day))})
            .toDouble();
    }
    // A trigger that makes every insert into the audit table fail with a
    // message of its own.
    void BreakWriteAudit(const QString& marker)
    {
        if (!TTestDatabase::UsesPostgres()) {
            m_db->ExecDirect(u"CREATE TRIGGER APH_T_AUDIT BEFORE INSERT ON APH_AUDITORIA BEGIN "
                             "SELECT RAISE(ABORT, '%1'); END"_s.arg(marker));
            return;
        }
        m_db->ExecDirect(u"CREATE FUNCTION APH_F_AUDIT() RETURNS trigger AS $$ BEGIN RAISE "
                         "EXCEPTION '%1'; END $$ LANGUAGE plpgsql"_s.arg(marker));
        m_db->ExecDirect(u"CREATE TRIGGER APH_T_AUDIT BEFORE INSERT ON APH_AUDITORIA FOR EACH ROW "
                         "EXECUTE FUNCTION APH_F_AUDIT()"_s);
    }
};

} // namespace

TEST_F(AuditTest, ReadsAreAnsweredAndAuditedWhileAnotherProcessHoldsTheWriteLock)
{
    if (TTestDatabase::UsesPostgres())
        GTEST_SKIP() << "PostgreSQL has no lock on the whole database";
    auto second = NewClient();
    const int before = ReadRecords();
    // Longer than the busy timeout: the lock is held until the records are
    // counted.
    m_db->ExecDirect(u"BEGIN IMMEDIATE"_s);
    int answered = 0;
    for (int i = 0; i < 6; ++i) {
        TRpcClient& client = i % 2 ? *second : *m_client;
        EXPECT_EQ(PacketFromJson(client.Call(u"GetServPrest"_s, ServicesOfMarch())).Rows.size(),
                  1u);
        ++answered;
    }
    EXPECT_EQ(ReadRecords(), before + answered);
    m_db->ExecDirect(u"ROLLBACK"_s);
}

TEST_F(AuditTest, AReadWhoseRecordCannotBeWrittenIsRefusedAndSendsNoData)
{
    int ok = 0;
    const auto call = [&](QString* refusal) {
        try {
            PacketFromJson(m_client->Call(u"GetServPrest"_s, ServicesOfMarch()));
            ++ok;
        } catch (const ERpcError& e) {
            EXPECT_EQ(e.Code(), -32010) << e.what();
            *refusal = e.Message();
        }
    };
    QString refusal;
    call(&refusal);
    ASSERT_EQ(ok, 1) << refusal.toStdString();
    const int before = ReadRecords() - 1;

    // The audit table locked past the bound by someone else.
    QSqlQuery lock(m_db->AuditDb());
    if (TTestDatabase::UsesPostgres()) {
        ASSERT_TRUE(lock.exec(u"BEGIN"_s));
        ASSERT_TRUE(lock.exec(u"LOCK TABLE APH_AUDITORIA IN EXCLUSIVE MODE"_s));
    } else {
        ASSERT_TRUE(lock.exec(u"BEGIN IMMEDIATE"_s)) << lock.lastError().text().toStdString();
    }
    for (int i = 0; i < 4; ++i) {
        refusal.clear();
        call(&refusal);
        EXPECT_TRUE(refusal.contains(u"auditoria"_s)) << refusal.toStdString();
        EXPECT_FALSE(IncidentOf(refusal).isEmpty()) << refusal.toStdString();
        if (!refusal.isEmpty()) {
            EXPECT_TRUE(m_server->Log(IncidentOf(refusal)).contains(IncidentOf(refusal)));
        }
    }
    EXPECT_EQ(ok, 1);
    ASSERT_TRUE(lock.exec(u"ROLLBACK"_s));
    call(&refusal);
    EXPECT_EQ(ok, 2);
    // Every answer has its record, and no refused call left one.
    EXPECT_EQ(ReadRecords() - before, ok);
}

TEST_F(AuditTest, AWriteLeavesOneRecordWithItsChangeAndARefusedOneNone)
{
    ASSERT_TRUE(Checked(u"SetCSA"_s, {Approve(0, 6)}).Rows.empty());
    EXPECT_EQ(Count(u"SELECT COUNT(*) FROM APH_AUDITORIA WHERE DSEVENTO = 'SetCSA: 1 dias' AND "
                    "CDOPERADOR = 'ANA' AND CDOPERCONEXAO = 'ANA'"_s),
              1);
    // Refused by the rules (above the hours worked): no change, no record.
    EXPECT_THROW(Checked(u"SetCSA"_s, {Approve(1, 9)}), EServerError);
    EXPECT_EQ(Count(u"SELECT COUNT(*) FROM APH_AUDITORIA WHERE DSEVENTO LIKE 'SetCSA%'"_s), 1);
}

TEST_F(AuditTest, AWriteWithoutLoginIsSavedAndAuditedWithoutOperator)
{
    StartServer({u"--no-auth"_s});
    ASSERT_TRUE(Checked(u"SetCSA"_s, {Approve(0, 6)}).Rows.empty());
    EXPECT_EQ(Billed(1), 6.0);
    EXPECT_EQ(Count(u"SELECT COUNT(*) FROM APH_AUDITORIA WHERE DSEVENTO = 'SetCSA: 1 dias' AND "
                    "CDOPERADOR = '' AND CDOPERCONEXAO IS NULL"_s),
              1);
}

TEST_F(AuditTest, AWriteWhoseRecordFailsIsNotAppliedAndTheClientSeesNoDatabaseText)
{
    const QString marker = u"MARCA_DO_GATILHO_7Q"_s;
    const QJsonObject delta = Approve(0, 6);
    BreakWriteAudit(marker);
    try {
        Checked(u"SetCSA"_s, {delta});
        ADD_FAILURE() << "saved without its audit record";
    } catch (const ERpcError& e) {
        EXPECT_EQ(e.Code(), -32010);
        EXPECT_FALSE(e.Message().contains(marker)) << e.what();
        const QString incident = IncidentOf(e.Message());
        ASSERT_FALSE(incident.isEmpty()) << e.what();
        // The detail is in the server's log, under the id the client got.
        const QString log = m_server->Log(marker);
        const QStringList lines = log.split(u'\n').filter(marker);
        ASSERT_FALSE(lines.isEmpty()) << log.toStdString();
        EXPECT_TRUE(lines[0].contains(incident)) << log.toStdString();
    }
    EXPECT_EQ(Billed(1), 0.0);
    EXPECT_EQ(Count(u"SELECT COUNT(*) FROM APH_AUDITORIA WHERE DSEVENTO LIKE 'SetCSA%'"_s), 0);
}

// The statement carries the amount to bill: it leaves a read record, as
// the services' data does.
TEST_F(AuditTest, AStatementLeavesItsReadRecord)
{
    AddCht(u"90001"_s, u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, u"P"_s);
    AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, Day(2030, 3, 4), 8, u"90001"_s, 8, 8);
    ASSERT_TRUE(
        m_client->Call(u"GetDemCHT"_s, {u"90001"_s, u"csv"_s}).toObject().value(u"ok"_s).toBool());
    QSqlQuery q(m_db->AuditDb());
    ASSERT_TRUE(q.exec(u"SELECT CDOPERCONEXAO, DSEVENTO FROM APH_AUDITORIA WHERE DSEVENTO LIKE "
                       "'GetDemCHT %'"_s));
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(0).toString(), u"ANA"_s);
    EXPECT_TRUE(q.value(1).toString().startsWith(u"GetDemCHT CHT-90001.csv csv"_s))
        << q.value(1).toString().toStdString();
    EXPECT_FALSE(q.next());
}

namespace {

// What a column of the width keeps of a text, counted apart from the
// server's code: characters (code points), control characters as spaces.
QString Kept(const QString& text, int chars)
{
    QList<uint> points = text.toUcs4();
    for (uint& c : points)
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F))
            c = u' ';
    return QString::fromUcs4(reinterpret_cast<const char32_t*>(points.constData()),
                             std::min<qsizetype>(chars, points.size()));
}

} // namespace

// Every path that writes an audit row, given an operator and an event too
// long for their columns, with a character beyond the basic plane right
// at each width and control characters inside: each row, read back with a
// bare SELECT, holds the texts cut to the columns' characters (the pair
// whole), with spaces for the controls.
TEST_F(AuditTest, EveryPathCutsAndCleansItsRowToTheColumns)
{
    const QString smile = QString::fromUcs4(U"\U0001F600");
    const QString op = u"Op\u0001\u00e7"_s + QString(7, u'\u00e9') + smile + u"XYZ"_s;
    const QString event = u"a\nb\u0085\t"_s + QString(194, u'\u00e7') + smile + smile + u"fim"_s;
    AddCht(u"90002"_s, u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, u"P"_s);
    AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, Day(2030, 3, 5), 8, u"90002"_s, 8, 8);
    const TDatabaseSpec spec = TDatabaseSpec::Parse(m_db->Spec());
    const auto storage = TStorage::Open(spec);
    struct TPath
    {
        const char* Name;
        std::function<void()> Write;
        QString Event; // what the path writes as its event
        bool ReadLog;  // a read record, kept where the audit log keeps them
    };
    const std::vector<TPath> paths = {
        {"the storage's own trail", [&] { TStorageAudit(*storage).Record(op, op, event); }, event,
         false},
        {"the audit log", [&] { TAuditLog(spec, 10000).Record(op, op, event); }, event, true},
        {"a write's record", [&] { TApprovalService(*storage).Audit(op, op, event); }, event,
         false},
        {"a CHT's step",
         [&] {
             ChangeChtStatus(*storage, {u"90002"_s, TChtAction::Aprovar, {}, {}}, nullptr, op,
                             false);
         },
         u"SetStatusCHT 90002: P -> A"_s, false},
    };
    for (const TPath& path : paths) {
        QSqlDatabase db = path.ReadLog ? m_db->AuditDb() : QSqlDatabase();
        if (path.ReadLog)
            QSqlQuery(db).exec(u"DELETE FROM APH_AUDITORIA"_s);
        else
            m_db->Exec(u"DELETE FROM APH_AUDITORIA"_s);
        ASSERT_NO_THROW(path.Write()) << path.Name;
        const QString select = u"SELECT CDOPERADOR, CDOPERCONEXAO, DSEVENTO FROM APH_AUDITORIA"_s;
        QList<QVariantList> rows;
        if (path.ReadLog) {
            QSqlQuery q(db);
            ASSERT_TRUE(q.exec(select)) << path.Name;
            while (q.next())
                rows << QVariantList{q.value(0), q.value(1), q.value(2)};
        } else {
            rows = m_db->Rows(select);
        }
        ASSERT_EQ(rows.size(), 1) << path.Name;
        EXPECT_EQ(rows[0][0].toString(), Kept(op, kAuditOperatorChars)) << path.Name;
        EXPECT_EQ(rows[0][1].toString(), Kept(op, kAuditOperatorChars)) << path.Name;
        EXPECT_EQ(rows[0][2].toString(), Kept(path.Event, kAuditEventChars)) << path.Name;
    }
}
