// SetCSA: approvals saved all or nothing, every refusal, and conflicting
// edits from two connections.
#include "host/data/packetcodec.h"
#include "tests/support/serverfixture.h"

#include <latch>
#include <thread>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

const double kMar1 = Day(2030, 3, 1);
const double kMar31 = Day(2030, 3, 31);

using TChanges = std::vector<std::pair<const char*, Value>>;

Value N(double v)
{
    return Value::FromNumber(v);
}

Value T(const char* s)
{
    return Value::FromString(QString::fromUtf8(s));
}

// TF1 on TP1/01/001: 1, 2 and 3 March without CHT (8 h each); 4 March
// worked 7.49999 h. TF2: CHTs 90011 (pending), 90012 (approved), 90013
// (billed) on the same service, one CSA each.
class SetCsaTest : public ServerTest
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
        AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, Day(2030, 3, 4), 7.49999);
        const char* statuses[] = {"P", "A", "R"};
        for (int i = 0; i < 3; ++i) {
            const QString cht = u"9001%1"_s.arg(i + 1);
            AddCht(cht, u"TP1"_s, u"01"_s, u"001"_s, u"TF2"_s, u"02"_s,
                   QString::fromUtf8(statuses[i]));
            AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF2"_s, u"02"_s, Day(2030, 3, 10 + i), 8, cht, 8,
                   8);
        }
    }

    TDataPacket Free(TRpcClient& client)
    {
        return Checked(client, u"GetCSA"_s,
                       {u"TC1"_s, u"TF1"_s, kMar1, kMar31, u"DES"_s, u"TP1"_s, u"01"_s, QString(),
                        u"N"_s, u"01"_s});
    }
    TDataPacket Free() { return Free(*m_client); }
    TDataPacket OfCht(const QString& cht)
    {
        return Checked(u"GetCSA"_s, {u"TC1"_s, u"TF2"_s, kMar1, kMar31, u"DES"_s, u"TP1"_s, u"01"_s,
                                     cht, u"S"_s, u"02"_s});
    }

    // A delta over rows of a GetCSA packet, as the screen's dataset makes it.
    static QJsonObject Delta(const TDataPacket& p,
                             const std::vector<std::pair<std::size_t, TChanges>>& records,
                             TDeltaRecord::Kind op = TDeltaRecord::Kind::Modify)
    {
        TDelta delta;
        delta.Fields = p.Fields;
        for (const auto& [row, changes] : records) {
            TDeltaRecord rec;
            rec.Op = op;
            if (op != TDeltaRecord::Kind::Insert)
                rec.Original = *p.Rows[row];
            if (op != TDeltaRecord::Kind::Delete)
                for (const auto& [name, value] : changes)
                    rec.New.emplace_back(p.FieldIndex(QString::fromLatin1(name)), value);
            delta.Records.push_back(std::move(rec));
        }
        return DeltaToJson(delta);
    }

    // The server's answer: empty when saved, else the refusal's message.
    QString Save(TRpcClient& client, const QJsonObject& delta)
    {
        try {
            Checked(client, u"SetCSA"_s, {delta});
            return QString();
        } catch (const EServerError& e) {
            return e.Message();
        }
    }
    QString Save(const QJsonObject& delta) { return Save(*m_client, delta); }

    QVariantList Stored(const char* employee, double day)
    {
        const QList<QVariantList> rows = m_db->Rows(
            u"SELECT QTHRAPROFATU, QTHRAPRCOMIS, CDGRPOCOR, CDOCORR, QTHRTRAB FROM CSA WHERE "
            "CDFUNC = ? AND DTSERVPREST = ?"_s,
            {QString::fromUtf8(employee), static_cast<qint64>(day)});
        return rows.value(0);
    }
};

} // namespace

TEST_F(SetCsaTest, ApprovalsAndOccurrenceAreSavedAndReadBack)
{
    const TDataPacket p = Free();
    ASSERT_EQ(p.Rows.size(), 4u);
    EXPECT_EQ(Save(Delta(p, {{0,
                              {{"QTHRAPROFATU", N(7)},
                               {"QTHRAPRCOMIS", N(6.5)},
                               {"CDGRPOCOR", T("01")},
                               {"CDOCORR", T("02")},
                               {"DSOCORR", T("Atestado médico")}}},
                             {1, {{"QTHRAPROFATU", N(8)}, {"QTHRAPRCOMIS", N(8)}}}})),
              QString());
    const TDataPacket back = Free();
    EXPECT_EQ(Column(back, "QTHRAPROFATU").mid(0, 2), (QStringList{u"7"_s, u"8"_s}));
    EXPECT_EQ(Column(back, "QTHRAPRCOMIS").mid(0, 2), (QStringList{u"6.5"_s, u"8"_s}));
    EXPECT_EQ(Column(back, "DSOCORR")[0], u"Atestado médico"_s);

    // Clearing the occurrence with equal hours again.
    EXPECT_EQ(Save(Delta(back, {{0,
                                 {{"QTHRAPRCOMIS", N(8)},
                                  {"CDGRPOCOR", T("")},
                                  {"CDOCORR", T("")},
                                  {"DSOCORR", Value()}}}})),
              QString());
    EXPECT_TRUE(Stored("TF1", kMar1)[3].isNull());
}

