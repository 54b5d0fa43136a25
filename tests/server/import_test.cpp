// The firm's own data through the command line, as an administrator brings
// it in: operators, then the CSV files of its records.
#include "server/firmdata/tables.h"
#include "server/storage/storage.h"
#include "server/storage/tablelist.h"
#include "tests/support/serverfixture.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

class ImportTest : public ServerTest
{
protected:
    QTemporaryDir dir;

    QString File(const QString& name, const QByteArray& text)
    {
        return WriteTestFile(dir.path(), name, text);
    }
    // The command's exit status; its standard output and error together.
    int Run(const QStringList& args, QString& text) { return RunServerCommand(args, text); }
    qint64 Count(const QString& sql) { return m_db->Scalar(sql).toLongLong(); }
    // Whether a line of the text matches the pattern whole.
    static bool Line(const QString& text, const QString& pattern)
    {
        return QRegularExpression(u"(^|\\n)"_s + pattern + u"\\s*(\\n|$)"_s).match(text).hasMatch();
    }
    // A client, its proposal and a contracted service, an employee: what
    // the CSAs of the tests name, in files given in the wrong order.
    QStringList Contract()
    {
        return {
            File(u"servicos.csv"_s, "NRPROPOSFAS;NRVERPROPFAS;NRSERVCONT;CDTIPOSERV;"
                                    "IDTIPOCOBRCONT;VRDEHORACLIE\nIP1;01;001;DES;H;150,5\n"),
            File(u"propostas.csv"_s, "NRPROPOSFAS;NRVERPROPFAS;CDCLIENTE;NRPROPOSTA;CDFILIAL\n"
                                     "IP1;01;IC1;PROP 1;0001\n"),
            File(u"tipos.csv"_s, "CDTIPOSERV,NMTIPOSERV\nDES,Desenvolvimento\n"),
            File(u"clientes.csv"_s,
                 "\xEF\xBB\xBF"
                 "cdcliente;nmfantclie;NMRAZSOCCLIE\nIC1;\"Café; \"\"Ação\"\"\";\n"),
            File(u"pessoas.csv"_s, "CDFUNC;NMFUNC;CDEMPRESA\nIF1;Fulano;01\n"),
        };
    }
};

} // namespace

// Files in any order go in parents first; hours as hh:mm or decimals with a
// comma, days as dd/mm/aaaa or ISO. The same files again change nothing;
// a changed day is updated, unless its approvals were set.
TEST_F(ImportTest, RecordsComeInByKeyAndAnApprovedDayIsNeverChanged)
{
    const QString csa = File(u"dias.csv"_s, "NRPROPOSFAS;NRVERPROPFAS;NRSERVCONT;CDFUNC;"
                                            "DTSERVPREST;CDEMPRESA;QTHRTRAB\r\n"
                                            "IP1;01;001;IF1;02/03/2026;01;08:30\r\n"
                                            "IP1;01;001;IF1;2026-03-03;01;7,25\r\n");
    QString text;
    ASSERT_EQ(
        Run(QStringList{u"import"_s, m_db->Spec(), csa, u"--operador"_s, u"ANA"_s} + Contract(),
            text),
        0)
        << text.toStdString();
    EXPECT_TRUE(Line(text, u"CSA +2 +0 +0 +0"_s)) << text.toStdString();
    EXPECT_EQ(m_db->Scalar(u"SELECT NMFANTCLIE FROM CLIENTE WHERE CDCLIENTE = 'IC1'"_s).toString(),
              u"Café; \"Ação\""_s);
    EXPECT_EQ(m_db->Scalar(u"SELECT SUM(QTHRTRAB) FROM CSA WHERE CDFUNC = 'IF1'"_s).toDouble(),
              15.75);

    m_db->Exec(u"UPDATE CSA SET QTHRAPROFATU = 8 WHERE CDFUNC = 'IF1' AND DTSERVPREST = ?"_s,
               {static_cast<qint64>(Day(2026, 3, 2))});
    const QString changed = File(u"dias2.csv"_s, "NRPROPOSFAS;NRVERPROPFAS;NRSERVCONT;CDFUNC;"
                                                 "DTSERVPREST;CDEMPRESA;QTHRTRAB\n"
                                                 "IP1;01;001;IF1;03/03/2026;01;6\n");
    ASSERT_EQ(Run({u"import"_s, m_db->Spec(), changed, u"--operador"_s, u"ANA"_s}, text), 0)
        << text.toStdString();
    EXPECT_TRUE(Line(text, u"CSA +0 +1 +0 +0"_s)) << text.toStdString();
    const QString approved = File(u"dias3.csv"_s, "NRPROPOSFAS;NRVERPROPFAS;NRSERVCONT;CDFUNC;"
                                                  "DTSERVPREST;CDEMPRESA;QTHRTRAB\n"
                                                  "IP1;01;001;IF1;02/03/2026;01;9\n");
    EXPECT_EQ(Run({u"import"_s, m_db->Spec(), approved, u"--operador"_s, u"ANA"_s}, text), 1);
    EXPECT_TRUE(text.contains(u"dias3.csv, linha 2, coluna DTSERVPREST: conflito: a CSA de "
                              "02/03/2026 já teve as aprovações definidas; a importação não a "
                              "altera"_s))
        << text.toStdString();
    EXPECT_EQ(m_db->Scalar(u"SELECT SUM(QTHRTRAB) FROM CSA WHERE CDFUNC = 'IF1'"_s).toDouble(),
              14.5);
}

