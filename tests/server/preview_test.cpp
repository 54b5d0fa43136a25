// GetPrevCHT: what a generation would bill, read without writing, and
// equal to what SetCHT then generates on the same data.
#include "host/data/packetcodec.h"
#include "tests/support/serverfixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <ostream>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

const double kMar1 = Day(2030, 3, 1);
const double kMar31 = Day(2030, 3, 31);

// The choices of one generation, as the screen sends them.
struct TChoice
{
    const char* Name;
    QString Clients, Employees, Proposals;
    double From = kMar1, To = kMar31;
};

// Named in the test output by its name.
void PrintTo(const TChoice& p, std::ostream* os)
{
    *os << p.Name;
}

class PreviewTest : public ServerTest, public ::testing::WithParamInterface<TChoice>
{
protected:
    // TF1 on TP1/001: 1 and 2 March never approved, 3 March approved;
    // TF1 on TP1/002: 5 March never approved, 6 March approved; TF2 on
    // TP1/001: 2 March never approved; TF2 on TP2/001: 4 March never
    // approved, 6 March billed but its commission empty, 2 April out of
    // the period, 9 March already in CHT 90021.
    void SetUp() override
    {
        ServerTest::SetUp();
        if (IsSkipped())
            return;
        AddTestWorld();
        AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, Day(2030, 3, 1), 8);
        AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, Day(2030, 3, 2), 9.5);
        AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, Day(2030, 3, 3), 8, {}, 6.0, 8.0);
        AddCsa(u"TP1"_s, u"01"_s, u"002"_s, u"TF1"_s, u"01"_s, Day(2030, 3, 5), 4);
        AddCsa(u"TP1"_s, u"01"_s, u"002"_s, u"TF1"_s, u"01"_s, Day(2030, 3, 6), 4, {}, 4.0, 4.0);
        AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF2"_s, u"02"_s, Day(2030, 3, 2), 8);
        AddCsa(u"TP2"_s, u"01"_s, u"001"_s, u"TF2"_s, u"02"_s, Day(2030, 3, 4), 7);
        AddCsa(u"TP2"_s, u"01"_s, u"001"_s, u"TF2"_s, u"02"_s, Day(2030, 3, 6), 7, {}, 7.0);
        AddCsa(u"TP2"_s, u"01"_s, u"001"_s, u"TF2"_s, u"02"_s, Day(2030, 4, 2), 7);
        AddCht(u"90021"_s, u"TP2"_s, u"01"_s, u"001"_s, u"TF2"_s, u"02"_s, u"P"_s);
        AddCsa(u"TP2"_s, u"01"_s, u"001"_s, u"TF2"_s, u"02"_s, Day(2030, 3, 9), 5, u"90021"_s, 5,
               5);
    }

    QJsonArray Params(const TChoice& c) const
    {
        const auto all = [](const QString& list) {
            return list == u"T" ? u"T"_s : QString();
        };
        return {c.From,           c.To,           u"ANA"_s,
                c.Clients,        all(c.Clients), c.Employees,
                all(c.Employees), c.Proposals,    all(c.Proposals)};
    }

    // Everything a write leaves behind, counted.
    QStringList Footprint()
    {
        QStringList counts;
        for (const char* sql :
             {"SELECT COUNT(*) FROM CHT", "SELECT COUNT(*) FROM CSA WHERE NRSEQUCHT IS NOT NULL",
              "SELECT COUNT(*) FROM CSA WHERE QTHRAPROFATU IS NULL",
              "SELECT COUNT(*) FROM APH_HISTGERACAO", "SELECT COUNT(*) FROM APH_HISTGERCSA",
              "SELECT COUNT(*) FROM APH_HISTEVENTO", "SELECT COUNT(*) FROM APH_AUDITORIA",
              "SELECT NRVALOR FROM APH_SEQUENCIA WHERE NMSEQUENCIA = 'CHT'"})
            counts << m_db->Scalar(QString::fromUtf8(sql)).toString();
        return counts;
    }

    // One line per client and contracted service of the CHTs ANA
    // generated, read back from them and from the generation's history
    // (a day never approved had an empty approval before it).
    QStringList GeneratedLines()
    {
        QStringList lines;
        const auto rows = m_db->Rows(
            u"SELECT P.CDCLIENTE, P.NRPROPOSTA, H.NRSERVCONT, COUNT(DISTINCT H.NRSEQUCHT), "
            "COUNT(*), SUM(CASE WHEN G.QTHRAPROFATU_ANT IS NULL OR G.QTHRAPRCOMIS_ANT IS NULL "
            "THEN 1 ELSE 0 END) FROM APH_HISTGERCSA G JOIN CHT H ON H.NRSEQUCHT = G.NRSEQUCHT "
            "JOIN PROPOSTA P ON P.NRPROPOSFAS = H.NRPROPOSFAS AND P.NRVERPROPFAS = "
            "H.NRVERPROPFAS WHERE H.CDOPERINCL = 'ANA' GROUP BY P.CDCLIENTE, P.NRPROPOSTA, "
            "H.NRSERVCONT"_s);
        for (const QVariantList& r : rows)
            lines << u"%1 %2 %3: %4 CHT, %5 dias, %6 nunca aprovados"_s.arg(
                r[0].toString(), r[1].toString(), r[2].toString(), r[3].toString(), r[4].toString(),
                r[5].toString());
        lines.sort();
        return lines;
    }

    static QStringList PreviewLines(const TDataPacket& packet)
    {
        QStringList lines;
        const QStringList client = Column(packet, "CDCLIENTE");
        const QStringList proposal = Column(packet, "NRPROPOSTA");
        const QStringList service = Column(packet, "NRSERVCONT");
        const QStringList chts = Column(packet, "QTCHT");
        const QStringList days = Column(packet, "QTCSA");
        const QStringList pending = Column(packet, "QTCSAPEND");
        for (qsizetype i = 0; i < client.size(); ++i)
            lines << u"%1 %2 %3: %4 CHT, %5 dias, %6 nunca aprovados"_s.arg(
                client[i], proposal[i], service[i], chts[i], days[i], pending[i]);
        lines.sort();
        return lines;
    }
};

} // namespace

