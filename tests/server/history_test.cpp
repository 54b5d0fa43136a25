// The history of a day (APH_HISTCSA, GetHistCSA): every save, generation
// and situation change leaves its rows in the change's own transaction; a
// refused save and a replayed key leave none.
#include "host/data/formatsettings.h"
#include "host/data/packetcodec.h"
#include "server/storage/schema.h"
#include "tests/support/serverfixture.h"

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

const double kMar1 = Day(2030, 3, 1);
const double kMar31 = Day(2030, 3, 31);

using TChanges = std::vector<std::pair<const char*, Value>>;

// TF1 on TP1/01/001: 1, 2 and 3 March without CHT, 8 h each.
class HistoryTest : public ServerTest
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

    TDataPacket Free()
    {
        return Checked(u"GetCSA"_s, {u"TC1"_s, u"TF1"_s, kMar1, kMar31, u"DES"_s, u"TP1"_s, u"01"_s,
                                     QString(), u"N"_s, u"01"_s});
    }
    // A delta changing rows of a GetCSA packet.
    static QJsonObject Delta(const TDataPacket& p,
                             const std::vector<std::pair<std::size_t, TChanges>>& records)
    {
        TDelta delta;
        delta.Fields = p.Fields;
        for (const auto& [row, changes] : records) {
            TDeltaRecord rec;
            rec.Op = TDeltaRecord::Kind::Modify;
            rec.Original = *p.Rows[row];
            for (const auto& [name, value] : changes)
                rec.New.emplace_back(p.FieldIndex(QString::fromLatin1(name)), value);
            delta.Records.push_back(std::move(rec));
        }
        return DeltaToJson(delta);
    }
    // The save's refusal message, empty when it was saved.
    QString Save(const QJsonObject& delta, const QString& key = QString())
    {
        try {
            CheckedPacket(m_client->Call(u"SetCSA"_s, {delta}, key));
            return QString();
        } catch (const EServerError& e) {
            return e.Message();
        }
    }
    TDataPacket History(int day, const QString& employee = u"TF1"_s)
    {
        return Checked(u"GetHistCSA"_s, {u"TP1"_s, u"01"_s, u"001"_s, employee, Day(2030, 3, day)});
    }
    // TF1's CSAs in the CHT, whatever the period.
    TDataPacket InCht(const QString& cht)
    {
        return Checked(u"GetCSA"_s, {u"TC1"_s, u"TF1"_s, kMar1, kMar31, u"DES"_s, u"TP1"_s, u"01"_s,
                                     cht, u"S"_s, u"01"_s});
    }
    QString ChtOf(const char* employee, int day)
    {
        return m_db
            ->Scalar(u"SELECT NRSEQUCHT FROM CSA WHERE CDFUNC = ? AND DTSERVPREST = ?"_s,
                     {QString::fromLatin1(employee), static_cast<qint64>(Day(2030, 3, day))})
            .toString();
    }
    int Rows() { return m_db->Scalar(u"SELECT COUNT(*) FROM APH_HISTCSA"_s).toInt(); }
    // The day's history as "IDEVENTO|QTHRAPROFATU_ANT|QTHRAPROFATU|
    // QTHRAPRCOMIS_ANT|QTHRAPRCOMIS|CDOCORR|NRSEQUCHT|IDSTATUSCHT|DSCHAVE"
    // lines, oldest first, one after the other.
    static std::string Events(const TDataPacket& p)
    {
        QStringList lines;
        for (std::size_t i = 0; i < p.Rows.size(); ++i) {
            QStringList cells;
            for (const char* f :
                 {"IDEVENTO", "QTHRAPROFATU_ANT", "QTHRAPROFATU", "QTHRAPRCOMIS_ANT",
                  "QTHRAPRCOMIS", "CDOCORR", "NRSEQUCHT", "IDSTATUSCHT", "DSCHAVE"})
                cells << At(p, i, f);
            lines << cells.join(u'|');
        }
        return lines.join(u" / "_s).toStdString();
    }
    // One history row's cells by field name, as text ("" for null).
    static QString At(const TDataPacket& p, std::size_t row, const char* field)
    {
        const Value& v =
            (*p.Rows[row])[static_cast<std::size_t>(p.FieldIndex(QString::fromLatin1(field)))];
        return v.IsNull() ? QString() : v.IsNumber() ? QString::number(v.ToNumber()) : v.ToString();
    }
};