// Each malformed line is reported with its place, and nothing of the run is
// written, not even the good files beside it.
TEST_F(ImportTest, EveryBadLineIsReportedAndNothingIsWritten)
{
    const QByteArray head = "NRPROPOSFAS;NRVERPROPFAS;NRSERVCONT;CDFUNC;DTSERVPREST;CDEMPRESA;"
                            "QTHRTRAB;QTHRAPROFATU\n";
    const struct
    {
        QByteArray Line;
        QString Error;
    } cases[] = {
        {"IP1;01;001;IF9;04/03/2026;01;8;",
         u"coluna CDFUNC: o funcionário IF9 não está cadastrado"_s},
        {"IP1;01;009;IF1;04/03/2026;01;8;",
         u"coluna NRPROPOSFAS: o serviço contratado IP1/01/009 não está cadastrado"_s},
        {"IP1;01;001;IF1;04/03/2026;01;-1;",
         u"coluna QTHRTRAB: -1 horas num dia: as horas vão de 0 a 24"_s},
        {"IP1;01;001;IF1;04/03/2026;01;24:30;",
         u"coluna QTHRTRAB: 24:30 horas num dia: as horas vão de 0 a 24"_s},
        {"IP1;01;001;IF1;04/03/2026;01;8;9",
         u"coluna QTHRAPROFATU: a aprovação passa das horas trabalhadas (8)"_s},
        {"IP1;01;001;IF1;30/02/2026;01;8;",
         u"coluna DTSERVPREST: \"30/02/2026\" não é uma data (dd/mm/aaaa ou aaaa-mm-dd)"_s},
        {"IP1;01;001;IF1;04/03/2026;01;oito;",
         u"coluna QTHRTRAB: \"oito\" não são horas (decimal, como 7,5, ou hh:mm)"_s},
        {"IP1;01;001;IF1;04/03/2026;01;8", u": a linha tem 7 campos; o cabeçalho tem 8"_s},
        {"IP1;01;001;IF1;05/03/2026;01;8;\nIP1;01;001;IF1;2026-03-05;01;7;",
         u"linha 3, coluna DTSERVPREST: a chave repete a da linha 2"_s},
    };
    const qint64 before = Count(u"SELECT COUNT(*) FROM CLIENTE"_s);
    for (const auto& c : cases) {
        const QString csa = File(u"dias.csv"_s, head + c.Line + '\n');
        QString text;
        EXPECT_EQ(
            Run(QStringList{u"import"_s, m_db->Spec(), csa, u"--operador"_s, u"ANA"_s} + Contract(),
                text),
            1);
        EXPECT_TRUE(text.contains(u"dias.csv, linha "_s) && text.contains(c.Error))
            << c.Line.toStdString() << "\n"
            << text.toStdString();
        EXPECT_TRUE(text.contains(u"nada foi gravado"_s));
    }
    // Files that are no table or no UTF-8.
    QString text;
    EXPECT_EQ(Run({u"import"_s, m_db->Spec(), File(u"x.csv"_s, "NOME;IDADE\nA;1\n"),
                   File(u"latin.csv"_s, "CDCLIENTE;NMFANTCLIE\nIC2;Caf\xE9\n")},
                  text),
              1);
    EXPECT_TRUE(text.contains(u"x.csv, linha 1: o cabeçalho não corresponde a nenhuma tabela"_s));
    EXPECT_TRUE(text.contains(u"latin.csv, linha 2: o texto não está em UTF-8"_s));
    EXPECT_EQ(Count(u"SELECT COUNT(*) FROM CLIENTE"_s), before);
    EXPECT_EQ(Count(u"SELECT COUNT(*) FROM FUNCIONARIO WHERE CDFUNC = 'IF1'"_s), 0);
}

