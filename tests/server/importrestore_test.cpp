// What an import may read and write: only regular files, of bounded lines;
// the firm's tables, but the CHTs and the history only as a restore; and
// repeated keys found without reading the stage once per line.
#include "tests/support/serverfixture.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <iostream>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

// aph-server with the arguments, ended if it is still at work after a
// while (an import stuck on a FIFO would wait for ever).
int RunBounded(const QStringList& args, QString& text)
{
    QProcess p;
    p.start(QStringLiteral(APH_SERVER_BIN), args);
    if (!p.waitForFinished(30000)) {
        p.kill();
        p.waitForFinished();
        text = u"(still running after 30 s)"_s;
        return -1;
    }
    text = QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

class ImportRestoreTest : public ServerTest
{
protected:
    QString File(const QString& name, const QByteArray& text)
    {
        return WriteTestFile(m_dir.path(), name, text);
    }
    // The rows of what only a restore brings, from the database's own
    // tables.
    QString Guarded()
    {
        QStringList counts;
        for (const QString& table :
             {u"CHT"_s, u"APH_HISTEVENTO"_s, u"APH_HISTGERACAO"_s, u"APH_HISTGERCSA"_s})
            counts << m_db->Scalar(u"SELECT COUNT(*) FROM "_s + table).toString();
        counts
            << m_db->Scalar(u"SELECT COUNT(*) FROM CSA WHERE NRSEQUCHT IS NOT NULL"_s).toString();
        counts << m_db->Scalar(u"SELECT NRVALOR FROM APH_SEQUENCIA WHERE NMSEQUENCIA = 'CHT'"_s)
                      .toString();
        return counts.join(u'/');
    }

    QTemporaryDir m_dir;
};

} // namespace