std::string Lines(const QStringList& lines)
{
    return lines.join(u" / "_s).toStdString();
}

Value N(double v)
{
    return Value::FromNumber(v);
}

Value T(const char* s)
{
    return Value::FromString(QString::fromUtf8(s));
}

} // namespace

TEST_F(HistoryTest, EditsAGenerationAndASituationChangeAreEachADaysHistory)
{
    // A save of two days, one of which changes nothing it had.
    TDataPacket p = Free();
    ASSERT_EQ(Save(Delta(p, {{0,
                              {{"QTHRAPROFATU", N(7)},
                               {"QTHRAPRCOMIS", N(6.5)},
                               {"CDGRPOCOR", T("01")},
                               {"CDOCORR", T("02")},
                               {"DSOCORR", T("Atestado médico")}}},
                             {1, {{"QTHRAPROFATU", Value()}}}})),
              QString());
    EXPECT_EQ(Rows(), 1);
    p = Free();
    ASSERT_EQ(Save(Delta(p, {{0, {{"QTHRAPROFATU", N(7.5)}}}})), QString());
    // The CHT takes the three days; then it is approved, and approving it
    // again changes nothing.
    Checked(u"SetCHT"_s, {kMar1, kMar31, u"ANA"_s, u"T"_s, u"T"_s, u"T"_s, u"T"_s, u"T"_s, u"T"_s});
    const QString cht =
        m_db->Scalar(u"SELECT NRSEQUCHT FROM CSA WHERE CDFUNC = 'TF1' AND DTSERVPREST = ?"_s,
                     {static_cast<qint64>(kMar1)})
            .toString();
    ASSERT_EQ(cht.size(), 5);
    EXPECT_EQ(RunServerCommand({u"cht-status"_s, m_db->Spec(), cht, u"A"_s}), 0);
    EXPECT_EQ(RunServerCommand({u"cht-status"_s, m_db->Spec(), cht, u"A"_s}), 0);
    EXPECT_EQ(Rows(), 2 + 3 + 3);

    const TDataPacket h = History(1);
    ASSERT_EQ(h.Rows.size(), 4u);
    QStringList fields;
    for (const TFieldDef& f : h.Fields)
        fields << f.Name;
    EXPECT_EQ(fields.join(u','),
              u"DTEVENTO,CDOPERADOR,NMOPERADOR,IDEVENTO,QTHRAPROFATU_ANT,QTHRAPROFATU,"
              "QTHRAPRCOMIS_ANT,QTHRAPRCOMIS,CDOCORR_ANT,CDOCORR,NRSEQUCHT,IDSTATUSCHT_ANT,"
              "IDSTATUSCHT,DSCHAVE,DSMOTIVO,NRNOTAFISCAL"_s);
    const QString anaName =
        m_db->Scalar(u"SELECT NMOPERADOR FROM OPERADOR WHERE CDOPERADOR = 'ANA'"_s).toString();
    const auto row = [&](std::size_t i) {
        QStringList cells;
        for (const char* f : {"CDOPERADOR", "NMOPERADOR", "IDEVENTO", "QTHRAPROFATU_ANT",
                              "QTHRAPROFATU", "QTHRAPRCOMIS_ANT", "QTHRAPRCOMIS", "CDOCORR_ANT",
                              "CDOCORR", "NRSEQUCHT", "IDSTATUSCHT_ANT", "IDSTATUSCHT", "DSCHAVE"})
            cells << At(h, i, f);
        return cells.join(u'|').toStdString();
    };
    EXPECT_EQ(row(0), u"ANA|%1|A||7||6.5||02||||"_s.arg(anaName).toStdString());
    EXPECT_EQ(row(1), u"ANA|%1|A|7|7.5|6.5|6.5|02|02||||"_s.arg(anaName).toStdString());
    EXPECT_EQ(row(2), u"ANA|%1|G|7.5|7.5|6.5|6.5|02|02|%2||P|"_s.arg(anaName, cht).toStdString());
    // The command line has no login: an empty operator without a name.
    EXPECT_EQ(row(3), u"||S|7.5|7.5|6.5|6.5|02|02|%1|P|A|"_s.arg(cht).toStdString());
    for (std::size_t i = 1; i < h.Rows.size(); ++i)
        EXPECT_GE(At(h, i, "DTEVENTO").toDouble(), At(h, i - 1, "DTEVENTO").toDouble());
    // Events are stamped with the moment they happened.
    EXPECT_NEAR(At(h, 0, "DTEVENTO").toDouble(), Today(), 1.0);

    // The generation filled the empty approvals of 2 March with the hours
    // worked; the last row of each day is what the database holds.
    const TDataPacket second = History(2);
    ASSERT_EQ(second.Rows.size(), 2u);
    EXPECT_EQ(At(second, 0, "IDEVENTO"), u"G"_s);
    EXPECT_EQ(At(second, 0, "QTHRAPROFATU_ANT"), QString());
    EXPECT_EQ(At(second, 0, "QTHRAPROFATU"), u"8"_s);
    for (int day = 1; day <= 3; ++day) {
        const TDataPacket d = History(day);
        ASSERT_FALSE(d.Rows.empty());
        const std::size_t last = d.Rows.size() - 1;
        const QList<QVariantList> stored = m_db->Rows(
            u"SELECT C.QTHRAPROFATU, C.QTHRAPRCOMIS, C.CDOCORR, C.NRSEQUCHT, H.IDSTATUSCHT FROM "
            "CSA C JOIN CHT H ON H.NRSEQUCHT = C.NRSEQUCHT WHERE C.CDFUNC = 'TF1' AND "
            "C.DTSERVPREST = ?"_s,
            {static_cast<qint64>(Day(2030, 3, day))});
        ASSERT_EQ(stored.size(), 1);
        EXPECT_EQ(At(d, last, "QTHRAPROFATU"), QString::number(stored[0][0].toDouble()));
        EXPECT_EQ(At(d, last, "QTHRAPRCOMIS"), QString::number(stored[0][1].toDouble()));
        EXPECT_EQ(At(d, last, "CDOCORR"), stored[0][2].toString());
        EXPECT_EQ(At(d, last, "NRSEQUCHT"), stored[0][3].toString());
        EXPECT_EQ(At(d, last, "IDSTATUSCHT"), stored[0][4].toString());
    }
}

