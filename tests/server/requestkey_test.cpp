// Request keys of the writes: a repeat of a key is answered from the reply
// stored with the first write and applies nothing again; a key reused for
// another request is refused; the key table comes with a schema upgrade.
#include "host/data/packetcodec.h"
#include "server/storage/schema.h"
#include "tests/support/serverfixture.h"

#include <QDate>
#include <QDeadlineTimer>
#include <QThread>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

const double kMar1 = Day(2030, 3, 1);
const double kMar31 = Day(2030, 3, 31);

// TF1 on TP1/01/001: 1 and 2 March without CHT, 8 h each.
class RequestKeyTest : public ServerTest
{
protected:
    void SetUp() override
    {
        ServerTest::SetUp();
        if (IsSkipped())
            return;
        AddTestWorld();
        for (int d = 1; d <= 2; ++d)
            AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, Day(2030, 3, d), 8);
    }

    // A delta approving one row of TF1's free days at some hours.
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
    // The result of a keyed call through the result check: empty when it
    // went through, else the message (and the code of an error reply).
    QString Keyed(const QString& method, const QJsonArray& params, const QString& key,
                  int* code = nullptr)
    {
        try {
            CheckedPacket(m_client->Call(method, params, key));
            return QString();
        } catch (const ERpcError& e) {
            if (code)
                *code = e.Code();
            return e.Message();
        } catch (const EServerError& e) {
            return e.Message();
        }
    }
    QJsonArray GenerateAll() const
    {
        return {kMar1, kMar31, u"ANA"_s, u"T"_s, u"T"_s, u"T"_s, u"T"_s, u"T"_s, u"T"_s};
    }
    double Billed(int day)
    {
        return m_db
            ->Scalar(u"SELECT QTHRAPROFATU FROM CSA WHERE CDFUNC = 'TF1' AND DTSERVPREST = ?"_s,
                     {static_cast<qint64>(Day(2030, 3, day))})
            .toDouble();
    }
    int Count(const QString& sql, const QVariantList& values = {})
    {
        return m_db->Scalar(sql, values).toInt();
    }
};

} // namespace

TEST_F(RequestKeyTest, ARepeatedSetCsaIsAnsweredFromTheStoredReplyAndAppliedOnce)
{
    const QJsonObject delta = Approve(0, 6);
    EXPECT_EQ(Keyed(u"SetCSA"_s, {delta}, u"k-csa-1"_s), QString());
    EXPECT_EQ(Billed(1), 6.0);
    // The repeat of a write whose reply was lost: without its key the same
    // delta is a conflict with itself, with it the first reply comes back.
    EXPECT_EQ(Keyed(u"SetCSA"_s, {delta}, u"k-csa-other"_s),
              u"A CSA do dia 01/03/2030 foi alterada por outro usuário depois de carregada. "
              "Recarregue os dados e refaça a alteração."_s);
    EXPECT_EQ(Keyed(u"SetCSA"_s, {delta}, u"k-csa-1"_s), QString());
    EXPECT_EQ(Keyed(u"SetCSA"_s, {delta}, u"k-csa-1"_s), QString());
    EXPECT_EQ(Billed(1), 6.0);
    EXPECT_EQ(Count(u"SELECT COUNT(*) FROM APH_REQUISICAO WHERE DSCHAVE = 'k-csa-1' AND "
                    "NMMETODO = 'SetCSA' AND CDOPERADOR = 'ANA'"_s),
              1);
    // A new connection (the client reconnected) gets the same answer.
    m_client = NewClient();
    EXPECT_EQ(Keyed(u"SetCSA"_s, {delta}, u"k-csa-1"_s), QString());
    EXPECT_EQ(Billed(1), 6.0);
    // The write applied once is audited once; the replays and the conflict
    // add no record.
    EXPECT_EQ(Count(u"SELECT COUNT(*) FROM APH_AUDITORIA WHERE DSEVENTO LIKE 'SetCSA%'"_s), 1);
}

