#include "host/data/exceptions.h"
#include "host/framework/dbquery.h"
#include "tests/support/text.h"

#include <QSqlQuery>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace aph;
using aph::test::S;

namespace {

void Exec(const char* sql)
{
    QSqlQuery q(dtmDBGeral()->Database());
    ASSERT_TRUE(q.exec(S(sql))) << sql;
}

// The filter dialog's start-date query, in its two dialects.
void DefineStartDateQuery(TADOIBQuery& qryData)
{
    qryData.SQL = {S("SELECT TO_DATE('21/06/2008')  AS DTINI"), S("FROM PARAMGERAL")};
    qryData.SQL_IB = {S("SELECT CAST(('06/21/2008') AS TIMESTAMP) AS DTINI"), S("FROM PARAMGERAL")};
    qryData.AddField(S("DTINI"), TFieldType::ftDateTime);
}

struct SqliteLookups : ::testing::Test
{
    QTemporaryDir dir;
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        dtmDBGeral()->Open(S("sqlite:") + dir.filePath(S("aph.db")));
        Exec("CREATE TABLE PARAMGERAL (CDPARAM INTEGER)");
        Exec("INSERT INTO PARAMGERAL VALUES (1)");
        Exec("CREATE TABLE OCORRENCIA (CDGRPOCOR TEXT, CDOCORR TEXT, DSOCORR TEXT)");
        Exec("INSERT INTO OCORRENCIA VALUES ('02','01','Atestado médico'),('01','02','Falta'),"
             "('01','01','Hora extra autorizada')");
    }
    void TearDown() override { dtmDBGeral()->Close(); }
};

} // namespace

TEST_F(SqliteLookups, StartDateQueryGivesTheTwentyFirstOfJune2008)
{
    TADOIBQuery qryData(S("qryData"));
    DefineStartDateQuery(qryData);
    EXPECT_TRUE(qryData.ActiveText().contains(S("TO_DATE")));
    qryData.Open();
    ASSERT_EQ(qryData.RecordCount(), 1);
    EXPECT_EQ(OleToDate(qryData.FieldByName(S("DTINI"))->AsDateTime()), QDate(2008, 6, 21));
}

TEST_F(SqliteLookups, PersistentFieldsBindByNameAndRowsComeInQueryOrder)
{
    TADOIBQuery qryOcorr(S("qryOcorr"));
    qryOcorr.SQL = {S("SELECT"),   S("  CDGRPOCOR, CDOCORR, DSOCORR"), S("FROM"), S("  OCORRENCIA"),
                    S("ORDER BY"), S("  CDGRPOCOR, CDOCORR")};
    qryOcorr.AddField(S("CDOCORR"), TFieldType::ftString, 2)->SetDisplayLabel(S("Código"));
    qryOcorr.AddField(S("CDGRPOCOR"), TFieldType::ftString, 2)->SetDisplayLabel(S("Grupo"));
    qryOcorr.AddField(S("DSOCORR"), TFieldType::ftString, 40)->SetDisplayLabel(S("Descrição"));
    qryOcorr.Open();
    ASSERT_EQ(qryOcorr.RecordCount(), 3);
    EXPECT_EQ(qryOcorr.FieldByName(S("DSOCORR"))->AsString(), S("Hora extra autorizada"));
    qryOcorr.Last();
    EXPECT_EQ(qryOcorr.FieldByName(S("DSOCORR"))->AsString(), S("Atestado médico"));
    EXPECT_THROW(qryOcorr.Edit(), EDatabaseError) << "lookups are read-only";
    // Reopening reads the table afresh.
    Exec("INSERT INTO OCORRENCIA VALUES ('03','01','Nova')");
    qryOcorr.Close();
    qryOcorr.Open();
    EXPECT_EQ(qryOcorr.RecordCount(), 4);
}

TEST_F(SqliteLookups, QueryWithoutPersistentFieldsTakesTheColumns)
{
    TADOIBQuery q(S("qry"));
    q.SQL = {S("SELECT CDOCORR, COUNT(*) AS QT FROM OCORRENCIA GROUP BY CDOCORR ORDER BY CDOCORR")};
    q.Open();
    EXPECT_EQ(q.FieldCount(), 2);
    EXPECT_EQ(q.FieldByName(S("QT"))->AsFloat(), 2);
}

TEST_F(SqliteLookups, FailuresSayWhatWentWrong)
{
    TADOIBQuery q(S("qryErrada"));
    q.SQL = {S("SELECT NADA FROM TABELA_QUE_NAO_EXISTE")};
    EXPECT_THROW(q.Open(), EDatabaseError);
    TADOIBQuery tooNarrow(S("qryEstreita"));
    tooNarrow.SQL = {S("SELECT DSOCORR FROM OCORRENCIA")};
    tooNarrow.AddField(S("DSOCORR"), TFieldType::ftString, 3);
    EXPECT_THROW(tooNarrow.Open(), EDatabaseError) << "a value longer than its field is refused";
    EXPECT_THROW(TDtmDBGeral().Open(S("mysql://x")), EDatabaseError);
}

TEST(PostgresLookups, StartDateQueryGivesTheTwentyFirstOfJune2008)
{
    const QByteArray uri = qgetenv("APH_TEST_PG_URI");
    if (uri.isEmpty())
        GTEST_SKIP() << "APH_TEST_PG_URI not set";
    dtmDBGeral()->Open(QString::fromUtf8(uri));
    {
        QSqlQuery q(dtmDBGeral()->Database());
        q.exec(S("CREATE TEMPORARY TABLE PARAMGERAL (CDPARAM INTEGER)"));
        q.exec(S("INSERT INTO PARAMGERAL VALUES (1)"));
    }
    TADOIBQuery qryData(S("qryData"));
    DefineStartDateQuery(qryData);
    EXPECT_TRUE(qryData.ActiveText().contains(S("CAST")));
    qryData.Open();
    ASSERT_GE(qryData.RecordCount(), 1);
    EXPECT_EQ(OleToDate(qryData.FieldByName(S("DTINI"))->AsDateTime()), QDate(2008, 6, 21));
    dtmDBGeral()->Close();
}
