// The administrative commands and what the database itself guarantees.
#include "server/storage/schema.h"
#include "tests/support/serverfixture.h"

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

class AdminTest : public ServerTest
{
protected:
    int Count(const char* sql) { return m_db->Scalar(QString::fromUtf8(sql)).toInt(); }
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
    EXPECT_EQ(RunServerCommand({u"init"_s, m_db->Spec()}), 0);
    EXPECT_EQ(Count("SELECT NRVERSAO FROM APH_VERSAO"), kSchemaVersion);
    EXPECT_GE(Count("SELECT COUNT(*) FROM PARAMGERAL"), 1);
    QString err;
    EXPECT_EQ(RunServerCommand({u"init"_s, m_db->Spec(), u"--demo"_s}, nullptr, &err), 1);
    EXPECT_TRUE(err.contains(u"já tem dados"_s)) << err.toStdString();
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
    // An issuer, so that the client's statement can be written at once.
    QString issuer;
    ASSERT_EQ(RunServerCommand({u"emitente"_s, m_db->Spec()}, &issuer), 0);
    EXPECT_TRUE(issuer.contains(u"Ltda. - CNPJ 45.781.296/0001-63"_s)) << issuer.toStdString();
    // Weekends, and weekdays without a CSA, for one employee and service.
    const QList<QVariantList> days =
        m_db->Rows(u"SELECT DTSERVPREST FROM CSA WHERE CDFUNC = 'F0001' ORDER BY DTSERVPREST"_s);
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
    ASSERT_EQ(RunServerCommand({u"init"_s, other.Spec(), u"--demo"_s}), 0);
    EXPECT_EQ(other.Scalar(u"SELECT SUM(QTHRTRAB * DTSERVPREST) FROM CSA"_s).toDouble(),
              m_db->Scalar(u"SELECT SUM(QTHRTRAB * DTSERVPREST) FROM CSA"_s).toDouble());
}

TEST_F(AdminTest, ScaleMakesExactlyTheCsasAskedFor)
{
    TTestDatabase scaled;
    ASSERT_EQ(RunServerCommand({u"init"_s, scaled.Spec(), u"--scale"_s, u"3000"_s}), 0);
    EXPECT_EQ(scaled.Scalar(u"SELECT COUNT(*) FROM CSA"_s).toInt(), 3000);
    EXPECT_GT(scaled.Scalar(u"SELECT COUNT(*) FROM FUNCIONARIO"_s).toInt(), 5);
    EXPECT_GT(scaled.Scalar(u"SELECT COUNT(*) FROM CHT"_s).toInt(), 0);
    EXPECT_EQ(scaled
                  .Scalar(u"SELECT COUNT(*) FROM CSA A JOIN CHT H ON H.NRSEQUCHT = "
                          "A.NRSEQUCHT WHERE H.CDFUNC <> A.CDFUNC"_s)
                  .toInt(),
              0);
    // Names are written as UTF-8 once, not as its bytes read as Latin-1.
    EXPECT_EQ(
        scaled.Scalar(u"SELECT NMFUNC FROM FUNCIONARIO WHERE CDFUNC = 'F0000000'"_s).toString(),
        u"Funcionário 0000000"_s);
}

TEST_F(AdminTest, ChtStatusSetsOnlyKnownSituationsOfExistingChts)
{
    EXPECT_EQ(RunServerCommand({u"cht-status"_s, m_db->Spec(), u"00001"_s, u"R"_s}), 0);
    EXPECT_EQ(m_db->Scalar(u"SELECT IDSTATUSCHT FROM CHT WHERE NRSEQUCHT = '00001'"_s).toString(),
              u"R"_s);
    QString err;
    EXPECT_EQ(RunServerCommand({u"cht-status"_s, m_db->Spec(), u"00001"_s, u"F"_s}, nullptr, &err),
              1);
    EXPECT_TRUE(err.contains(u"inválida"_s));
    EXPECT_EQ(RunServerCommand({u"cht-status"_s, m_db->Spec(), u"99999"_s, u"A"_s}, nullptr, &err),
              1);
    EXPECT_TRUE(err.contains(u"não existe"_s));
    EXPECT_EQ(m_db->Scalar(u"SELECT IDSTATUSCHT FROM CHT WHERE NRSEQUCHT = '00001'"_s).toString(),
              u"R"_s);
}

TEST_F(AdminTest, ServingADatabaseWithoutSchemaSaysToInitIt)
{
    TTestDatabase empty;
    QString err;
    EXPECT_EQ(RunServerCommand({u"serve"_s, empty.Spec(), u"--port"_s, u"0"_s}, nullptr, &err), 1);
    EXPECT_TRUE(err.contains(u"aph-server init"_s)) << err.toStdString();
    EXPECT_EQ(RunServerCommand({u"serve"_s, u"mysql://x"_s}, nullptr, &err), 1);
    EXPECT_EQ(RunServerCommand({u"frobnicate"_s}), 2);
}

