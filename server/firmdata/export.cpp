#include "server/firmdata/export.h"

#include "host/data/csvwriter.h"
#include "host/data/exceptions.h"
#include "host/data/packetcodec.h"
#include "host/data/scopeguard.h"
#include "server/common/interrupt.h"
#include "server/common/newfile.h"
#include "server/firmdata/csvfile.h"
#include "server/firmdata/tables.h"
#include "server/storage/rowsource.h"
#include "server/storage/schema.h"
#include "server/storage/storage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>

#include <cerrno>
#include <cmath>
#include <csignal>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

// The largest whole number a double holds exactly.
constexpr double kMaxExactWhole = 9007199254740992.0; // 2^53

QString FileName(const TFirmTable& table)
{
    return table.Name + u".csv"_s;
}

// An export adds files beside whatever the folder holds, and never in place
// of one: the files of an earlier export stay as they were.
void RefuseExistingFiles(const QDir& dir)
{
    QStringList found;
    for (const TFirmTable& table : FirmTables())
        if (NameTaken(dir.filePath(FileName(table))))
            found << FileName(table);
    if (!found.isEmpty())
        throw Exception(u"A pasta %1 já tem %2; a exportação nunca sobrescreve um arquivo. "
                        "Escolha outra pasta ou remova-os antes."_s.arg(
                            QDir::toNativeSeparators(dir.path()), found.join(u", "_s)));
}

QString SelectSql(const TFirmTable& table)
{
    QStringList columns;
    for (const TColumn& c : table.Columns)
        columns << c.Name;
    return u"SELECT %1 FROM %2 ORDER BY %3"_s.arg(columns.join(u", "_s), table.Name,
                                                  table.Key.join(u", "_s));
}

// A whole number from an integer, a double without a fraction or the
// text of either (SQLite keeps a value in the type it was written with).
bool WholeNumber(const QVariant& value, qlonglong& number)
{
    bool ok = false;
    if (value.typeId() != QMetaType::Double && value.typeId() != QMetaType::Float) {
        number = value.toLongLong(&ok);
        if (ok)
            return true;
    }
    const double d = value.toDouble(&ok);
    if (!ok || d != std::trunc(d) || std::abs(d) > kMaxExactWhole)
        return false;
    number = static_cast<qlonglong>(d);
    return true;
}

// The stored value in the type FormatCell reads for the column's kind; false
// when it is no value of that kind, which the export refuses rather than
// write a day or an amount that is not the one stored.
bool Normalize(const TColumn& column, QVariant& value)
{
    if (value.isNull() || column.Kind == TColumnKind::Text)
        return true;
    if (column.Kind == TColumnKind::Day || column.Kind == TColumnKind::Integer) {
        qlonglong number = 0;
        if (!WholeNumber(value, number))
            return false;
        value = number;
        return true;
    }
    bool ok = false;
    const double number = value.toDouble(&ok);
    if (!ok || !std::isfinite(number))
        return false;
    value = number;
    return true;
}

QString KindText(TColumnKind kind)
{
    switch (kind) {
    case TColumnKind::Day:
        return u"um dia (número inteiro)"_s;
    case TColumnKind::Integer:
        return u"um número inteiro"_s;
    default:
        return u"um número"_s;
    }
}

// The key of the row the read stands on, as "TP1/01/001/TF1/47000".
QString KeyText(const TFirmTable& table, const TRowSource& rows)
{
    QStringList values;
    for (const QString& name : table.Key)
        values
            << rows.Variant(static_cast<int>(table.Find(name) - table.Columns.data())).toString();
    return values.join(u'/');
}

QString Cell(const TFirmTable& table, int column, const TRowSource& rows)
{
    const TColumn& c = table.Columns[static_cast<std::size_t>(column)];
    QVariant value = rows.Variant(column);
    if (!Normalize(c, value))
        throw Exception(u"%1 de chave %2: o valor \"%3\" de %4 não é %5. Corrija-o no banco e "
                        "exporte de novo."_s.arg(table.Name, KeyText(table, rows),
                                                 rows.Variant(column).toString(), c.Name,
                                                 KindText(c.Kind)));
    return FormatCell(c, value);
}

// One cell of the record: text and numbers straight from the engine's
// value where it gives them, anything else through its QVariant (where a
// value that is not of the column's kind is refused).
void AppendCell(QByteArray& out, const TFirmTable& table, int column, const TRowSource& rows)
{
    if (rows.IsNull(column))
        return;
    const TColumn& c = table.Columns[static_cast<std::size_t>(column)];
    if (c.Kind == TColumnKind::Text) {
        std::string_view text;
        if (rows.Text(column, text)) {
            AppendCsvCell(out, text, TCsvPolicy::ForImport);
            return;
        }
    } else {
        double number = 0;
        if (rows.Number(column, number) && AppendFormattedNumber(out, c, number))
            return;
    }
    AppendCsvCell(out, Cell(table, column, rows), TCsvPolicy::ForImport);
}

