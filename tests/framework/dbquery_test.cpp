#include "host/data/exceptions.h"
#include "host/framework/dbquery.h"
#include "tests/support/text.h"

#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

using namespace aph;

namespace {

void Exec(const char* sql)
{
    QSqlQuery q(dtmDBGeral()->Database());
    ASSERT_TRUE(q.exec(QString::fromUtf8(sql))) << sql;
}

// The filter dialog's start-date query, in its two dialects.
void DefineStartDateQuery(TADOIBQuery& qryData)
{
    qryData.SQL = {u"SELECT TO_DATE('21/06/2008')  AS DTINI"_s, u"FROM PARAMGERAL"_s};
    qryData.SQL_IB = {u"SELECT CAST(('06/21/2008') AS TIMESTAMP) AS DTINI"_s, u"FROM PARAMGERAL"_s};
    qryData.AddField(u"DTINI"_s, TFieldType::ftDateTime);
}

struct SqliteLookups : ::testing::Test
{
    QTemporaryDir dir;
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        QFile(dir.filePath(u"aph.db"_s)).open(QIODevice::WriteOnly); // an empty database
        dtmDBGeral()->Open(u"sqlite:"_s + dir.filePath(u"aph.db"_s));
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
    TADOIBQuery qryData(u"qryData"_s);
    DefineStartDateQuery(qryData);
    EXPECT_TRUE(qryData.ActiveText().contains(u"TO_DATE"_s));
    qryData.Open();
    ASSERT_EQ(qryData.RecordCount(), 1);
    EXPECT_EQ(OleToDate(qryData.FieldByName(u"DTINI"_s)->AsDateTime()), QDate(2008, 6, 21));
}

TEST_F(SqliteLookups, PersistentFieldsBindByNameAndRowsComeInQueryOrder)
{
    TADOIBQuery qryOcorr(u"qryOcorr"_s);
    qryOcorr.SQL = {u"SELECT"_s,   u"  CDGRPOCOR, CDOCORR, DSOCORR"_s, u"FROM"_s, u"  OCORRENCIA"_s,
                    u"ORDER BY"_s, u"  CDGRPOCOR, CDOCORR"_s};
    qryOcorr.AddField(u"CDOCORR"_s, TFieldType::ftString, 2)->SetDisplayLabel(u"Código"_s);
    qryOcorr.AddField(u"CDGRPOCOR"_s, TFieldType::ftString, 2)->SetDisplayLabel(u"Grupo"_s);
    qryOcorr.AddField(u"DSOCORR"_s, TFieldType::ftString, 40)->SetDisplayLabel(u"Descrição"_s);
    qryOcorr.Open();
    ASSERT_EQ(qryOcorr.RecordCount(), 3);
    EXPECT_EQ(qryOcorr.FieldByName(u"DSOCORR"_s)->AsString(), u"Hora extra autorizada"_s);
    qryOcorr.Last();
    EXPECT_EQ(qryOcorr.FieldByName(u"DSOCORR"_s)->AsString(), u"Atestado médico"_s);
    EXPECT_THROW(qryOcorr.Edit(), EDatabaseError) << "lookups are read-only";
    // Reopening reads the table afresh.
    Exec("INSERT INTO OCORRENCIA VALUES ('03','01','Nova')");
    qryOcorr.Close();
    qryOcorr.Open();
    EXPECT_EQ(qryOcorr.RecordCount(), 4);
}

TEST_F(SqliteLookups, QueryWithoutPersistentFieldsTakesTheColumns)
{
    TADOIBQuery q(u"qry"_s);
    q.SQL = {u"SELECT CDOCORR, COUNT(*) AS QT FROM OCORRENCIA GROUP BY CDOCORR ORDER BY CDOCORR"_s};
    q.Open();
    EXPECT_EQ(q.FieldCount(), 2);
    EXPECT_EQ(q.FieldByName(u"QT"_s)->AsFloat(), 2);
}

TEST_F(SqliteLookups, FailuresSayWhatWentWrong)
{
    TADOIBQuery q(u"qryErrada"_s);
    q.SQL = {u"SELECT NADA FROM TABELA_QUE_NAO_EXISTE"_s};
    EXPECT_THROW(q.Open(), EDatabaseError);
    TADOIBQuery tooNarrow(u"qryEstreita"_s);
    tooNarrow.SQL = {u"SELECT DSOCORR FROM OCORRENCIA"_s};
    tooNarrow.AddField(u"DSOCORR"_s, TFieldType::ftString, 3);
    EXPECT_THROW(tooNarrow.Open(), EDatabaseError) << "a value longer than its field is refused";
    EXPECT_THROW(TDtmDBGeral().Open(u"mysql://x"_s), EDatabaseError);
    // In Portuguese, without the driver's own words.
    try {
        q.Open();
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(),
                  u"Não foi possível ler a lista qryErrada do banco de dados; avise o suporte."_s);
    }
    try {
        TDtmDBGeral().Open(u"sqlite:/nao/existe/aph.db"_s);
        ADD_FAILURE() << "a missing file opened";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), u"O arquivo do banco de dados \"/nao/existe/aph.db\" não existe ou "
                               "não pode ser lido."_s);
    }
}

TEST(PostgresLookups, StartDateQueryGivesTheTwentyFirstOfJune2008)
{
    const QByteArray uri = qgetenv("APH_TEST_PG_URI");
    if (uri.isEmpty())
        GTEST_SKIP() << "APH_TEST_PG_URI not set";
    dtmDBGeral()->Open(QString::fromUtf8(uri));
    {
        QSqlQuery q(dtmDBGeral()->Database());
        q.exec(u"CREATE TEMPORARY TABLE PARAMGERAL (CDPARAM INTEGER)"_s);
        q.exec(u"INSERT INTO PARAMGERAL VALUES (1)"_s);
    }
    TADOIBQuery qryData(u"qryData"_s);
    DefineStartDateQuery(qryData);
    EXPECT_TRUE(qryData.ActiveText().contains(u"CAST"_s));
    qryData.Open();
    ASSERT_GE(qryData.RecordCount(), 1);
    EXPECT_EQ(OleToDate(qryData.FieldByName(u"DTINI"_s)->AsDateTime()), QDate(2008, 6, 21));
    dtmDBGeral()->Close();
}