TEST_F(AdminTest, TheDatabaseItselfKeepsOneCsaPerDayAndCshtsOfTheirOwn)
{
    AddTestWorld();
    AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, Day(2030, 3, 1), 8);
    EXPECT_TRUE(Refused(u"INSERT INTO CSA (NRPROPOSFAS, NRVERPROPFAS, NRSERVCONT, CDFUNC, "
                        "DTSERVPREST, CDEMPRESA, QTHRTRAB) VALUES ('TP1', '01', '001', 'TF1', ?, "
                        "'01', 4)"_s,
                        {static_cast<qint64>(Day(2030, 3, 1))}));
    // A CSA may only name a CHT of its own service and employee.
    AddCht(u"90031"_s, u"TP1"_s, u"01"_s, u"001"_s, u"TF2"_s, u"02"_s, u"P"_s);
    EXPECT_TRUE(Refused(u"UPDATE CSA SET NRSEQUCHT = '90031' WHERE CDFUNC = 'TF1'"_s));
    EXPECT_TRUE(Refused(u"UPDATE CSA SET QTHRAPROFATU = 9 WHERE CDFUNC = 'TF1'"_s));
    EXPECT_TRUE(Refused(u"UPDATE CSA SET QTHRAPRCOMIS = -1 WHERE CDFUNC = 'TF1'"_s));
    EXPECT_TRUE(Refused(u"UPDATE CHT SET IDSTATUSCHT = 'X' WHERE NRSEQUCHT = '90031'"_s));
    EXPECT_TRUE(Refused(u"INSERT INTO SERVCONT (NRPROPOSFAS, NRVERPROPFAS, NRSERVCONT, "
                        "CDTIPOSERV, IDTIPOCOBRCONT) VALUES ('TP1', '01', '003', 'DES', 'H')"_s));
}

// --help after any command shows the usage and does nothing else; the
// listing of tokens without an operator shows every operator's; check
// refuses an empty file instead of making a database of it and passing.
TEST_F(AdminTest, HelpTokensAndCheckDoWhatTheySay)
{
    for (const QStringList& args :
         {QStringList{u"--help"_s}, QStringList{u"serve"_s, u"--help"_s},
          QStringList{u"statement"_s, m_db->Spec(), u"90001"_s, u"--help"_s},
          QStringList{u"init"_s, u"sqlite:/nenhuma/pasta/x.db"_s, u"--help"_s}}) {
        QString out, err;
        EXPECT_EQ(RunServerCommand(args, &out, &err), 0) << args.join(u' ').toStdString();
        EXPECT_TRUE(out.startsWith(u"uso:"_s)) << out.toStdString() << err.toStdString();
        EXPECT_FALSE(err.contains(u"desconhecido"_s)) << err.toStdString();
    }
    QString out;
    ASSERT_EQ(RunServerCommand({u"tokens"_s, m_db->Spec()}, &out), 0);
    EXPECT_TRUE(out.contains(u"\nANA "_s)) << out.toStdString();
    EXPECT_FALSE(out.contains(u"Nenhum token."_s)) << out.toStdString();

    QTemporaryDir dir;
    const QString empty = dir.filePath(u"vazio.db"_s);
    QFile f(empty);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    QString err;
    EXPECT_EQ(RunServerCommand({u"check"_s, u"sqlite:"_s + empty}, &out, &err), 1);
    EXPECT_TRUE(err.contains(u"vazio"_s)) << err.toStdString();
    EXPECT_EQ(QFileInfo(empty).size(), 0);
    EXPECT_EQ(
        RunServerCommand({u"check"_s, u"sqlite:"_s + dir.filePath(u"nenhum.db"_s)}, &out, &err), 1);
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(u"nenhum.db"_s)));

    // check opens read-only: a SQLite file of another journal mode is
    // looked at, not turned into one of the server's.
    const QString other = dir.filePath(u"outro.db"_s);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"outro"_s);
        db.setDatabaseName(other);
        ASSERT_TRUE(db.open());
        QSqlQuery(u"CREATE TABLE T (X INTEGER)"_s, db).exec();
        db.close();
    }
    QSqlDatabase::removeDatabase(u"outro"_s);
    const auto bytes = [&other] {
        QFile file(other);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const QByteArray before = bytes();
    EXPECT_EQ(RunServerCommand({u"check"_s, u"sqlite:"_s + other}, &out, &err), 1);
    EXPECT_EQ(bytes(), before) << err.toStdString();
}