TEST_F(SetCsaTest, EveryRuleRefusesNamingTheDayAndStoresNothing)
{
    const TDataPacket p = Free();
    const QVariantList before = Stored("TF1", kMar1);
    const std::vector<std::pair<TChanges, const char*>> cases = {
        {{{"QTHRAPROFATU", N(8.5)}}, "Faturamento"},
        {{{"QTHRAPRCOMIS", N(9)}, {"CDGRPOCOR", T("01")}, {"CDOCORR", T("01")}}, "Comissão"},
        {{{"QTHRAPROFATU", N(-1)}}, "negativa"},
        {{{"QTHRAPRCOMIS", N(-0.5)}, {"CDGRPOCOR", T("01")}, {"CDOCORR", T("01")}}, "negativa"},
        {{{"CDGRPOCOR", T("09")}, {"CDOCORR", T("09")}}, "não existe"},
        {{{"CDOCORR", T("01")}}, "grupo e código"},
        {{{"QTHRAPRCOMIS", N(7)}}, "Ocorrência deve ser informada"},
        {{{"QTHRTRAB", N(10)}}, "QTHRTRAB"},
        {{{"NRSEQUCHT", T("90011")}}, "NRSEQUCHT"},
    };
    for (const auto& [changes, expected] : cases) {
        const QString message = Save(Delta(p, {{0, changes}}));
        EXPECT_TRUE(message.contains(QString::fromUtf8(expected)))
            << expected << ": " << message.toStdString();
        EXPECT_TRUE(message.contains(u"01/03/2030"_s)) << message.toStdString();
    }
    EXPECT_EQ(Stored("TF1", kMar1), before);
}

TEST_F(SetCsaTest, HoursAreComparedAtFiveDecimalsAndThousandths)
{
    const TDataPacket p = Free();
    // 7.49999 worked: 7.5 is above it, 7.499991 rounds to it.
    EXPECT_TRUE(Save(Delta(p, {{3, {{"QTHRAPROFATU", N(7.5)}}}})).contains(u"04/03/2030"_s));
    EXPECT_EQ(Save(Delta(p, {{3, {{"QTHRAPROFATU", N(7.499991)}}}})), QString());
    // Commission within the same thousandth of an hour needs no occurrence.
    EXPECT_EQ(Save(Delta(Free(), {{3, {{"QTHRAPRCOMIS", N(7.4995)}}}})), QString());
    EXPECT_EQ(Save(Delta(Free(), {{3, {{"QTHRAPRCOMIS", N(7.4989)}}}})),
              u"CSA do dia 04/03/2030: Ocorrência deve ser informada, pois as horas aprovadas "
              "para comissão diferem das horas trabalhadas."_s);
}

TEST_F(SetCsaTest, HoursAreRoundedAsTheScreenRoundsThem)
{
    // 2.099995 lies just below its decimal form in binary; rounded half away
    // from zero at five decimals from that form it is 2.1, as the screen
    // shows it, so 2.1 approved is not above it. 2.09999 stays below 2.1.
    AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, Day(2030, 3, 5), 2.099995);
    AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, Day(2030, 3, 6), 2.09999);
    const std::size_t boundary = 4, below = 5;
    // The commission differs from the hours worked in the thousandths, so
    // it comes with an occurrence: only the comparison with the hours is
    // left to refuse it.
    const TChanges commission = {
        {"QTHRAPRCOMIS", N(2.1)}, {"CDGRPOCOR", T("01")}, {"CDOCORR", T("01")}};

    ASSERT_EQ(Free().Rows.size(), 6u);
    const QString billedAtBoundary = Save(Delta(Free(), {{boundary, {{"QTHRAPROFATU", N(2.1)}}}}));
    EXPECT_TRUE(billedAtBoundary.isEmpty()) << billedAtBoundary.toStdString();
    const QString commissionedAtBoundary = Save(Delta(Free(), {{boundary, commission}}));
    EXPECT_TRUE(commissionedAtBoundary.isEmpty()) << commissionedAtBoundary.toStdString();
    EXPECT_EQ(Stored("TF1", Day(2030, 3, 5))[0].toDouble(), 2.1);
    EXPECT_EQ(Stored("TF1", Day(2030, 3, 5))[1].toDouble(), 2.1);

    const TDataPacket p = Free();
    const QString billed = Save(Delta(p, {{below, {{"QTHRAPROFATU", N(2.1)}}}}));
    EXPECT_TRUE(billed.contains(u"CSA do dia 06/03/2030: Quantidade de Horas Normais para "
                                "Faturamento deve ser menor ou igual à Quantidade de Horas "
                                "Trabalhadas."_s))
        << billed.toStdString();
    const QString commissioned = Save(Delta(p, {{below, commission}}));
    EXPECT_TRUE(commissioned.contains(u"CSA do dia 06/03/2030: Quantidade de Horas Aprovadas para "
                                      "Comissão deve ser menor ou igual à Quantidade de Horas "
                                      "Trabalhadas."_s))
        << commissioned.toStdString();
    EXPECT_TRUE(Stored("TF1", Day(2030, 3, 6))[0].isNull());
    EXPECT_TRUE(Stored("TF1", Day(2030, 3, 6))[1].isNull());
}