TEST_P(PreviewTest, FiguresAreWhatTheGenerationThenMakesAndNothingIsWritten)
{
    const TChoice& choice = GetParam();
    const QStringList before = Footprint();
    const QJsonObject reply = m_client->Call(u"GetPrevCHT"_s, Params(choice)).toObject();
    ASSERT_TRUE(reply.value(u"ok"_s).toBool()) << QJsonDocument(reply).toJson().toStdString();
    EXPECT_EQ(Footprint(), before) << "the preview writes nothing";
    const QJsonObject preview = reply.value(u"preview"_s).toObject();
    const TDataPacket lines = PacketFromJson(reply.value(u"data"_s));
    // Named clients, as the list shows them.
    for (const QString& name : Column(lines, "NMFANTCLIE"))
        EXPECT_TRUE(name.startsWith(u"Cliente Teste"_s)) << name.toStdString();

    const QJsonObject generated =
        m_client->Call(u"SetCHT"_s, Params(choice)).toObject().value(u"generated"_s).toObject();
    for (const char* figure : {"chts", "employees", "csas"})
        EXPECT_EQ(preview.value(QLatin1String(figure)).toInt(),
                  generated.value(QLatin1String(figure)).toInt())
            << figure;
    EXPECT_EQ(PreviewLines(lines), GeneratedLines());
    EXPECT_EQ(preview.value(u"pending"_s).toInt(),
              m_db->Scalar(u"SELECT COUNT(*) FROM APH_HISTGERCSA G JOIN CHT H ON H.NRSEQUCHT = "
                           "G.NRSEQUCHT WHERE H.CDOPERINCL = 'ANA' AND (G.QTHRAPROFATU_ANT IS "
                           "NULL OR G.QTHRAPRCOMIS_ANT IS NULL)"_s)
                  .toInt());
}

INSTANTIATE_TEST_SUITE_P(
    Choices, PreviewTest,
    ::testing::Values(TChoice{"Everything", u"T"_s, u"T"_s, u"T"_s},
                      TChoice{"OneClient", Sel({"TC2"}), u"T"_s, u"T"_s},
                      TChoice{"EmployeeAndProposal", u"T"_s, Sel({"TF2"}), Sel({"TP1|01"})},
                      TChoice{"OneDay", u"T"_s, u"T"_s, u"T"_s, Day(2030, 3, 2), Day(2030, 3, 2)},
                      TChoice{"NothingPicked", QString(), u"T"_s, u"T"_s},
                      TChoice{"AprilOnly", u"T"_s, u"T"_s, u"T"_s, Day(2030, 4, 1),
                              Day(2030, 4, 30)}),
    [](const ::testing::TestParamInfo<TChoice>& choice) { return std::string(choice.param.Name); });
