// GetPendencias, which reads the pending days kept by the writes, against
// the full query over every day of the period, after each kind of change:
// SetCSA, SetCHT and a CHT's step; and the check finding the kept days of
// fixed-value services out of step with the CSAs.
#include "host/data/packetcodec.h"
#include "server/storage/pendingdays.h"
#include "server/storage/storage.h"
#include "tests/support/serverfixture.h"

#include <QJsonObject>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

// The list as the full query gives it: every day of the period read once
// per kind, the fixed value's running sum over the period's days.
QString FullQuery(const QString& situation)
{
    const QString from =
        u" FROM CSA A JOIN SERVCONT SC ON SC.NRPROPOSFAS = A.NRPROPOSFAS AND SC.NRVERPROPFAS = "
        "A.NRVERPROPFAS AND SC.NRSERVCONT = A.NRSERVCONT JOIN PROPOSTA P ON P.NRPROPOSFAS = "
        "A.NRPROPOSFAS AND P.NRVERPROPFAS = A.NRVERPROPFAS JOIN CLIENTE C ON C.CDCLIENTE = "
        "P.CDCLIENTE JOIN FUNCIONARIO F ON F.CDFUNC = A.CDFUNC WHERE A.DTSERVPREST BETWEEN ? "
        "AND ? AND "_s +
        situation;
    const QString cols = u"C.NMFANTCLIE, P.CDCLIENTE, A.NRPROPOSFAS, A.NRVERPROPFAS, "
                         "A.NRSERVCONT, F.NMFUNC, A.CDFUNC, A.CDEMPRESA, A.NRSEQUCHT, "
                         "A.DTSERVPREST"_s;
    const QString billed = u"COALESCE(A.QTHRAPROFATU, A.QTHRTRAB)"_s;
    return u"SELECT X.CDFUNC, X.NRPROPOSFAS, X.NRSERVCONT, X.NRSEQUCHT, X.DTSERVPREST, X.K FROM ("
           "SELECT "_s +
           cols + u", 'E' AS K"_s + from +
           u" AND (A.QTHRAPROFATU IS NULL OR A.QTHRAPRCOMIS IS NULL) AND (A.QTHRTRAB > 8 OR "
           "(A.QTHRTRAB > 0 AND A.DTSERVPREST % 7 IN (0, 1))) UNION ALL SELECT "_s +
           cols + u", 'O'"_s + from +
           u" AND A.QTHRAPRCOMIS IS NOT NULL AND (A.CDOCORR IS NULL OR A.CDOCORR = '') AND "
           "FLOOR(A.QTHRAPRCOMIS * 1000) <> FLOOR(A.QTHRTRAB * 1000) UNION ALL SELECT "
           "W.NMFANTCLIE, W.CDCLIENTE, W.NRPROPOSFAS, W.NRVERPROPFAS, W.NRSERVCONT, W.NMFUNC, "
           "W.CDFUNC, W.CDEMPRESA, W.NRSEQUCHT, W.DTSERVPREST, 'F' FROM (SELECT "_s +
           cols + u", SC.QTSERVCONT, "_s + billed + u" AS QTDIA, SUM("_s + billed +
           u") OVER (PARTITION BY A.NRPROPOSFAS, A.NRVERPROPFAS, A.NRSERVCONT, A.CDFUNC, "
           "A.CDEMPRESA, A.NRSEQUCHT ORDER BY A.DTSERVPREST) AS QTACUM"_s +
           from +
           u" AND SC.IDTIPOCOBRCONT = 'F') W WHERE W.QTACUM > W.QTSERVCONT + 0.000005 AND "
           "W.QTACUM - W.QTDIA <= W.QTSERVCONT + 0.000005) X ORDER BY X.NMFANTCLIE, X.CDCLIENTE, "
           "X.NRPROPOSFAS, X.NRVERPROPFAS, X.NRSERVCONT, X.NMFUNC, X.CDFUNC, X.CDEMPRESA, "
           "COALESCE(X.NRSEQUCHT, ''), X.DTSERVPREST, X.K"_s;
}

struct TFilter
{
    const char* Name;
    double From, To;
    const char *Csa, *Cht;
    QString Situation; // the same situation, as the full query's condition
};

