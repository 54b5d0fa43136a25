// The administrative commands and what the database itself guarantees.
#include "server/storage/schema.h"
#include "tests/support/serverfixture.h"

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>

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

// Operator codes are plain ASCII letters and digits, one operator per code
// whatever its case; names refuse what a reader cannot see; whatever the
// commands echo reaches the terminal without a control character; and a
// code kept before the rule, in lower case, still gets tokens and logs in.
TEST_F(AdminTest, CodesAndNamesShowWhatTheyHoldAndTheTerminalGetsNoControls)
{
    const QString db = m_db->Spec();
    const auto noControls = [](const QString& text) {
        return std::none_of(text.cbegin(), text.cend(), [](QChar c) {
            return c != u'\n' &&
                   (c.category() == QChar::Other_Format || c.category() == QChar::Other_Control);
        });
    };
    struct Case
    {
        QString code, name;
        int exit;
        const char* says;
    };
    const QList<Case> cases{
        {u"bia7"_s, u"Bia"_s, 0, "Operador BIA7 criado"},
        {u"BIA7"_s, u"Outra"_s, 1, "já existe"},
        {u"ana"_s, u"Ana de novo"_s, 1, "O operador \"ANA\" já existe"},
        {u"a b"_s, u"Espaço"_s, 1, "letras"},
        {u"\u0410NA"_s, u"Cirílico"_s, 1, "letras"},
        {u"A\u001b[31mB"_s, u"Escape"_s, 1, "A\\x1b[31mB"},
        {u"ABC_1"_s, u"Sinal"_s, 1, "letras"},
        {u"ABCDEFGHIJKLM"_s, u"Longo"_s, 1, "letras"},
        {u"CAIO"_s, u"Caio\nSilva"_s, 1, "visíveis"},
        {u"CAIO"_s, u"Caio\u202eavliS"_s, 1, "visíveis"},
        {u"CAIO"_s, u"Cai\u200bo"_s, 1, "visíveis"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code.toStdString() + " " + c.name.toStdString());
        QString out, err;
        EXPECT_EQ(RunServerCommand({u"operator"_s, u"add"_s, db, c.code, c.name}, &out, &err),
                  c.exit);
        const QString all = out + err;
        EXPECT_TRUE(all.contains(QString::fromUtf8(c.says))) << all.toStdString();
        EXPECT_TRUE(noControls(all)) << all.toStdString();
    }
    EXPECT_EQ(m_db->Scalar(u"SELECT COUNT(*) FROM OPERADOR WHERE UPPER(CDOPERADOR) IN ('ANA', "
                           "'BIA7', 'CAIO')"_s)
                  .toInt(),
              2);
    EXPECT_EQ(m_db->Scalar(u"SELECT CDOPERADOR FROM OPERADOR WHERE UPPER(CDOPERADOR) = 'BIA7'"_s)
                  .toString(),
              u"BIA7"_s);

    // A code of mixed case kept before: named in any case, logs in as kept.
    AddEmployee(u"lg1"_s, u"Legado"_s, u"01"_s);
    QString token, err;
    ASSERT_EQ(RunServerCommand({u"token"_s, db, u"OPLG1"_s}, &token, &err), 0) << err.toStdString();
    TRpcClient client;
    client.Connect(u"127.0.0.1"_s, m_server->Port());
    EXPECT_NO_THROW(client.Login(u"OPlg1"_s, token.trimmed()));
    EXPECT_EQ(RunServerCommand({u"operator"_s, u"disable"_s, db, u"oplg1"_s}), 0);
    EXPECT_EQ(
        m_db->Scalar(u"SELECT IDOPERATIVO FROM OPERADOR WHERE CDOPERADOR = 'OPlg1'"_s).toString(),
        u"I"_s);

    // The issuer's name goes onto every statement: nothing hidden in it.
    ASSERT_EQ(RunServerCommand({u"emitente"_s, db, u"--nome"_s, u"Firma Ltda."_s, u"--cnpj"_s,
                                u"45.781.296/0001-63"_s}),
              0);
    for (const QString& name : {u"Firma\u001b[2J"_s, u"Firma\nOutra"_s, u"Fir\rma"_s,
                                u"\u202eamriF"_s, u"Fir\u200bma"_s, u"Firma\u0007"_s}) {
        QString out;
        err.clear();
        EXPECT_EQ(RunServerCommand(
                      {u"emitente"_s, db, u"--nome"_s, name, u"--cnpj"_s, u"45.781.296/0001-63"_s},
                      &out, &err),
                  1)
            << name.toStdString();
        EXPECT_TRUE(err.contains(u"visíveis"_s)) << err.toStdString();
    }
    EXPECT_EQ(m_db->Scalar(u"SELECT NMEMITENTE FROM PARAMGERAL"_s).toString(), u"Firma Ltda."_s);

    // The import report names a file as it is called, escaped.
    QTemporaryDir dir;
    const QString file = dir.filePath(u"C\u001b[31m\r\u0007.csv"_s);
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("X\n");
    f.close();
    QString out;
    err.clear();
    EXPECT_EQ(RunServerCommand({u"import"_s, db, file}, &out, &err), 1);
    EXPECT_TRUE(err.contains(u"C\\x1b[31m\\x0d\\x07.csv"_s)) << err.toStdString();
    EXPECT_TRUE(noControls(out + err)) << err.toStdString();
}