TEST_F(HistoryTest, ARefusedSaveAndAReplayedKeyAddNothing)
{
    TDataPacket p = Free();
    // Two days in one save, the second refused: neither leaves a row.
    EXPECT_FALSE(
        Save(Delta(p, {{0, {{"QTHRAPROFATU", N(6)}}}, {1, {{"QTHRAPROFATU", N(9)}}}})).isEmpty());
    EXPECT_EQ(Rows(), 0);

    const QJsonObject approve = Delta(p, {{2, {{"QTHRAPROFATU", N(6)}}}});
    ASSERT_EQ(Save(approve, u"chave-historico-1"_s), QString());
    ASSERT_EQ(Save(approve, u"chave-historico-1"_s), QString());
    EXPECT_EQ(Rows(), 1);
    const TDataPacket h = History(3);
    ASSERT_EQ(h.Rows.size(), 1u);
    EXPECT_EQ(At(h, 0, "DSCHAVE"), u"chave-historico-1"_s);
    EXPECT_EQ(At(h, 0, "QTHRAPROFATU"), u"6"_s);

    // A keyed generation names its key too, and its replay adds nothing.
    const QJsonArray generate = {kMar1,  kMar31, u"ANA"_s, u"T"_s, u"T"_s,
                                 u"T"_s, u"T"_s, u"T"_s,   u"T"_s};
    CheckedPacket(m_client->Call(u"SetCHT"_s, generate, u"chave-historico-2"_s));
    CheckedPacket(m_client->Call(u"SetCHT"_s, generate, u"chave-historico-2"_s));
    EXPECT_EQ(Rows(), 4);
    EXPECT_EQ(
        m_db->Scalar(u"SELECT COUNT(*) FROM APH_HISTCSA WHERE IDEVENTO = 'G' AND DSCHAVE = ?"_s,
                     {u"chave-historico-2"_s})
            .toInt(),
        3);
}