TEST_F(RequestKeyTest, ARepeatedSetChtGeneratesNothingMore)
{
    EXPECT_EQ(Keyed(u"SetCHT"_s, GenerateAll(), u"k-cht-1"_s), QString());
    const int chts = Count(u"SELECT COUNT(*) FROM CHT WHERE CDOPERINCL = 'ANA'"_s);
    ASSERT_GT(chts, 0);
    // A day recorded after the generation: a second generation would bill
    // it, the repeat of the first must not.
    AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, Day(2030, 3, 3), 8);
    EXPECT_EQ(Keyed(u"SetCHT"_s, GenerateAll(), u"k-cht-1"_s), QString());
    EXPECT_EQ(Count(u"SELECT COUNT(*) FROM CHT WHERE CDOPERINCL = 'ANA'"_s), chts);
    EXPECT_EQ(Count(u"SELECT COUNT(*) FROM CSA WHERE NRSEQUCHT IS NULL AND DTSERVPREST = ?"_s,
                    {static_cast<qint64>(Day(2030, 3, 3))}),
              1);
    EXPECT_EQ(Keyed(u"SetCHT"_s, GenerateAll(), u"k-cht-2"_s), QString());
    EXPECT_EQ(Count(u"SELECT COUNT(*) FROM CHT WHERE CDOPERINCL = 'ANA'"_s), chts + 1);
    // The repeat tells what the first generation made, not what it did now.
    const QJsonObject repeat = m_client->Call(u"SetCHT"_s, GenerateAll(), u"k-cht-1"_s).toObject();
    EXPECT_EQ(repeat.value(u"generated"_s).toObject().value(u"chts"_s).toInt(), chts);
    // Two generations applied, two records; the repeats add none.
    EXPECT_EQ(Count(u"SELECT COUNT(*) FROM APH_AUDITORIA WHERE DSEVENTO LIKE 'SetCHT %' AND "
                    "CDOPERADOR = 'ANA' AND CDOPERCONEXAO = 'ANA'"_s),
              2);
    EXPECT_EQ(Count(u"SELECT COUNT(*) FROM APH_AUDITORIA WHERE DSEVENTO = ?"_s,
                    {u"SetCHT %1 a %2: %3 CHTs"_s.arg(kMar1).arg(kMar31).arg(chts)}),
              chts == 1 ? 2 : 1);
}

TEST_F(RequestKeyTest, AKeyReusedForAnotherRequestIsRefusedAndWritesNothing)
{
    EXPECT_EQ(Keyed(u"SetCSA"_s, {Approve(0, 6)}, u"k-1"_s), QString());
    int code = 0;
    const QString other = Keyed(u"SetCSA"_s, {Approve(1, 5)}, u"k-1"_s, &code);
    EXPECT_EQ(code, -32005);
    EXPECT_TRUE(other.contains(u"k-1"_s)) << other.toStdString();
    EXPECT_EQ(Billed(2), 0.0) << "the other day is not approved";
    code = 0;
    Keyed(u"SetCHT"_s, GenerateAll(), u"k-1"_s, &code);
    EXPECT_EQ(code, -32005) << "another method";
    EXPECT_EQ(Count(u"SELECT COUNT(*) FROM CHT WHERE CDOPERINCL = 'ANA'"_s), 0);
}

TEST_F(RequestKeyTest, ARefusedWriteLeavesItsKeyUnused)
{
    // Above the hours worked: refused, nothing written, the key neither.
    EXPECT_EQ(Keyed(u"SetCSA"_s, {Approve(0, 9)}, u"k-refused"_s),
              u"CSA do dia 01/03/2030: Quantidade de Horas Normais para Faturamento deve ser "
              "menor ou igual à Quantidade de Horas Trabalhadas."_s);
    EXPECT_EQ(Count(u"SELECT COUNT(*) FROM APH_REQUISICAO"_s), 0);
    EXPECT_EQ(Keyed(u"SetCSA"_s, {Approve(0, 7)}, u"k-refused"_s), QString());
    EXPECT_EQ(Billed(1), 7.0);
}