class PendingOracleTest : public ServerTest
{
protected:
    void SetUp() override
    {
        ServerTest::SetUp();
        if (IsSkipped())
            return;
        AddTestWorld();
        // TP2/01/001 is at a fixed value (40 hours): TF2's days from
        // February to April, some overtime, some weekends.
        for (int month = 2; month <= 4; ++month)
            for (int day = 1; day <= 20; ++day)
                AddCsa(u"TP2"_s, u"01"_s, u"001"_s, u"TF2"_s, u"02"_s, Day(2030, month, day),
                       day % 5 == 0 ? 9.5 : 6 + day % 3);
        // TF1 by the hour on TP1/01/001, and a package day with commission
        // apart.
        for (int day = 1; day <= 25; ++day)
            AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, Day(2030, 3, day),
                   day % 4 == 0 ? 10 : 8, {}, day % 6 == 0 ? QVariant(8) : QVariant(),
                   day % 6 == 0 ? QVariant(7.5) : QVariant());
        RefreshKeptDays();
    }

    // The kept days lost: the check finds them out of step with the
    // CSAs, and they are computed again as an import computes them.
    void RefreshKeptDays()
    {
        m_db->Exec(u"DELETE FROM APH_PENDFIXO"_s);
        EXPECT_NE(RunServerCommand({u"check"_s, m_db->Spec()}), 0);
        const std::unique_ptr<TStorage> storage =
            TStorage::Open(TDatabaseSpec::Parse(m_db->Spec()));
        TTransaction tx(*storage, TTransaction::Mode::Write);
        RebuildPendingFixed(*storage);
        tx.Commit();
    }

    QStringList Listed(const TFilter& f)
    {
        const QJsonObject reply =
            m_client
                ->Call(u"GetPendencias"_s,
                       {f.From, f.To, u"T"_s, u"T"_s, u"T"_s, QString::fromLatin1(f.Csa), u"ANA"_s,
                        QString::fromLatin1(f.Cht)})
                .toObject();
        EXPECT_TRUE(reply.value(u"ok").toBool()) << f.Name;
        EXPECT_EQ(reply.value(u"more").toInteger(-1), 0) << f.Name;
        const TDataPacket p = PacketFromJson(reply.value(u"data"));
        QStringList lines;
        const QStringList emp = Column(p, "CDFUNC"), prop = Column(p, "NRPROPOSFAS"),
                          serv = Column(p, "NRSERVCONT"), cht = Column(p, "NRSEQUCHT"),
                          kind = Column(p, "IDPENDENCIA");
        const int day = p.FieldIndex(u"DTSERVPREST"_s);
        for (int i = 0; i < emp.size(); ++i)
            lines << u"%1 %2/%3 %4 %5 %6"_s.arg(emp[i], prop[i], serv[i], cht[i])
                         .arg((*p.Rows[static_cast<std::size_t>(i)])[day].ToNumber())
                         .arg(kind[i]);
        return lines;
    }

    QStringList Full(const TFilter& f)
    {
        QStringList lines;
        for (const QVariantList& r :
             m_db->Rows(FullQuery(f.Situation), {f.From, f.To, f.From, f.To, f.From, f.To}))
            lines << u"%1 %2/%3 %4 %5 %6"_s
                         .arg(r[0].toString(), r[1].toString(), r[2].toString(), r[3].toString())
                         .arg(r[4].toDouble())
                         .arg(r[5].toString());
        return lines;
    }

    // Every filter's list, from the kept days and from the full query.
    void ExpectSameLists(const char* after)
    {
        const QString any = u"(A.NRSEQUCHT IS NULL OR EXISTS (SELECT 1 FROM CHT H WHERE "
                            "H.NRSEQUCHT = A.NRSEQUCHT))"_s;
        const TFilter filters[] = {
            {"everything without CHT", Day(2008, 6, 21), Day(2031, 1, 1), "S", "_P",
             u"A.NRSEQUCHT IS NULL"_s},
            {"everything", Day(2008, 6, 21), Day(2031, 1, 1), "T", "T", any},
            {"March, cutting the groups", Day(2030, 3, 1), Day(2030, 3, 31), "T", "T", any},
            {"from mid-March on", Day(2030, 3, 15), Day(2031, 1, 1), "S", "",
             u"A.NRSEQUCHT IS NULL"_s},
            {"approved CHTs", Day(2008, 6, 21), Day(2031, 1, 1), "C", "_A",
             u"EXISTS (SELECT 1 FROM CHT H WHERE H.NRSEQUCHT = A.NRSEQUCHT AND "
             "H.IDSTATUSCHT = 'A')"_s},
        };
        for (const TFilter& f : filters) {
            const QStringList full = Full(f);
            EXPECT_EQ(Listed(f), full) << after << ", " << f.Name;
        }
    }

    // TF2's fixed-value days of a period, as GetCSA gives them.
    TDataPacket Tf2Days(double from, double to)
    {
        return Checked(u"GetCSA"_s, {u"TC2"_s, u"TF2"_s, from, to, u"CON"_s, u"TP2"_s, u"01"_s,
                                     QString(), u"N"_s, u"02"_s});
    }
};

} // namespace

TEST_F(PendingOracleTest, KeptDaysListWhatTheFullQueryListsAfterEveryChange)
{
    ExpectSameLists("at the start");
    EXPECT_EQ(RunServerCommand({u"check"_s, m_db->Spec()}), 0);

    // SetCSA: February's first days billed low, so that the fixed value
    // passes its hours later; an overtime day's billing approved.
    const TDataPacket feb = Tf2Days(Day(2030, 2, 1), Day(2030, 2, 28));
    ASSERT_GE(feb.Rows.size(), 6u);
    TDelta delta;
    delta.Fields = feb.Fields;
    const int fatu = feb.FieldIndex(u"QTHRAPROFATU"_s);
    for (std::size_t row : {0u, 1u, 4u}) {
        TDeltaRecord rec;
        rec.Op = TDeltaRecord::Kind::Modify;
        rec.Original = *feb.Rows[row];
        rec.New.emplace_back(fatu, Value::FromNumber(row == 4 ? 9.5 : 1.0));
        delta.Records.push_back(std::move(rec));
    }
    Checked(u"SetCSA"_s, {DeltaToJson(delta)});
    ExpectSameLists("after SetCSA");

    // SetCHT: February's days into CHTs, which cuts TF2's groups in two.
    Checked(u"SetCHT"_s, {Day(2030, 2, 1), Day(2030, 2, 28), u"ANA"_s, u"T"_s, u"T"_s, u"T"_s,
                          u"T"_s, u"T"_s, u"T"_s});
    ExpectSameLists("after SetCHT");

    // A CHT's step: the new CHT approved, so that it changes filters.
    const QString cht =
        m_db->Scalar(u"SELECT MAX(NRSEQUCHT) FROM CHT WHERE CDFUNC = 'TF2'"_s).toString();
    QString out, err;
    ASSERT_EQ(RunServerCommand({u"cht-status"_s, m_db->Spec(), cht, u"A"_s}, &out, &err), 0)
        << err.toStdString();
    ExpectSameLists("after a CHT's step");
    EXPECT_EQ(RunServerCommand({u"check"_s, m_db->Spec()}), 0);
}