TEST_F(HistoryTest, TheReadNeedsALoginAndTheDaysKey)
{
    const auto error = [](TRpcClient& client, const QJsonArray& params) {
        try {
            client.Call(u"GetHistCSA"_s, params);
        } catch (const ERpcError& e) {
            return e.Code();
        }
        return 0;
    };
    auto anonymous = NewClient(false);
    EXPECT_EQ(error(*anonymous, {u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, kMar1}), -32000);
    EXPECT_EQ(error(*m_client, {u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s}), -32602);
    EXPECT_EQ(error(*m_client, {u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01/03/2030"_s}), -32602);
    // A day without events has an empty history with its fields.
    const TDataPacket none = History(1);
    EXPECT_TRUE(none.Rows.empty());
    EXPECT_EQ(none.Fields.size(), 16);
}

// Each CSA's generation row says what its own approvals were and became,
// in its own CHT, however many CHTs the generation made; a later edit of
// the pending CHT is a row of its own and leaves the generation's as it
// was.
TEST_F(HistoryTest, EachDayOfAGenerationKeepsItsOwnApprovals)
{
    AddEmployee(u"TF3"_s, u"Funcionário Três"_s, u"01"_s);
    AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF3"_s, u"01"_s, Day(2030, 3, 1), 8, {}, 6.0, {});
    AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF3"_s, u"01"_s, Day(2030, 3, 2), 10, {}, {}, 9.5);
    const QJsonArray generate = {kMar1,  kMar31, u"ANA"_s, u"T"_s, u"T"_s,
                                 u"T"_s, u"T"_s, u"T"_s,   u"T"_s};
    CheckedPacket(m_client->Call(u"SetCHT"_s, generate, u"chave-geracao"_s));
    const QString first = ChtOf("TF1", 1), other = ChtOf("TF3", 1);
    ASSERT_EQ(first.size(), 5);
    ASSERT_EQ(other.size(), 5);
    ASSERT_NE(first, other);

    EXPECT_EQ(Events(History(1, u"TF3"_s)), Lines({u"G|6|6||8||%1|P|chave-geracao"_s.arg(other)}));
    EXPECT_EQ(Events(History(2, u"TF3"_s)),
              Lines({u"G||10|9.5|9.5||%1|P|chave-geracao"_s.arg(other)}));
    EXPECT_EQ(Events(History(3, u"TF3"_s)), std::string());
    for (int day = 1; day <= 3; ++day)
        EXPECT_EQ(Events(History(day)), Lines({u"G||8||8||%1|P|chave-geracao"_s.arg(first)}))
            << day;

    const TDataPacket p = InCht(first);
    ASSERT_EQ(p.Rows.size(), 3u);
    ASSERT_EQ(Save(Delta(p, {{1, {{"QTHRAPROFATU", N(7)}}}})), QString());
    EXPECT_EQ(Events(History(2)), Lines({u"G||8||8||%1|P|chave-geracao"_s.arg(first),
                                         u"A|8|7|8|8||%1||"_s.arg(first)}));
    EXPECT_EQ(Rows(), 3 + 2 + 1);
}

// A database of the previous schema kept a generation row per CSA in the
// one history table: after the upgrade those days answer as before, next
// to the days of generations made since.
TEST_F(HistoryTest, GenerationRowsOfThePreviousSchemaStillAnswer)
{
    m_client.reset();
    m_server.reset();
    DowngradeToVersion5();
    m_db->ExecDirect(u"DROP VIEW APH_HISTCSA"_s);
    m_db->ExecDirect(u"DROP TABLE APH_HISTGERCSA"_s);
    m_db->ExecDirect(u"DROP TABLE APH_HISTGERACAO"_s);
    m_db->ExecDirect(u"ALTER TABLE APH_HISTEVENTO RENAME TO APH_HISTCSA"_s);
    m_db->Exec(u"UPDATE APH_VERSAO SET NRVERSAO = 4"_s);
    // 1 and 2 March put into CHT 00900 yesterday, as that version wrote it.
    AddCht(u"00900"_s, u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, u"P"_s);
    const double yesterday = Today() - 1;
    for (int day = 1; day <= 2; ++day) {
        const qint64 d = static_cast<qint64>(Day(2030, 3, day));
        m_db->Exec(u"UPDATE CSA SET NRSEQUCHT = '00900', QTHRAPROFATU = 8, QTHRAPRCOMIS = 8 "
                   "WHERE CDFUNC = 'TF1' AND DTSERVPREST = ?"_s,
                   {d});
        m_db->Exec(u"INSERT INTO APH_HISTCSA (NRPROPOSFAS, NRVERPROPFAS, NRSERVCONT, CDFUNC, "
                   "DTSERVPREST, DTEVENTO, CDOPERADOR, IDEVENTO, QTHRAPROFATU_ANT, QTHRAPROFATU, "
                   "QTHRAPRCOMIS_ANT, QTHRAPRCOMIS, NRSEQUCHT, IDSTATUSCHT) VALUES ('TP1', '01', "
                   "'001', 'TF1', ?, ?, 'ANA', 'G', NULL, 8, NULL, 8, '00900', 'P')"_s,
                   {d, yesterday + day / 100.0});
    }
    QString err;
    ASSERT_EQ(RunServerCommand({u"init"_s, m_db->Spec()}, nullptr, &err), 0) << err.toStdString();
    EXPECT_EQ(m_db->Scalar(u"SELECT NRVERSAO FROM APH_VERSAO"_s).toInt(), kSchemaVersion);
    StartServer();

    const std::string before = Lines({u"G||8||8||00900|P|"_s});
    EXPECT_EQ(Events(History(1)), before);
    EXPECT_EQ(At(History(1), 0, "CDOPERADOR"), u"ANA"_s);
    EXPECT_NEAR(At(History(1), 0, "DTEVENTO").toDouble(), yesterday, 0.5);
    // A generation since then takes the day left; a situation change of the
    // old CHT follows its days' generation rows.
    Checked(u"SetCHT"_s, {kMar1, kMar31, u"ANA"_s, u"T"_s, u"T"_s, u"T"_s, u"T"_s, u"T"_s, u"T"_s});
    const QString cht = ChtOf("TF1", 3);
    ASSERT_EQ(cht.size(), 5);
    ASSERT_NE(cht, u"00900"_s);
    EXPECT_EQ(Events(History(3)), Lines({u"G||8||8||%1|P|"_s.arg(cht)}));
    EXPECT_EQ(Events(History(1)), before);
    EXPECT_EQ(RunServerCommand({u"cht-status"_s, m_db->Spec(), u"00900"_s, u"A"_s}), 0);
    EXPECT_EQ(Events(History(2)), Lines({u"G||8||8||00900|P|"_s, u"S|8|8|8|8||00900|A|"_s}));
    EXPECT_EQ(Rows(), 2 + 1 + 2);
}