// The first steps of a firm on an empty database: the first operator, the
// records, a token, a Login; an operator disabled loses their session at
// the next call.
TEST_F(ImportTest, AnEmptyDatabaseGetsItsFirstOperatorAndServes)
{
    if (TTestDatabase::UsesPostgres())
        GTEST_SKIP() << "the empty database is a SQLite file of its own";
    const QString db = u"sqlite:"_s + dir.filePath(u"firma.db"_s);
    QString text;
    ASSERT_EQ(Run({u"init"_s, db}, text), 0) << text.toStdString();
    EXPECT_EQ(Run({u"token"_s, db, u"ANA"_s}, text), 1);
    ASSERT_EQ(Run(QStringList{u"import"_s, db} + Contract(), text), 0) << text.toStdString();
    ASSERT_EQ(
        Run({u"operator"_s, u"add"_s, db, u"ANA"_s, u"Ana Souza"_s, u"--func"_s, u"IF1"_s}, text),
        0)
        << text.toStdString();
    EXPECT_EQ(Run({u"operator"_s, u"add"_s, db, u"ANA"_s, u"Outra"_s}, text), 1);
    EXPECT_TRUE(text.contains(u"O operador \"ANA\" já existe"_s)) << text.toStdString();
    EXPECT_EQ(Run({u"operator"_s, u"add"_s, db, u"BIA"_s, u"Bia"_s, u"--func"_s, u"X"_s}, text), 1);
    EXPECT_TRUE(text.contains(u"O funcionário \"X\" não está cadastrado"_s));

    QString token;
    ASSERT_EQ(RunServerCommand({u"token"_s, db, u"ANA"_s}, &token), 0);
    TServerProcess server(db);
    TRpcClient client;
    client.Connect(u"127.0.0.1"_s, server.Port());
    client.Login(u"ANA"_s, token.trimmed());
    EXPECT_NO_THROW(client.Call(u"GetProp"_s, {u"0001"_s, QString(), u"T"_s}));
    ASSERT_EQ(Run({u"operators"_s, db}, text), 0);
    EXPECT_TRUE(Line(text, u"ANA +Ana Souza +IF1 +ativo +1 +consultar,aprovar,gerar"_s))
        << text.toStdString();
    ASSERT_EQ(Run({u"operator"_s, u"disable"_s, db, u"ANA"_s}, text), 0);
    try {
        client.Call(u"GetProp"_s, {u"0001"_s, QString(), u"T"_s});
        ADD_FAILURE() << "a disabled operator's session went on";
    } catch (const ERpcError& e) {
        EXPECT_EQ(e.Code(), -32008);
    }
}

namespace {

// The base tables of a database, as its catalog names them (views left
// out), in capitals.
QStringList CatalogTables(TStorage& storage)
{
    QStringList names;
    QSqlQuery& q = storage.Select(
        storage.IsPostgres()
            ? u"SELECT upper(table_name) FROM information_schema.tables WHERE table_schema = "
              "current_schema() AND table_type = 'BASE TABLE'"_s
            : u"SELECT upper(name) FROM sqlite_master WHERE type = 'table' AND name NOT LIKE "
              "'sqlite_%'"_s);
    while (q.next())
        names << q.value(0).toString();
    TStorage::Done(q);
    names.sort();
    return names;
}

// Every row of a table, each cell as an export writes it (a column the
// list does not know, as the engine gives it), sorted.
QStringList AllRows(TStorage& storage, const QString& name)
{
    const TTableSpec* spec = FindTableSpec(name.toStdString());
    const TFirmTable table = spec ? FirmTableOf(*spec) : TFirmTable{name, {}, {}, {}, false};
    QStringList out;
    QSqlQuery& q = storage.Select(u"SELECT * FROM "_s + name);
    while (q.next()) {
        QStringList cells;
        for (int i = 0; i < q.record().count(); ++i) {
            const QString column = q.record().fieldName(i).toUpper();
            const TColumn* c = table.Find(column);
            cells << column + u'=' + (c ? FormatCell(*c, q.value(i)) : q.value(i).toString());
        }
        out << cells.join(u'|');
    }
    TStorage::Done(q);
    out.sort();
    return out;
}

} // namespace