TEST_F(ImportRestoreTest, ChtsHistoryAndWhatIsNoRegularFileAreRefusedByName)
{
    AddTestWorld();
    AddCht(u"00500"_s, u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, u"R"_s);
    AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, Day(2030, 5, 2), 8, u"00500"_s);
    m_db->Exec(u"INSERT INTO APH_HISTEVENTO (NRHISTCSA, NRPROPOSFAS, NRVERPROPFAS, NRSERVCONT, "
               "CDFUNC, DTSERVPREST, DTEVENTO, CDOPERADOR, IDEVENTO) VALUES (900, 'TP1', '01', "
               "'001', 'TF1', 47000, 47000.5, 'ANA', 'A')"_s);
    const QString folder = m_dir.filePath(u"exportado"_s);
    QString text;
    ASSERT_EQ(RunBounded({u"export"_s, m_db->Spec(), folder}, text), 0) << text.toStdString();
    // The billed CHT moved to another employee, and a forged day of
    // history; a new day put into the billed CHT.
    QFile chtFile(folder + u"/CHT.csv"_s);
    ASSERT_TRUE(chtFile.open(QIODevice::ReadOnly));
    const QString cht = File(u"cht-movida.csv"_s, chtFile.readAll().replace(";TF1;", ";TF2;"));
    const QString history = folder + u"/APH_HISTEVENTO.csv"_s;
    const QString placed = File(u"dia-na-cht.csv"_s,
                                "NRPROPOSFAS;NRVERPROPFAS;NRSERVCONT;CDFUNC;DTSERVPREST;CDEMPRESA;"
                                "QTHRTRAB;NRSEQUCHT\nTP1;01;001;TF1;03/05/2030;01;8;00500\n");
    const QString fifo = m_dir.filePath(u"fifo.csv"_s);
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString longLine =
        File(u"longa.csv"_s, "CDCLIENTE;NMFANTCLIE;NMRAZSOCCLIE\nX;" + QByteArray(100000, 'a'));
    const QString map = m_dir.filePath(u"mapa.ini"_s);
    ASSERT_EQ(::mkfifo(QFile::encodeName(map).constData(), 0600), 0);
    const QString copyHint = u"aph-server copy ORIGEM DESTINO"_s;
    const struct
    {
        const char* Name;
        QStringList Args;
        QString Said;
    } cases[] = {
        {"a CHT moved to another employee", {cht}, u"cht-movida.csv: CHT faz parte da vida"_s},
        {"the same, dry run", {cht, u"--dry-run"_s}, copyHint},
        {"a day of history", {history}, u"APH_HISTEVENTO.csv: APH_HISTEVENTO faz parte"_s},
        {"a new day put into a billed CHT",
         {placed},
         u"dia-na-cht.csv, linha 2, coluna NRSEQUCHT: a importação não põe uma CSA na CHT 00500"_s},
        {"a FIFO", {fifo}, u"O arquivo %1 não é um arquivo comum: é um FIFO"_s.arg(fifo)},
        {"a folder", {folder}, u"O arquivo %1 não é um arquivo comum: é uma pasta"_s.arg(folder)},
        {"a device", {u"/dev/zero"_s}, u"não é um arquivo comum: é um dispositivo"_s},
        {"a map that is a FIFO",
         {placed, u"--mapa"_s, map},
         u"O mapa %1 não é um arquivo comum: é um FIFO"_s.arg(map)},
        {"a line past the bound",
         {longLine},
         u"longa.csv, linha 2: a linha passa de 65536 bytes"_s},
    };
    const QString before = Guarded();
    const qint64 csas = m_db->Scalar(u"SELECT COUNT(*) FROM CSA"_s).toLongLong();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(
            RunBounded(QStringList{u"import"_s, m_db->Spec(), u"--operador"_s, u"ANA"_s} + c.Args,
                       text),
            1);
        EXPECT_TRUE(text.contains(c.Said)) << text.toStdString();
        EXPECT_FALSE(text.contains(u"não existe"_s)) << text.toStdString();
        EXPECT_EQ(Guarded(), before);
        EXPECT_EQ(m_db->Scalar(u"SELECT COUNT(*) FROM CSA"_s).toLongLong(), csas);
    }

    // The same files restore a database with none of them.
    const QString empty = u"sqlite:"_s + m_dir.filePath(u"vazio.db"_s);
    ASSERT_EQ(RunBounded({u"init"_s, empty}, text), 0) << text.toStdString();
    QStringList files;
    for (const QString& name : QDir(folder).entryList({u"*.csv"_s}))
        files << QDir(folder).filePath(name);
    EXPECT_EQ(RunBounded(QStringList{u"import"_s, empty, u"--operador"_s, u"ANA"_s} + files, text),
              0)
        << text.toStdString();
    // Once restored, it is no longer a restore target.
    EXPECT_EQ(RunBounded({u"import"_s, empty, history}, text), 1) << text.toStdString();
    EXPECT_TRUE(text.contains(copyHint)) << text.toStdString();
}

// One key on every line of a large file: each repeat is refused, naming the
// first line, and the run ends in about the time of reading the file.
TEST_F(ImportRestoreTest, RepeatedKeysAreFoundAmongManyRows)
{
    constexpr int kRows = 200000;
    QByteArray text = "CDCLIENTE;NMFANTCLIE;NMRAZSOCCLIE\n";
    text.reserve(kRows * 24);
    for (int i = 0; i < kRows; ++i)
        text += "MESMO;Cliente;Razao " + QByteArray::number(i) + '\n';
    const QString file = File(u"repetidos.csv"_s, text);
    QString out;
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(RunBounded({u"import"_s, m_db->Spec(), file, u"--dry-run"_s}, out), 1);
    std::cout << "[ figure ] " << kRows << " rows of one key checked in " << timer.elapsed()
              << " ms\n";
    EXPECT_TRUE(out.contains(u"repetidos.csv, linha 3, coluna CDCLIENTE: a chave repete a da "
                             "linha 2"_s))
        << out.left(2000).toStdString();
    EXPECT_TRUE(out.contains(u"%1 erro(s): nada foi gravado."_s.arg(kRows - 1)))
        << out.right(500).toStdString();
    EXPECT_EQ(m_db->Scalar(u"SELECT COUNT(*) FROM CLIENTE WHERE CDCLIENTE = 'MESMO'"_s).toInt(), 0);
}
