// aph-server export: each table of the firm reads back, cell by cell, as
// the database holds it, in key order and in the same bytes every time;
// refusals say why and leave nothing behind.
#include "host/data/csvwriter.h"
#include "host/data/scopeguard.h"
#include "server/firmdata/csvfile.h"
#include "server/firmdata/tables.h"
#include "tests/support/serverfixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cmath>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

QStringList Names(const TFirmTable& table)
{
    QStringList names;
    for (const TColumn& c : table.Columns)
        names << c.Name;
    return names;
}

QByteArray Contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Whether a cell read back is the value stored; the file keeps moments to
// the millisecond.
bool SameValue(const TColumn& column, const QVariant& stored, const QVariant& read)
{
    if (stored.isNull() || read.isNull())
        return stored.isNull() && read.isNull();
    switch (column.Kind) {
    case TColumnKind::Text:
        return stored.toString() == read.toString();
    case TColumnKind::Day:
    case TColumnKind::Integer:
        return stored.toLongLong() == read.toLongLong();
    case TColumnKind::Moment:
        return std::abs(stored.toDouble() - read.toDouble()) <= 0.5 / 86400000.0 + 1e-10;
    default:
        return stored.toDouble() == read.toDouble();
    }
}

// The commands started in the scope run in that time zone.
[[nodiscard]] auto InZone(const char* zone)
{
    const bool had = qEnvironmentVariableIsSet("TZ");
    const QByteArray before = qgetenv("TZ");
    qputenv("TZ", zone);
    return TScopeExit([had, before] { had ? qputenv("TZ", before) : qunsetenv("TZ"); });
}

class ExportTest : public ServerTest
{
protected:
    QString Folder(const QString& name) const { return m_dir.filePath(name); }
    int Export(const QString& folder, QString* out = nullptr, QString* err = nullptr)
    {
        return RunServerCommand({u"export"_s, m_db->Spec(), folder}, out, err);
    }

    // Beside the demo data: names a CSV must quote, hours no decimal holds,
    // an approval left null, an event of the history, and a client and a
    // CSA added after rows their keys come before.
    void AddAwkwardRows()
    {
        AddTestWorld();
        AddClient(u"0000;X"_s, u"  Ação; \"Aspas\"\nSegunda linha, çédilha "_s);
        AddEmployee(u"TF3"_s, u"José \"Zé\" D'Ávila; Filho"_s, u"01"_s);
        const double day = Day(2030, 3, 2);
        AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF3"_s, u"01"_s, day, 8, {}, 2.0 / 3, 0.1 + 0.2);
        AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, day - 1, 1.0 / 3);
        m_db->Exec(u"INSERT INTO APH_HISTEVENTO (NRHISTCSA, NRPROPOSFAS, NRVERPROPFAS, "
                   "NRSERVCONT, CDFUNC, DTSERVPREST, DTEVENTO, CDOPERADOR, IDEVENTO, "
                   "QTHRAPROFATU) VALUES (?, 'TP1', '01', '001', 'TF3', ?, ?, 'ANA', 'A', ?)"_s,
                   {qint64(9000000001), qint64(day), day + 0.123456789, 2.0 / 3});
    }

    // Every record of the file, parsed as the import parses it, against the
    // table's rows in the order of its key.
    void ExpectReadsBack(const TFirmTable& table, const QString& path)
    {
        const QList<QVariantList> stored = m_db->Rows(u"SELECT %1 FROM %2 ORDER BY %3"_s.arg(
            Names(table).join(u", "_s), table.Name, table.Key.join(u", "_s)));
        TCsvReader reader(path);
        EXPECT_EQ(reader.Header(), Names(table));
        QStringList fields;
        qint64 line = 0;
        qsizetype row = 0;
        for (; reader.Next(fields, line); ++row) {
            ASSERT_LT(row, stored.size()) << "line " << line;
            ASSERT_EQ(fields.size(), Names(table).size()) << "line " << line;
            for (qsizetype i = 0; i < fields.size(); ++i) {
                const TColumn& column = table.Columns[static_cast<std::size_t>(i)];
                QVariant read;
                QString why;
                EXPECT_TRUE(ParseCell(column, fields[i], read, why)) << why.toStdString();
                EXPECT_TRUE(SameValue(column, stored[row][i], read))
                    << column.Name.toStdString() << ", line " << line << ": stored \""
                    << stored[row][i].toString().toStdString() << "\", written \""
                    << fields[i].toStdString() << "\"";
            }
        }
        EXPECT_EQ(row, stored.size());
    }

    QTemporaryDir m_dir;
};

} // namespace

TEST_F(ExportTest, EveryTableReadsBackAsStoredInKeyOrderAndTwoExportsAreTheSameBytes)
{
    AddAwkwardRows();
    const QString first = Folder(u"primeira/dentro"_s), second = Folder(u"segunda"_s);
    QString out, err;
    {
        // A zone far from UTC, with a century of offsets behind it, changes
        // no moment: the second export, in UTC, writes the same bytes.
        const auto zone = InZone("America/Sao_Paulo");
        ASSERT_EQ(Export(first, &out, &err), 0) << err.toStdString();
    }
    EXPECT_EQ(out.count(u" linha(s) em "_s), static_cast<qsizetype>(FirmTables().size()))
        << out.toStdString();
    QStringList files;
    for (const TFirmTable& table : FirmTables()) {
        SCOPED_TRACE(table.Name.toStdString());
        files << table.Name + u".csv"_s;
        ExpectReadsBack(table, QDir(first).filePath(files.back()));
    }
    files.sort();
    EXPECT_EQ(QDir(first).entryList(QDir::Files | QDir::Hidden, QDir::Name), files);

    const auto zone = InZone("UTC");
    ASSERT_EQ(Export(second, &out, &err), 0) << err.toStdString();
    for (const QString& file : files)
        EXPECT_EQ(Contents(QDir(first).filePath(file)), Contents(QDir(second).filePath(file)))
            << file.toStdString();
}