TEST_F(RequestKeyTest, KeysThatAreNoShortTextAreInvalidRequests)
{
    for (const QByteArray& key :
         {QByteArray("17"), QByteArray("\"\""), QByteArray('"' + QByteArray(65, 'k') + '"')}) {
        const QJsonObject reply =
            m_client
                ->SendRaw(R"({"jsonrpc":"2.0","id":1,"method":"SetCHT","params":[],"requestKey":)" +
                          key + '}')
                .toObject();
        EXPECT_EQ(reply.value(u"error").toObject().value(u"code").toInt(), -32600) << key.data();
    }
}

TEST_F(RequestKeyTest, ADatabaseOfTheFirstSchemaGetsTheKeyTableOnInit)
{
    m_server.reset();
    m_client.reset();
    DowngradeToVersion5();
    m_db->ExecDirect(u"DROP TABLE APH_REQUISICAO"_s);
    m_db->ExecDirect(u"DROP VIEW APH_HISTCSA"_s);
    for (const char* table : {"APH_HISTEVENTO", "APH_HISTGERACAO", "APH_HISTGERCSA"})
        m_db->ExecDirect(u"DROP TABLE %1"_s.arg(QLatin1String(table)));
    for (const char* column : {"DTEXPIRA", "DTULTIMOUSO", "DSPREFIXO"})
        m_db->ExecDirect(u"ALTER TABLE APH_TOKEN DROP COLUMN %1"_s.arg(QLatin1String(column)));
    m_db->Exec(u"UPDATE APH_VERSAO SET NRVERSAO = 1"_s);
    QString err;
    EXPECT_NE(RunServerCommand({u"serve"_s, m_db->Spec(), u"--port"_s, u"0"_s}, nullptr, &err), 0);
    EXPECT_TRUE(err.contains(u"aph-server init"_s)) << err.toStdString();
    EXPECT_EQ(RunServerCommand({u"init"_s, m_db->Spec()}, nullptr, &err), 0) << err.toStdString();
    EXPECT_EQ(Count(u"SELECT NRVERSAO FROM APH_VERSAO"_s), kSchemaVersion);
    // A token issued before tokens had a lifetime gets one, and still logs in.
    EXPECT_EQ(Count(u"SELECT COUNT(*) FROM APH_TOKEN WHERE DTEXPIRA > DTCRIACAO"_s), 1);
    StartServer();
    EXPECT_EQ(Keyed(u"SetCSA"_s, {Approve(0, 6)}, u"k-upgraded"_s), QString());
    EXPECT_EQ(Count(u"SELECT COUNT(*) FROM APH_REQUISICAO"_s), 1);
}

// Keys past --keep-requests-days are purged in the background, a batch at
// a time until none is left; younger keys and the audit stay.
TEST_F(RequestKeyTest, KeysPastTheirDaysArePurgedAndTheRestStay)
{
    const double today = QDate(1899, 12, 30).daysTo(QDate::currentDate());
    const auto add = [this](const QString& key, double day) {
        m_db->Exec(u"INSERT INTO APH_REQUISICAO (DSCHAVE, NMMETODO, DSRESUMO, DTREQUISICAO, "
                   "DSRESPOSTA) VALUES (?, 'SetCSA', 'x', ?, '{}')"_s,
                   {key, day});
    };
    for (int i = 0; i < 1200; ++i) // more than two batches
        add(u"velha-%1"_s.arg(i), today - 31 - i % 5);
    add(u"nova"_s, today - 29);
    const int audit = m_db->Scalar(u"SELECT COUNT(*) FROM APH_AUDITORIA"_s).toInt();
    StartServer({u"--keep-requests-days"_s, u"30"_s});
    const QDeadlineTimer deadline(30000);
    int left = -1;
    while (!deadline.hasExpired() &&
           (left = m_db->Scalar(u"SELECT COUNT(*) FROM APH_REQUISICAO WHERE DSCHAVE LIKE "
                                "'velha-%'"_s)
                       .toInt()) > 0)
        QThread::msleep(100);
    EXPECT_EQ(left, 0);
    EXPECT_EQ(m_db->Scalar(u"SELECT COUNT(*) FROM APH_REQUISICAO WHERE DSCHAVE = 'nova'"_s).toInt(),
              1);
    EXPECT_GE(m_db->Scalar(u"SELECT COUNT(*) FROM APH_AUDITORIA"_s).toInt(), audit);
}