// What an export writes, an import into an empty database takes back whole:
// every table of the catalog the same, cell by cell as the files write them,
// but those the table list leaves out of an export. The operators keep
// their roles, none gaining the default ones, and the issuer stays. Without
// a file of roles, operators new to the database get the default roles.
TEST_F(ImportTest, AnExportImportedIntoAnEmptyDatabaseGivesTheSameData)
{
    // A day with history, its moment not a whole millisecond.
    m_db->Exec(u"INSERT INTO APH_HISTEVENTO (NRHISTCSA, NRPROPOSFAS, NRVERPROPFAS, NRSERVCONT, "
               "CDFUNC, DTSERVPREST, DTEVENTO, CDOPERADOR, IDEVENTO, QTHRAPROFATU) VALUES (77, "
               "'X', '01', '001', 'F', 45700, 45700.123456789, 'ANA', 'A', 0.1)"_s);
    // A read-only intern, a supervisor who only approves CHTs, and ANA,
    // who also bills; the issuer of the statements.
    m_db->Exec(u"INSERT INTO OPERADOR (CDOPERADOR, NMOPERADOR, IDOPERATIVO) VALUES ('ESTAG', "
               "'Estagiária', 'A'), ('SUPER', 'Supervisor', 'A')"_s);
    m_db->Exec(u"INSERT INTO APH_PAPEL (CDOPERADOR, DSPAPEL) VALUES ('ESTAG', 'consultar'), "
               "('SUPER', 'supervisionar'), ('ANA', 'faturar')"_s);
    m_db->Exec(u"UPDATE PARAMGERAL SET NMEMITENTE = 'Firma Exemplo Ltda', NRCNPJEMITENTE = "
               "'11222333000181'"_s);
    const QString folder = dir.filePath(u"export"_s);
    const QString db = u"sqlite:"_s + dir.filePath(u"vazio.db"_s);
    QString text;
    ASSERT_EQ(Run({u"export"_s, m_db->Spec(), folder}, text), 0) << text.toStdString();
    ASSERT_EQ(Run({u"init"_s, db}, text), 0) << text.toStdString();
    QStringList files;
    for (const QString& name : QDir(folder).entryList({u"*.csv"_s}))
        files << QDir(folder).filePath(name);
    // ANA, who stamps nothing here (the files give who included each CSA),
    // comes in with the operators of the same run.
    ASSERT_EQ(Run(QStringList{u"import"_s, db, u"--operador"_s, u"ANA"_s} + files, text), 0)
        << text.toStdString();

    const auto origin = TStorage::Open(TDatabaseSpec::Parse(m_db->Spec()));
    const auto copy = TStorage::Open(TDatabaseSpec::Parse(db));
    const QStringList tables = CatalogTables(*origin);
    EXPECT_EQ(CatalogTables(*copy), tables);
    for (const QString& table : tables) {
        SCOPED_TRACE(table.toStdString());
        const TTableSpec* spec = FindTableSpec(table.toStdString());
        EXPECT_TRUE(spec) << "a table the list does not know";
        if (spec && !spec->Exported())
            continue;
        const QStringList expected = AllRows(*origin, table);
        EXPECT_EQ(AllRows(*copy, table), expected);
        EXPECT_TRUE(!expected.isEmpty() || table.startsWith(u"APH_HISTGER")) << "no rows";
    }
    EXPECT_EQ(AllRows(*copy, u"APH_PAPEL"_s).filter(u"ESTAG"_s),
              QStringList{u"CDOPERADOR=ESTAG|DSPAPEL=consultar"_s});
    EXPECT_EQ(Count(u"SELECT COUNT(*) FROM PARAMGERAL WHERE NRCNPJEMITENTE = '11222333000181'"_s),
              1);

    // The operators alone, into another empty database.
    const QString bare = u"sqlite:"_s + dir.filePath(u"sem-papeis.db"_s);
    ASSERT_EQ(Run({u"init"_s, bare}, text), 0) << text.toStdString();
    ASSERT_EQ(Run({u"import"_s, bare, QDir(folder).filePath(u"FUNCIONARIO.csv"_s),
                   QDir(folder).filePath(u"OPERADOR.csv"_s)},
                  text),
              0)
        << text.toStdString();
    const auto fresh = TStorage::Open(TDatabaseSpec::Parse(bare));
    EXPECT_EQ(
        AllRows(*fresh, u"APH_PAPEL"_s).filter(u"ESTAG"_s),
        QStringList({u"CDOPERADOR=ESTAG|DSPAPEL=aprovar"_s, u"CDOPERADOR=ESTAG|DSPAPEL=consultar"_s,
                     u"CDOPERADOR=ESTAG|DSPAPEL=gerar"_s}));
}
