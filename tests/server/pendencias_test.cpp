// GetPendencias against a real server: each kind of day that needs a
// person is found, the days that do not are left out, and every part of
// the filter is respected; a long list is cut and says how much is left.
#include "host/data/packetcodec.h"
#include "tests/support/serverfixture.h"

#include <QJsonObject>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

// March 2030 begins on a Friday: the 2nd, 9th and 16th are Saturdays, the
// 3rd a Sunday. Every service has 40 contracted hours.
class PendenciasTest : public ServerTest
{
protected:
    void SetUp() override
    {
        ServerTest::SetUp();
        if (IsSkipped())
            return;
        AddTestWorld();
        const auto tf1 = [this](int day, double hours, QVariant billed = {},
                                QVariant commission = {}) {
            AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, Day(2030, 3, day), hours, {},
                   billed, commission);
        };
        // TC1, TP1/01/001 by the hour, TF1's days without CHT (49 hours: an
        // hourly service past its 40 hours is no exception).
        tf1(2, 4);                 // Saturday, empty: listed
        tf1(3, 0);                 // Sunday without hours: not
        tf1(4, 9);                 // over eight hours, empty: listed
        tf1(5, 8);                 // an ordinary day, empty: not
        tf1(6, 8, 8, 6);           // commission below, no occurrence: listed
        tf1(7, 8, 8, 6);           // the same with an occurrence: not
        tf1(8, 8, 8, 7.9999);      // a thousandth apart: listed
        tf1(9, 4, 4, 4);           // Saturday, approved: not
        tf1(11, 8.0004, 8, 8);     // the same whole thousandths: not
        tf1(12, 9, QVariant(), 9); // overtime, billing still empty: listed
        m_db->Exec(u"UPDATE CSA SET CDGRPOCOR = '01', CDOCORR = '01' WHERE CDFUNC = 'TF1' AND "
                   "DTSERVPREST = ?"_s,
                   {static_cast<qint64>(Day(2030, 3, 7))});
        // February's Saturday, outside March.
        AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, Day(2030, 2, 2), 4);
        // TP1/01/002, a package, in TF1's pending CHT: commission apart.
        AddCht(u"90002"_s, u"TP1"_s, u"01"_s, u"002"_s, u"TF1"_s, u"01"_s, u"P"_s);
        AddCsa(u"TP1"_s, u"01"_s, u"002"_s, u"TF1"_s, u"01"_s, Day(2030, 3, 16), 5, u"90002"_s, 5,
               3);
        // TC2, TP2/01/001 at a fixed value, TF2 without CHT: 8 hours a day
        // pass the 40 contracted on the 11th (48), and only that day says so.
        for (int day : {4, 5, 6, 7, 8, 11, 12})
            AddCsa(u"TP2"_s, u"01"_s, u"001"_s, u"TF2"_s, u"02"_s, Day(2030, 3, day), 8);
        // TF2's approved CHT of the same service counts apart (9 hours).
        AddCht(u"90001"_s, u"TP2"_s, u"01"_s, u"001"_s, u"TF2"_s, u"02"_s, u"A"_s);
        AddCsa(u"TP2"_s, u"01"_s, u"001"_s, u"TF2"_s, u"02"_s, Day(2030, 3, 18), 9, u"90001"_s, 9,
               7);
    }

    struct TReply
    {
        QStringList Lines;
        qint64 More = -1;
    };
    // One line per row: employee, proposal/service, CHT ("-" for none),
    // day of the month and kind, in the reply's order.
    TReply Pendencias(double from, double to, const QString& clients, const QString& employees,
                      const QString& proposals, const QString& csa, const QString& cht)
    {
        const QJsonObject reply = m_client
                                      ->Call(u"GetPendencias"_s, {from, to, clients, employees,
                                                                  proposals, csa, u"ANA"_s, cht})
                                      .toObject();
        EXPECT_TRUE(reply.value(u"ok").toBool())
            << reply.value(u"message").toString().toStdString();
        const TDataPacket p = PacketFromJson(reply.value(u"data"));
        TReply out;
        out.More = reply.value(u"more").toInteger(-1);
        const QStringList emp = Column(p, "CDFUNC"), prop = Column(p, "NRPROPOSFAS"),
                          serv = Column(p, "NRSERVCONT"), chts = Column(p, "NRSEQUCHT"),
                          kind = Column(p, "IDPENDENCIA");
        const int dayField = p.FieldIndex(u"DTSERVPREST"_s);
        for (int i = 0; i < emp.size(); ++i) {
            const double day = (*p.Rows[static_cast<std::size_t>(i)])[dayField].ToNumber();
            out.Lines << u"%1 %2/%3 %4 %5 %6"_s.arg(
                emp[i], prop[i], serv[i], chts[i].isEmpty() ? u"-"_s : chts[i],
                QDate(1899, 12, 30).addDays(static_cast<qint64>(day)).toString(u"MM-dd"_s),
                kind[i]);
        }
        return out;
    }
};

} // namespace

