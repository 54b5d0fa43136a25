// The administrative commands and what the database itself guarantees.
#include "tests/support/serverfixture.h"

#include <QDate>

using namespace aph;
using namespace aph::test;

namespace {

QString S(const char* s)
{
    return QString::fromUtf8(s);
}

class AdminTest : public ServerTest
{
protected:
    int Count(const char* sql) { return m_db->Scalar(S(sql)).toInt(); }
    bool Refused(const QString& sql, const QVariantList& values = {})
    {
        try {
            m_db->Exec(sql, values);
        } catch (const std::runtime_error&) {
            return true;
        }
        return false;
    }
};

} // namespace

TEST_F(AdminTest, InitIsVersionedAndCanRunAgain)
{
    EXPECT_EQ(RunServerCommand({S("init"), m_db->Spec()}), 0);
    EXPECT_EQ(Count("SELECT NRVERSAO FROM APH_VERSAO"), 1);
    EXPECT_GE(Count("SELECT COUNT(*) FROM PARAMGERAL"), 1);
    QString err;
    EXPECT_EQ(RunServerCommand({S("init"), m_db->Spec(), S("--demo")}, nullptr, &err), 1);
    EXPECT_TRUE(err.contains(S("já tem dados"))) << err.toStdString();
}

TEST_F(AdminTest, DemoDataCoversWhatTheScreensShow)
{
    EXPECT_EQ(Count("SELECT COUNT(DISTINCT IDTIPOCOBRCONT) FROM SERVCONT"), 3);
    EXPECT_EQ(Count("SELECT COUNT(DISTINCT IDSTATUSCHT) FROM CHT"), 4);
    EXPECT_EQ(Count("SELECT COUNT(DISTINCT CDEMPRESA) FROM FUNCIONARIO"), 2);
    EXPECT_GE(Count("SELECT COUNT(DISTINCT CDCLIENTE) FROM PROPOSTA"), 3);
    EXPECT_GT(Count("SELECT COUNT(*) FROM CSA WHERE QTHRTRAB > 8"), 0);
    EXPECT_GT(Count("SELECT COUNT(*) FROM CSA WHERE CDOCORR IS NOT NULL"), 0);
    EXPECT_GT(Count("SELECT COUNT(*) FROM CSA WHERE NRSEQUCHT IS NULL"), 0);
    EXPECT_GT(Count("SELECT COUNT(*) FROM OCORRENCIA"), 3);
    // Weekends, and weekdays without a CSA, for one employee and service.
    const QList<QVariantList> days =
        m_db->Rows(S("SELECT DTSERVPREST FROM CSA WHERE CDFUNC = 'F0001' ORDER BY DTSERVPREST"));
    int weekend = 0, gaps = 0;
    for (int i = 0; i < days.size(); ++i) {
        const QDate d = QDate(1899, 12, 30).addDays(days[i][0].toLongLong());
        weekend += d.dayOfWeek() >= 6;
        if (i > 0 && days[i][0].toLongLong() - days[i - 1][0].toLongLong() > 1 &&
            d.dayOfWeek() != 1)
            ++gaps;
    }
    EXPECT_GT(weekend, 0);
    EXPECT_GT(gaps, 0);
    // The same at every run.
    TTestDatabase other;
    ASSERT_EQ(RunServerCommand({S("init"), other.Spec(), S("--demo")}), 0);
    EXPECT_EQ(other.Scalar(S("SELECT SUM(QTHRTRAB * DTSERVPREST) FROM CSA")).toDouble(),
              m_db->Scalar(S("SELECT SUM(QTHRTRAB * DTSERVPREST) FROM CSA")).toDouble());
}