TEST_F(SetCsaTest, OnlyChangesOfExistingCsasAreAccepted)
{
    const TDataPacket p = Free();
    EXPECT_TRUE(Save(Delta(p, {{0, {}}}, TDeltaRecord::Kind::Delete)).contains(u"excluir"_s));
    TDataPacket gone = p;
    auto row = std::make_shared<TRowValues>(*p.Rows[0]);
    (*row)[static_cast<std::size_t>(p.FieldIndex(u"DTSERVPREST"_s))] = N(Day(2030, 3, 25));
    gone.Rows[0] = row;
    EXPECT_TRUE(Save(Delta(gone, {{0, {{"QTHRAPROFATU", N(1)}}}})).contains(u"não existe"_s));
    EXPECT_EQ(m_db->Scalar(u"SELECT COUNT(*) FROM CSA WHERE CDFUNC = 'TF1'"_s).toInt(), 4);
}

TEST_F(SetCsaTest, CsasOfApprovedOrBilledChtsCannotChange)
{
    EXPECT_EQ(Save(Delta(OfCht(u"90011"_s), {{0, {{"QTHRAPROFATU", N(7)}}}})), QString());
    EXPECT_TRUE(
        Save(Delta(OfCht(u"90012"_s), {{0, {{"QTHRAPROFATU", N(7)}}}})).contains(u"aprovada"_s));
    EXPECT_TRUE(
        Save(Delta(OfCht(u"90013"_s), {{0, {{"QTHRAPROFATU", N(7)}}}})).contains(u"faturada"_s));
    EXPECT_EQ(Stored("TF2", Day(2030, 3, 11))[0].toDouble(), 8.0);
    EXPECT_EQ(Stored("TF2", Day(2030, 3, 12))[0].toDouble(), 8.0);
}

TEST_F(SetCsaTest, ADeltaIsAppliedAllOrNothing)
{
    const TDataPacket p = Free();
    const QString message = Save(Delta(p, {{0, {{"QTHRAPROFATU", N(5)}}},
                                           {1, {{"QTHRAPROFATU", N(6)}}},
                                           {2, {{"QTHRAPROFATU", N(99)}}}}));
    EXPECT_TRUE(message.contains(u"03/03/2030"_s)) << message.toStdString();
    EXPECT_TRUE(Stored("TF1", kMar1)[0].isNull());
    EXPECT_TRUE(Stored("TF1", Day(2030, 3, 2))[0].isNull());
}

TEST_F(SetCsaTest, AStaleDeltaIsAConflictAndLosesNoUpdate)
{
    auto other = NewClient();
    const TDataPacket mine = Free();
    const TDataPacket theirs = Free(*other);
    EXPECT_EQ(Save(*other, Delta(theirs, {{1, {{"QTHRAPROFATU", N(6)}}}})), QString());
    const QString message = Save(Delta(mine, {{1, {{"QTHRAPROFATU", N(7)}}}}));
    EXPECT_TRUE(message.contains(u"outro usuário"_s)) << message.toStdString();
    EXPECT_TRUE(message.contains(u"02/03/2030"_s)) << message.toStdString();
    EXPECT_EQ(Stored("TF1", Day(2030, 3, 2))[0].toDouble(), 6.0);
    // After reloading, the same edit goes through.
    EXPECT_EQ(Save(Delta(Free(), {{1, {{"QTHRAPROFATU", N(7)}}}})), QString());
}