TEST_F(PendenciasTest, EachKindIsFoundAndTheFilterIsRespected)
{
    // TC2 ("Cliente Teste Dois") before TC1 ("Cliente Teste Um"), as the
    // services are listed; days without CHT before a CHT's.
    const QStringList tc2Open{u"TF2 TP2/001 - 03-11 F"_s};
    const QStringList tc2Approved{u"TF2 TP2/001 90001 03-18 O"_s};
    const QStringList tc1Open{u"TF1 TP1/001 - 03-02 E"_s, u"TF1 TP1/001 - 03-04 E"_s,
                              u"TF1 TP1/001 - 03-06 O"_s, u"TF1 TP1/001 - 03-08 O"_s,
                              u"TF1 TP1/001 - 03-12 E"_s};
    const QStringList tc1Pending{u"TF1 TP1/002 90002 03-16 O"_s};
    const QStringList february{u"TF1 TP1/001 - 02-02 E"_s};
    const QString all = u"T"_s;
    struct Case
    {
        const char* name;
        QString clients, employees, proposals, csa, cht;
        QStringList expected;
        double from = Day(2030, 3, 1), to = Day(2030, 3, 31);
    };
    const Case cases[] = {
        {"everything", all, all, all, all, all, tc2Open + tc2Approved + tc1Open + tc1Pending},
        {"without CHT only", all, all, all, u"S"_s, QString(), tc2Open + tc1Open},
        {"pending CHTs only", all, all, all, u"C"_s, u"_P"_s, tc1Pending},
        {"approved CHTs only", all, all, all, u"C"_s, u"_A"_s, tc2Approved},
        {"one employee", all, Sel({"TF2"}), all, all, all, tc2Open + tc2Approved},
        {"one client", Sel({"TC1"}), all, all, all, all, tc1Open + tc1Pending},
        {"one proposal", all, all, Sel({"TP2|01"}), all, all, tc2Open + tc2Approved},
        {"February", all, all, all, all, all, february, Day(2030, 2, 1), Day(2030, 2, 28)},
        // Up to the 8th TF2 has billed exactly the 40 contracted hours.
        {"up to the 8th", all, all, all, u"S"_s, QString(), tc1Open.mid(0, 4), Day(2030, 3, 1),
         Day(2030, 3, 8)},
        {"nobody picked", all, Sel({}), all, all, all, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TReply reply =
            Pendencias(c.from, c.to, c.clients, c.employees, c.proposals, c.csa, c.cht);
        EXPECT_EQ(reply.Lines, c.expected);
        EXPECT_EQ(reply.More, 0);
    }
}

TEST_F(PendenciasTest, ALongListIsCutAndSaysHowManyAreLeft)
{
    // 510 days of nine hours from 2031 on, none approved.
    const int days = 510;
    const auto first = static_cast<qint64>(Day(2031, 1, 1));
    m_db->Exec(u"INSERT INTO CSA (NRPROPOSFAS, NRVERPROPFAS, NRSERVCONT, CDFUNC, DTSERVPREST, "
               "CDEMPRESA, QTHRTRAB) WITH RECURSIVE N(I) AS (SELECT 0 UNION ALL SELECT I + 1 "
               "FROM N WHERE I < %1) SELECT 'TP1', '01', '001', 'TF1', %2 + I, '01', 9 FROM N"_s
                   .arg(days - 1)
                   .arg(first));
    const TReply reply = Pendencias(static_cast<double>(first), Day(2033, 1, 1), u"T"_s, u"T"_s,
                                    u"T"_s, u"S"_s, QString());
    ASSERT_FALSE(reply.Lines.isEmpty());
    EXPECT_EQ(reply.Lines.size() + reply.More, days);
    EXPECT_GT(reply.More, 0) << "the list is cut";
    EXPECT_EQ(reply.Lines.first(), u"TF1 TP1/001 - 01-01 E"_s) << "the first days first";
}