// The bytes of every file against a plain formatter: each stored value as
// QtSql reads it, through FormatCell and CsvRecord, the way the export wrote
// its cells before it read them from the engine; over the awkward rows and
// values at the edges of what the export writes itself (years before 1000,
// whole numbers past 2^53, hours with every digit, moments at midnight).
TEST_F(ExportTest, FilesAreTheStoredValuesFormattedCellByCell)
{
    AddAwkwardRows();
    AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, Day(2030, 3, 5), 23.999999999, {}, 1e-7,
           0.1 + 0.7);
    AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, -500000, 0.0, {}, 0.0, 0.0);
    AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, 2958465, 7.5075);
    m_db->Exec(u"INSERT INTO APH_HISTEVENTO (NRHISTCSA, NRPROPOSFAS, NRVERPROPFAS, "
               "NRSERVCONT, CDFUNC, DTSERVPREST, DTEVENTO, CDOPERADOR, IDEVENTO) VALUES "
               "(?, 'TP1', '01', '001', 'TF1', ?, ?, 'ANA', 'A')"_s,
               {qint64(9007199254740993), qint64(Day(2030, 3, 5)), Day(2030, 3, 5) + 1.0});
    const QString folder = Folder(u"bytes"_s);
    QString out, err;
    ASSERT_EQ(Export(folder, &out, &err), 0) << err.toStdString();
    for (const TFirmTable& table : FirmTables()) {
        SCOPED_TRACE(table.Name.toStdString());
        QString expected = CsvRecord(Names(table), TCsvPolicy::ForImport);
        for (const QVariantList& row : m_db->Rows(u"SELECT %1 FROM %2 ORDER BY %3"_s.arg(
                 Names(table).join(u", "_s), table.Name, table.Key.join(u", "_s)))) {
            QStringList cells;
            for (qsizetype i = 0; i < row.size(); ++i)
                cells << FormatCell(table.Columns[static_cast<std::size_t>(i)], row[i]);
            expected += CsvRecord(cells, TCsvPolicy::ForImport);
        }
        EXPECT_EQ(Contents(QDir(folder).filePath(table.Name + u".csv"_s)).toStdString(),
                  "\xEF\xBB\xBF" + expected.toUtf8().toStdString());
    }
}

TEST_F(ExportTest, RefusalsSayWhyAndWriteNothing)
{
    const QString taken = Folder(u"ocupada"_s), fresh = Folder(u"nova"_s);
    ASSERT_TRUE(QDir().mkpath(taken));
    QFile existing(QDir(taken).filePath(u"CLIENTE.csv"_s));
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly) && existing.write("fica") == 4);
    existing.close();
    TTestDatabase noSchema;
    noSchema.ExecDirect(u"CREATE TABLE OUTRA (A INTEGER)"_s);
    const QString usage = u"export recebe um banco de dados e a pasta onde gravar os arquivos.\n"_s;
    struct TCase
    {
        QStringList Args;
        int Code;
        QString Err; // all of stderr; for a usage error, how it begins
    };
    const TCase cases[] = {
        {{m_db->Spec(), taken},
         1,
         u"aph-server: A pasta %1 já tem CLIENTE.csv; a exportação nunca sobrescreve um arquivo. "
         "Escolha outra pasta ou remova-os antes.\n"_s.arg(taken)},
        {{noSchema.Spec(), fresh},
         1,
         u"aph-server: O banco de dados não tem o esquema do servidor. Crie-o com: aph-server "
         "init BANCO\n"_s},
        {{m_db->Spec()}, 2, usage},
        {{m_db->Spec(), fresh, u"mais"_s}, 2, usage},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Args.join(u' ').toStdString());
        QString out, err;
        EXPECT_EQ(RunServerCommand(QStringList{u"export"_s} + c.Args, &out, &err), c.Code);
        if (c.Code == 2)
            EXPECT_TRUE(err.startsWith(c.Err) && err.contains(u"aph-server export BANCO PASTA"_s))
                << err.toStdString();
        else
            EXPECT_EQ(err.toStdString(), c.Err.toStdString());
        EXPECT_TRUE(out.isEmpty()) << out.toStdString();
    }
    EXPECT_EQ(QDir(taken).entryList(QDir::Files | QDir::Hidden), QStringList{u"CLIENTE.csv"_s});
    EXPECT_EQ(Contents(existing.fileName()), QByteArray("fica"));
    EXPECT_FALSE(QFileInfo::exists(fresh));

    if (TTestDatabase::UsesPostgres())
        return; // its INTEGER columns hold whole numbers only
    // A day SQLite kept as text, met after eight files were written: refused
    // by row, and the files written so far are gone.
    AddTestWorld();
    AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, Day(2030, 3, 1), 8);
    m_db->Exec(u"UPDATE CSA SET DTSERVPREST = 'ontem' WHERE CDFUNC = 'TF1'"_s);
    QString out, err;
    EXPECT_EQ(Export(fresh, &out, &err), 1);
    EXPECT_EQ(
        err.toStdString(),
        u"aph-server: CSA de chave TP1/01/001/TF1/ontem: o valor \"ontem\" de DTSERVPREST "
        "não é um dia (número inteiro). Corrija-o no banco e exporte de novo.\n"_s.toStdString());
    EXPECT_EQ(QDir(fresh).entryList(QDir::Files | QDir::Hidden), QStringList());
}