TEST_F(AdminTest, ScaleMakesExactlyTheCsasAskedFor)
{
    TTestDatabase scaled;
    ASSERT_EQ(RunServerCommand({S("init"), scaled.Spec(), S("--scale"), S("3000")}), 0);
    EXPECT_EQ(scaled.Scalar(S("SELECT COUNT(*) FROM CSA")).toInt(), 3000);
    EXPECT_GT(scaled.Scalar(S("SELECT COUNT(*) FROM FUNCIONARIO")).toInt(), 5);
    EXPECT_GT(scaled.Scalar(S("SELECT COUNT(*) FROM CHT")).toInt(), 0);
    EXPECT_EQ(scaled
                  .Scalar(S("SELECT COUNT(*) FROM CSA A JOIN CHT H ON H.NRSEQUCHT = "
                            "A.NRSEQUCHT WHERE H.CDFUNC <> A.CDFUNC"))
                  .toInt(),
              0);
}

TEST_F(AdminTest, ChtStatusSetsOnlyKnownSituationsOfExistingChts)
{
    EXPECT_EQ(RunServerCommand({S("cht-status"), m_db->Spec(), S("00001"), S("R")}), 0);
    EXPECT_EQ(m_db->Scalar(S("SELECT IDSTATUSCHT FROM CHT WHERE NRSEQUCHT = '00001'")).toString(),
              S("R"));
    QString err;
    EXPECT_EQ(RunServerCommand({S("cht-status"), m_db->Spec(), S("00001"), S("F")}, nullptr, &err),
              1);
    EXPECT_TRUE(err.contains(S("inválida")));
    EXPECT_EQ(RunServerCommand({S("cht-status"), m_db->Spec(), S("99999"), S("A")}, nullptr, &err),
              1);
    EXPECT_TRUE(err.contains(S("não existe")));
    EXPECT_EQ(m_db->Scalar(S("SELECT IDSTATUSCHT FROM CHT WHERE NRSEQUCHT = '00001'")).toString(),
              S("R"));
}

TEST_F(AdminTest, ServingADatabaseWithoutSchemaSaysToInitIt)
{
    TTestDatabase empty;
    QString err;
    EXPECT_EQ(RunServerCommand({S("serve"), empty.Spec(), S("--port"), S("0")}, nullptr, &err), 1);
    EXPECT_TRUE(err.contains(S("aph-server init"))) << err.toStdString();
    EXPECT_EQ(RunServerCommand({S("serve"), S("mysql://x")}, nullptr, &err), 1);
    EXPECT_EQ(RunServerCommand({S("frobnicate")}), 2);
}

TEST_F(AdminTest, TheDatabaseItselfKeepsOneCsaPerDayAndCshtsOfTheirOwn)
{
    AddTestWorld();
    AddCsa(S("TP1"), S("01"), S("001"), S("TF1"), S("01"), Day(2030, 3, 1), 8);
    EXPECT_TRUE(Refused(S("INSERT INTO CSA (NRPROPOSFAS, NRVERPROPFAS, NRSERVCONT, CDFUNC, "
                          "DTSERVPREST, CDEMPRESA, QTHRTRAB) VALUES ('TP1', '01', '001', 'TF1', ?, "
                          "'01', 4)"),
                        {static_cast<qint64>(Day(2030, 3, 1))}));
    // A CSA may only name a CHT of its own service and employee.
    AddCht(S("90031"), S("TP1"), S("01"), S("001"), S("TF2"), S("02"), S("P"));
    EXPECT_TRUE(Refused(S("UPDATE CSA SET NRSEQUCHT = '90031' WHERE CDFUNC = 'TF1'")));
    EXPECT_TRUE(Refused(S("UPDATE CSA SET QTHRAPROFATU = 9 WHERE CDFUNC = 'TF1'")));
    EXPECT_TRUE(Refused(S("UPDATE CSA SET QTHRAPRCOMIS = -1 WHERE CDFUNC = 'TF1'")));
    EXPECT_TRUE(Refused(S("UPDATE CHT SET IDSTATUSCHT = 'X' WHERE NRSEQUCHT = '90031'")));
    EXPECT_TRUE(Refused(S("INSERT INTO SERVCONT (NRPROPOSFAS, NRVERPROPFAS, NRSERVCONT, "
                          "CDTIPOSERV, IDTIPOCOBRCONT) VALUES ('TP1', '01', '003', 'DES', 'H')")));
}