TEST_F(SetCsaTest, ConcurrentEditsOfOneDayLetExactlyOneWin)
{
    constexpr int kClients = 4;
    std::vector<QString> answers(kClients);
    std::latch loaded(kClients);
    std::vector<std::thread> threads;
    for (int i = 0; i < kClients; ++i)
        threads.emplace_back([&, i] {
            // Each connection lives in its own thread, as in separate desktops.
            auto client = NewClient();
            const TDataPacket packet = Free(*client);
            loaded.arrive_and_wait(); // all have read the same day before anyone saves
            answers[static_cast<std::size_t>(i)] =
                Save(*client, Delta(packet, {{2, {{"QTHRAPROFATU", N(1 + i)}}}}));
        });
    for (std::thread& t : threads)
        t.join();
    int winners = 0;
    double winner = -1;
    for (int i = 0; i < kClients; ++i)
        if (answers[static_cast<std::size_t>(i)].isEmpty()) {
            ++winners;
            winner = 1 + i;
        } else {
            EXPECT_TRUE(answers[static_cast<std::size_t>(i)].contains(u"outro usuário"_s));
        }
    EXPECT_EQ(winners, 1);
    EXPECT_EQ(Stored("TF1", Day(2030, 3, 3))[0].toDouble(), winner);
}

TEST_F(SetCsaTest, AMalformedDeltaIsAnInvalidParamsError)
{
    QJsonObject delta = Delta(Free(), {{0, {{"QTHRAPROFATU", N(1)}}}});
    QJsonArray fields = delta.value(u"fields"_s).toArray();
    fields.removeAt(17); // INCLUSAO
    QJsonObject rec = delta.value(u"records"_s).toArray().at(0).toObject();
    QJsonArray old = rec.value(u"old"_s).toArray();
    old.removeAt(17);
    rec.insert(u"old"_s, old);
    delta.insert(u"fields"_s, fields);
    delta.insert(u"records"_s, QJsonArray{rec});
    // Codes wider than the dataset's never reach the database.
    QJsonObject wide = Delta(Free(), {{0, {{"CDOCORR", T("0123456789")}}}});
    QJsonArray wideFields = wide.value(u"fields"_s).toArray();
    QJsonObject code = wideFields.at(1).toObject();
    code.insert(u"size"_s, 100);
    wideFields.replace(1, code);
    wide.insert(u"fields"_s, wideFields);
    for (const QJsonValue& bad :
         {QJsonValue(delta), QJsonValue(wide), QJsonValue(u"texto"_s), QJsonValue(QJsonObject{})}) {
        try {
            m_client->Call(u"SetCSA"_s, {bad});
            ADD_FAILURE();
        } catch (const ERpcError& e) {
            EXPECT_EQ(e.Code(), -32602) << e.what();
        }
    }
    EXPECT_TRUE(Stored("TF1", kMar1)[0].isNull());
}

// PostgreSQL locks the CSAs a save changes one by one: a save must take
// them in the key order, as a generation does, or the two can deadlock.
// Another transaction holds 1 March; a save of 3 and 1 March (in that
// order) waits for it without having taken 3 March.
TEST_F(SetCsaTest, ASaveLocksItsDaysInKeyOrder)
{
    if (!TTestDatabase::UsesPostgres())
        GTEST_SKIP() << "SQLite locks the whole file for a write";
    const TDataPacket p = Free();
    m_db->ExecDirect(u"BEGIN"_s);
    m_db->Exec(u"SELECT 1 FROM CSA WHERE CDFUNC = 'TF1' AND DTSERVPREST = ? FOR UPDATE"_s,
               {static_cast<qint64>(kMar1)});
    QString answer = u"not answered"_s;
    std::thread saver([&] {
        auto client = NewClient();
        answer =
            Save(*client, Delta(p, {{2, {{"QTHRAPROFATU", N(5)}}}, {0, {{"QTHRAPROFATU", N(4)}}}}));
    });
    const bool waiting = m_db->AwaitLockWait();
    // Not taken by the save, which would have it if it locked in the order
    // of its delta.
    const bool thirdFree =
        m_db->LockedAtOnce(u"SELECT 1 FROM CSA WHERE CDFUNC = 'TF1' AND DTSERVPREST = ?"_s,
                           {static_cast<qint64>(Day(2030, 3, 3))});
    m_db->ExecDirect(u"ROLLBACK"_s);
    saver.join();
    EXPECT_TRUE(waiting);
    EXPECT_TRUE(thirdFree);
    EXPECT_EQ(answer, QString());
    EXPECT_EQ(Stored("TF1", kMar1)[0].toDouble(), 4.0);
    EXPECT_EQ(Stored("TF1", Day(2030, 3, 3))[0].toDouble(), 5.0);
}