// The rows of a read through QtSql, as a row source; PostgreSQL's export
// reads this way, since QtSql streams the rows where libpq's result would
// hold a whole table in memory.
class TQueryRows final : public TRowSource
{
public:
    explicit TQueryRows(QSqlQuery& query) : m_query(query) {}
    bool Next() override { return m_query.next(); }
    void AppendCell(QByteArray& out, int column, const TFieldDef& def) const override
    {
        AppendJsonValue(out, CellOf(m_query.value(column), def));
    }
    std::string_view Utf8(int column, QByteArray& scratch) const override
    {
        scratch = m_query.value(column).toString().toUtf8();
        return {scratch.constData(), static_cast<std::size_t>(scratch.size())};
    }
    QVariant Variant(int column) const override { return m_query.value(column); }
    bool IsNull(int column) const override { return m_query.isNull(column); }

private:
    QSqlQuery& m_query;
};

// The rows into the file, each record written straight into its buffer;
// returns how many.
qint64 WriteRows(TRowSource& rows, const TFirmTable& table, TCsvWriter& out)
{
    const int columns = static_cast<int>(table.Columns.size());
    qint64 count = 0;
    while (rows.Next()) {
        RaiseIfInterrupted();
        QByteArray& record = out.Pending();
        for (int i = 0; i < columns; ++i) {
            if (i)
                record += ';';
            AppendCell(record, table, i, rows);
        }
        record += "\r\n";
        out.Wrote();
        ++count;
    }
    return count;
}

// The table's rows, in the order of its key, into a new file at path, one
// row at a time; returns how many.
qint64 WriteTable(TStorage& storage, const TFirmTable& table, const QString& path)
{
    QStringList fields;
    for (const TColumn& c : table.Columns)
        fields << c.Name;
    // Raw values, for the import to read back exactly.
    TCsvWriter out(path, TCsvPolicy::ForImport);
    out.Write(fields);
    qint64 rows = 0;
    if (!storage.IsPostgres()) {
        // SQLite's statement API, whose failures raise as they come.
        rows = WriteRows(*storage.Rows({SelectSql(table), {}}), table, out);
    } else {
        QSqlQuery& q = storage.Select(SelectSql(table));
        const TScopeExit done([&q] { TStorage::Done(q); });
        TQueryRows source(q);
        rows = WriteRows(source, table, out);
        // A read the engine broke off ends like one that reached its end.
        if (q.lastError().type() != QSqlError::NoError)
            storage.Raise(TStorage::TFailure::Other,
                          u"exportar %1: %2"_s.arg(table.Name, q.lastError().text()));
    }
    out.Finish();
    return rows;
}

// The prefix of the folder an export writes its files in before they get
// their names: "PASTA/exportacao.parcial.XXXXXX".
const QString kWorkName = u"exportacao"_s;

// What exports killed before they finished left in the folder: their work
// folders, and the "TABELA.csv.PID.parcial" files of earlier versions
// whose process is gone.
void RemoveLeftovers(const QDir& dir)
{
    TWorkFolder::RemoveAbandoned(dir.filePath(kWorkName));
    for (const TFirmTable& table : FirmTables()) {
        const QString prefix = FileName(table) + u'.';
        for (const QFileInfo& file :
             dir.entryInfoList({prefix + u"*.parcial"_s}, QDir::Files | QDir::Hidden)) {
            bool number = false;
            const QString middle = file.fileName().mid(prefix.size()).chopped(8);
            const qint64 pid = middle.toLongLong(&number);
            if (number && pid > 0 && !file.isSymLink() && ::kill(static_cast<pid_t>(pid), 0) != 0 &&
                errno == ESRCH)
                QFile::remove(file.filePath());
        }
    }
}

std::vector<TExportedTable> ExportInto(TStorage& storage, const QDir& dir)
{
    RemoveLeftovers(dir);
    RefuseExistingFiles(dir);
    // The files are written where nobody else can put a link, and get
    // their names together once every table is whole.
    const TWorkFolder work(dir.filePath(kWorkName));
    std::vector<TExportedTable> written;
    {
        // The tables must come from one state of the database.
        TTransaction tx(storage, TTransaction::Mode::Snapshot);
        for (const TFirmTable& table : FirmTables()) {
            const QString file = dir.filePath(FileName(table));
            written.push_back({table.Name, file, WriteTable(storage, table, work.FileFor(file))});
        }
        tx.Commit();
    }
    RaiseIfInterrupted();
    QStringList targets;
    for (const TExportedTable& table : written)
        targets << table.File;
    work.Publish(targets);
    return written;
}

} // namespace

std::vector<TExportedTable> ExportFirm(TStorage& storage, const QString& folder)
{
    const TInterruptGuard interrupt;
    try {
        return ExportInto(storage, QDir(folder));
    } catch (const EInterrupted& e) {
        throw Exception(u"A exportação foi %1; nenhum arquivo foi gravado em %2."_s.arg(
            u"interrompida pelo sinal "_s + SignalName(e.Signal()),
            QDir::toNativeSeparators(folder)));
    }
}

} // namespace aph
