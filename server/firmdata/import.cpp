#include "server/firmdata/import.h"

#include "host/data/formatsettings.h"
#include "server/common/clock.h"
#include "server/common/cnpj.h"
#include "server/firmdata/csvfile.h"
#include "server/firmdata/tables.h"
#include "server/sessions/roles.h"
#include "server/storage/pendingdays.h"
#include "server/storage/storage.h"

#include <QFileInfo>
#include <QSqlQuery>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

// The file's rows wait in this temporary table, each with its line, while
// the set-wide checks run and until they go to the table.
const QString kStage = u"APH_IMPORTACAO"_s;
const QString kLine = u"APH_LINHA"_s;
// Stage lines refused by one check go out in statements of this many.
constexpr int kDeleteChunk = 500;
// Moments read back from a file compare equal within a millisecond: the
// files keep them to the millisecond.
const QString kMomentTolerance = u"0.00000002"_s;

QString StageType(TColumnKind kind)
{
    switch (kind) {
    case TColumnKind::Text:
        return u"TEXT"_s;
    case TColumnKind::Day:
    case TColumnKind::Integer:
        return u"BIGINT"_s;
    default:
        return u"DOUBLE PRECISION"_s;
    }
}

// The tables a file of the firm's own may be of, to name them when a
// header fits none.
QStringList FirmTableNames()
{
    QStringList names;
    for (const TFirmTable& t : FirmTables())
        if (t.HasFirmColumns())
            names << t.Name;
    return names;
}

QString DayText(qint64 day)
{
    return FormatDateTime(u"dd/mm/yyyy"_s, static_cast<double>(day), BrazilFormat());
}

// A CSV file of one table, its rows placed by the file's lines.
class TCsvRows : public TImportRows
{
public:
    explicit TCsvRows(const QString& path) : m_reader(path), m_file(QFileInfo(path).fileName()) {}
    const QStringList& Header() const override { return m_reader.Header(); }
    bool Next(QStringList& fields, qint64& row) override { return m_reader.Next(fields, row); }
    TPlace Place(qint64 row) const override { return {m_file, row}; }

private:
    TCsvReader m_reader;
    QString m_file;
};

// One source's rows going into their table.
class TTableImport
{
public:
    TTableImport(TStorage& storage, const TFirmTable& table, TImportRows& rows,
                 TImportReport& report, bool defaultRoles)
        : m_storage(storage), m_table(table), m_rows(rows), m_report(report),
          m_counts(report.Of(table.Name)), m_defaultRoles(defaultRoles)
    {}
    void Run();

private:
    void Refuse(qint64 row, const QString& column, const QString& why)
    {
        const TImportRows::TPlace place = m_rows.Place(row);
        m_report.Error(place.File, place.Line, column, why);
    }
    bool ReadHeader(const QStringList& titles);
    void Stage();
    bool StageRow(const QStringList& fields, qint64 line, QVariantList& values);
    void CheckRow(const QVariantList& values, qint64 line);
    void RefuseDuplicates();
    void RefuseOrphans();
    void RefuseFrozen();
    void RefuseLines(const QString& sql, const QString& column,
                     const std::function<QString(const QSqlQuery&)>& why);
    void Apply(qint64 fresh);
    qint64 CountStaged(const QString& where);
    QString Stored() const;
    QString Match(const QString& stored, const QString& staged) const;
    QString Same(const QString& stored, const QString& staged) const;
    bool Has(const QString& column) const { return m_names.contains(column); }

    TStorage& m_storage;
    const TFirmTable& m_table;
    TImportRows& m_rows;
    TImportReport& m_report;
    TImportReport::TCounts& m_counts;
    std::vector<const TColumn*> m_columns; // in the file's order
    QStringList m_names;
    bool m_defaultRoles;
    bool m_rowFailed = false;
};

void TTableImport::Run()
{
    if (!ReadHeader(m_rows.Header()))
        return;
    QStringList stageColumns;
    for (const TColumn* c : m_columns)
        stageColumns << c->Name + u' ' + StageType(c->Kind);
    m_storage.ExecDirect(u"CREATE TEMP TABLE %1 (%2, %3 BIGINT NOT NULL)"_s.arg(
        kStage, stageColumns.join(u", "), kLine));
    {
        std::unique_ptr<TStorage::TBulkWriter> writer =
            m_storage.BulkWriter(kStage, m_names + QStringList{kLine});
        QStringList fields;
        QVariantList values;
        qint64 line = 0;
        while (m_rows.Next(fields, line)) {
            if (StageRow(fields, line, values))
                writer->Add(values);
            else
                ++m_counts.Refused;
        }
        writer->Flush();
    }
    // PostgreSQL keeps no statistics of a temporary table by itself; without
    // them it plans the checks below as if the stage held a row.
    if (m_storage.IsPostgres())
        m_storage.ExecDirect(u"ANALYZE %1"_s.arg(kStage));
    RefuseDuplicates();
    RefuseOrphans();
    // The rows new to the table; only the others can be frozen or changed.
    const qint64 fresh = CountStaged(u"NOT "_s + Stored());
    if (CountStaged(u"1 = 1"_s) > fresh)
        RefuseFrozen();
    Apply(fresh);
    m_storage.ExecDirect(u"DROP TABLE %1"_s.arg(kStage));
}

bool TTableImport::ReadHeader(const QStringList& titles)
{
    for (const QString& title : titles) {
        const TColumn* column = m_table.Find(title);
        if (m_names.contains(column->Name)) {
            Refuse(1, column->Name, u"a coluna aparece duas vezes no cabeçalho"_s);
            return false;
        }
        m_columns.push_back(column);
        m_names << column->Name;
    }
    return true;
}

// The row's values, as the stage takes them; false, with its errors
// reported, when any field is refused.
bool TTableImport::StageRow(const QStringList& fields, qint64 line, QVariantList& values)
{
    if (fields.size() != static_cast<qsizetype>(m_columns.size())) {
        Refuse(line, QString(),
               u"a linha tem %1 campos; o cabeçalho tem %2"_s.arg(fields.size())
                   .arg(m_columns.size()));
        return false;
    }
    values.resize(fields.size() + 1);
    m_rowFailed = false;
    QString why;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        const TColumn& column = *m_columns[static_cast<std::size_t>(i)];
        if (!ParseCell(column, fields[i], values[i], why)) {
            Refuse(line, column.Name, why);
            m_rowFailed = true;
            continue;
        }
        const QStringList& codes = column.Codes;
        if (!codes.isEmpty() && !values[i].isNull() && !codes.contains(values[i].toString())) {
            Refuse(line, column.Name,
                   u"\"%1\" não é um dos códigos aceitos (%2)"_s.arg(values[i].toString(),
                                                                     codes.join(u", ")));
            m_rowFailed = true;
        }
    }
    values[fields.size()] = line;
    if (!m_rowFailed)
        CheckRow(values, line);
    return !m_rowFailed;
}

// The rules between a row's own fields: a day's approvals within its
// hours, an occurrence given whole, an issuer's CNPJ that checks, a
// version a proposal key can split.
void TTableImport::CheckRow(const QVariantList& values, qint64 line)
{
    const auto value = [&](const char* name) {
        const qsizetype i = m_names.indexOf(QString::fromLatin1(name));
        return i < 0 ? QVariant() : values[i];
    };
    const auto refuse = [&](const char* column, const QString& why) {
        Refuse(line, QString::fromLatin1(column), why);
        m_rowFailed = true;
    };
    if (m_table.Name == u"CSA") {
        const double worked = value("QTHRTRAB").toDouble();
        for (const char* approval : {"QTHRAPROFATU", "QTHRAPRCOMIS"})
            if (!value(approval).isNull() && value(approval).toDouble() > worked + 0.00001)
                refuse(approval, u"a aprovação passa das horas trabalhadas (%1)"_s.arg(
                                     FormatCell({}, worked)));
        if (Has(u"CDGRPOCOR"_s) != Has(u"CDOCORR"_s) ||
            value("CDGRPOCOR").isNull() != value("CDOCORR").isNull())
            refuse("CDOCORR", u"a ocorrência tem grupo e código, os dois ou nenhum"_s);
    }
    if (!value("NRCNPJEMITENTE").isNull() && !IsValidCnpj(value("NRCNPJEMITENTE").toString()))
        refuse("NRCNPJEMITENTE", u"o CNPJ do emitente não é válido (14 dígitos, sem pontuação, "
                                 "com os dígitos verificadores certos)"_s);
    if (Has(u"NRVERPROPFAS"_s) && value("NRVERPROPFAS").toString().contains(u'|'))
        refuse("NRVERPROPFAS", u"a versão da proposta não pode ter \"|\""_s);
}

QString TTableImport::Match(const QString& stored, const QString& staged) const
{
    QStringList parts;
    for (const QString& k : m_table.Key)
        parts << u"%1.%3 = %2.%3"_s.arg(stored, staged, k);
    return parts.join(u" AND ");
}

// Whether every column the file gives holds the same value in both.
QString TTableImport::Same(const QString& stored, const QString& staged) const
{
    const QString same = m_storage.IsPostgres() ? u"IS NOT DISTINCT FROM"_s : u"IS"_s;
    QStringList parts{u"1 = 1"_s};
    for (const TColumn* c : m_columns) {
        if (m_table.Key.contains(c->Name))
            continue;
        if (c->Kind == TColumnKind::Moment)
            parts << u"((%1.%3 IS NULL AND %2.%3 IS NULL) OR ABS(%1.%3 - %2.%3) < %4)"_s.arg(
                stored, staged, c->Name, kMomentTolerance);
        else
            parts << u"%1.%3 %4 %2.%3"_s.arg(stored, staged, c->Name, same);
    }
    return u'(' + parts.join(u" AND ") + u')';
}

// Runs a check that gives the refused lines (the line first) and takes
// them out of the stage.
void TTableImport::RefuseLines(const QString& sql, const QString& column,
                               const std::function<QString(const QSqlQuery&)>& why)
{
    QVariantList lines;
    QSqlQuery& q = m_storage.Select(sql);
    while (q.next()) {
        lines << q.value(0);
        Refuse(q.value(0).toLongLong(), column, why(q));
    }
    TStorage::Done(q);
    m_counts.Refused += lines.size();
    for (qsizetype i = 0; i < lines.size(); i += kDeleteChunk) {
        const QVariantList chunk = lines.mid(i, kDeleteChunk);
        QStringList marks(chunk.size(), u"?"_s);
        m_storage.Exec(u"DELETE FROM %1 WHERE %2 IN (%3)"_s.arg(kStage, kLine, marks.join(u',')),
                       chunk);
    }
}

void TTableImport::RefuseDuplicates()
{
    const QString key = m_table.Key.join(u", ");
    RefuseLines(u"SELECT S.%1, F.FIRST FROM %2 S JOIN (SELECT %3, MIN(%1) AS FIRST FROM %2 "
                "GROUP BY %3 HAVING COUNT(*) > 1) F ON %4 WHERE S.%1 > F.FIRST ORDER BY S.%1"_s.arg(
                    kLine, kStage, key, Match(u"S"_s, u"F"_s)),
                m_table.Key.last(), [](const QSqlQuery& q) {
                    return u"a chave repete a da linha %1"_s.arg(q.value(1).toLongLong());
                });
}

void TTableImport::RefuseOrphans()
{
    for (const TReference& r : m_table.Parents) {
        if (!std::all_of(r.Columns.begin(), r.Columns.end(),
                         [this](const QString& c) { return Has(c); }))
            continue;
        QStringList given, match;
        for (qsizetype i = 0; i < r.Columns.size(); ++i) {
            given << u"S.%1 IS NOT NULL"_s.arg(r.Columns[i]);
            match << u"P.%1 = S.%2"_s.arg(r.ParentColumns[i], r.Columns[i]);
        }
        QStringList shown;
        for (const QString& c : r.Columns)
            shown << u"S."_s + c;
        RefuseLines(u"SELECT S.%1, %2 FROM %3 S WHERE %4 AND NOT EXISTS (SELECT 1 FROM %5 P "
                    "WHERE %6) ORDER BY S.%1"_s.arg(kLine, shown.join(u", "), kStage,
                                                    given.join(u" AND "), r.Parent,
                                                    match.join(u" AND ")),
                    r.Columns.first(), [&r](const QSqlQuery& q) {
                        QStringList key;
                        for (qsizetype i = 0; i < r.Columns.size(); ++i)
                            key << q.value(static_cast<int>(i + 1)).toString();
                        return u"%1 %2 não está cadastrad%3"_s.arg(
                            r.What, key.join(u'/'), r.What.startsWith(u"a ") ? u"a"_s : u"o"_s);
                    });
    }
}

// What an import never changes: a CSA in a CHT or whose approvals were
// set, and the history, which only grows.
void TTableImport::RefuseFrozen()
{
    const QString changed = u"SELECT S.%1%2 FROM %3 S JOIN %4 T ON %5 WHERE NOT %6"_s;
    if (m_table.Name == u"CSA") {
        RefuseLines(changed.arg(kLine, u", S.DTSERVPREST, T.NRSEQUCHT"_s, kStage, m_table.Name,
                                Match(u"T"_s, u"S"_s), Same(u"T"_s, u"S"_s)) +
                        u" AND (T.NRSEQUCHT IS NOT NULL OR T.QTHRAPROFATU IS NOT NULL OR "
                        "T.QTHRAPRCOMIS IS NOT NULL) ORDER BY S.%1"_s.arg(kLine),
                    u"DTSERVPREST"_s, [](const QSqlQuery& q) {
                        const QString day = DayText(q.value(1).toLongLong());
                        if (!q.value(2).isNull())
                            return u"conflito: a CSA de %1 já está na CHT %2; a importação não "
                                   "a altera"_s.arg(day, q.value(2).toString());
                        return u"conflito: a CSA de %1 já teve as aprovações definidas; a "
                               "importação não a altera"_s.arg(day);
                    });
    } else if (m_table.AppendOnly) {
        RefuseLines(changed.arg(kLine, QString(), kStage, m_table.Name, Match(u"T"_s, u"S"_s),
                                Same(u"T"_s, u"S"_s)) +
                        u" ORDER BY S.%1"_s.arg(kLine),
                    m_table.Key.first(), [](const QSqlQuery&) {
                        return u"o histórico não se altera: esta linha difere da já gravada com "
                               "a mesma chave"_s;
                    });
    }
}

qint64 TTableImport::CountStaged(const QString& where)
{
    QSqlQuery& q = m_storage.Select(u"SELECT COUNT(*) FROM %1 S WHERE %2"_s.arg(kStage, where));
    const qint64 n = q.next() ? q.value(0).toLongLong() : 0;
    TStorage::Done(q);
    return n;
}

QString TTableImport::Stored() const
{
    return u"EXISTS (SELECT 1 FROM %1 T WHERE %2)"_s.arg(m_table.Name, Match(u"T"_s, u"S"_s));
}

// The counts, then the rows: new ones inserted, changed ones updated. When
// none was stored (hours of new days, a first import), neither the
// comparison nor the update has anything to look at.
void TTableImport::Apply(qint64 fresh)
{
    const qint64 staged = CountStaged(u"1 = 1"_s);
    m_counts.Inserted += fresh;
    // New operators get the roles a new operator gets (see roles.h), unless
    // the import brings the roles themselves; those already stored keep
    // theirs.
    QStringList newOperators;
    if (m_table.Name == u"OPERADOR" && fresh > 0 && m_defaultRoles) {
        QSqlQuery& q =
            m_storage.Select(u"SELECT S.CDOPERADOR FROM %1 S WHERE NOT %2"_s.arg(kStage, Stored()));
        while (q.next())
            newOperators << q.value(0).toString();
        TStorage::Done(q);
    }
    if (staged == fresh) {
        m_storage.Exec(u"INSERT INTO %1 (%2) SELECT %2 FROM %3 S"_s.arg(
            m_table.Name, m_names.join(u", "), kStage));
    } else {
        const qint64 unchanged = CountStaged(u"EXISTS (SELECT 1 FROM %1 T WHERE %2 AND %3)"_s.arg(
            m_table.Name, Match(u"T"_s, u"S"_s), Same(u"T"_s, u"S"_s)));
        m_counts.Unchanged += unchanged;
        m_counts.Updated += staged - unchanged - fresh;
        QStringList sets;
        for (const QString& c : m_names)
            if (!m_table.Key.contains(c))
                sets << u"%1 = S.%1"_s.arg(c);
        if (!sets.isEmpty())
            m_storage.Exec(u"UPDATE %1 SET %2 FROM %3 S WHERE %4 AND NOT %5"_s.arg(
                m_table.Name, sets.join(u", "), kStage, Match(m_table.Name, u"S"_s),
                Same(m_table.Name, u"S"_s)));
        m_storage.Exec(u"INSERT INTO %1 (%2) SELECT %2 FROM %3 S WHERE NOT %4"_s.arg(
            m_table.Name, m_names.join(u", "), kStage, Stored()));
    }
    for (const QString& code : std::as_const(newOperators))
        InsertRoles(m_storage, code, kDefaultRoles);
}

// The numbering goes on past the CHTs and history rows that came in.
void AdvanceNumbering(TStorage& storage)
{
    storage.Exec(u"UPDATE APH_SEQUENCIA SET NRVALOR = (SELECT MAX(CAST(NRSEQUCHT AS INTEGER)) "
                 "FROM CHT) WHERE NMSEQUENCIA = 'CHT' AND NRVALOR < (SELECT "
                 "COALESCE(MAX(CAST(NRSEQUCHT AS INTEGER)), 0) FROM CHT)"_s);
    if (storage.IsPostgres())
        storage.Exec(u"SELECT setval(pg_get_serial_sequence('aph_histevento', 'nrhistcsa'), "
                     "(SELECT COALESCE(MAX(NRHISTCSA), 0) + 1 FROM APH_HISTEVENTO), false)"_s);
}

} // namespace

void ImportRows(TStorage& storage, const TFirmTable& table, TImportRows& rows,
                TImportReport& report, bool defaultRoles)
{
    try {
        TTableImport(storage, table, rows, report, defaultRoles).Run();
    } catch (const EStorageError&) {
        throw;
    } catch (const Exception& e) {
        // A file that broke off midway: its stage goes, the rest goes on.
        report.Error(e.Message(), 0, QString(), QString());
        storage.ExecDirect(u"DROP TABLE IF EXISTS %1"_s.arg(kStage));
    }
}

void TImportReport::Error(const QString& file, qint64 line, const QString& column,
                          const QString& why)
{
    if (m_errorCount++ >= kShownErrors)
        return;
    QString where = file;
    if (line > 0)
        where += u", linha %1"_s.arg(line);
    if (!column.isEmpty())
        where += u", coluna %1"_s.arg(column);
    m_errors << (why.isEmpty() ? where : where + u": "_s + why);
}

QString TImportReport::Text(bool dryRun) const
{
    QStringList lines;
    const QString row = u"%1 %2 %3 %4 %5"_s;
    lines << row.arg(u"TABELA"_s, -16)
                 .arg(u"INSERIDAS"_s, 10)
                 .arg(u"ATUALIZADAS"_s, 12)
                 .arg(u"SEM ALTERAÇÃO"_s, 14)
                 .arg(u"RECUSADAS"_s, 10);
    for (const TFirmTable& t : FirmTables()) {
        const auto it = m_counts.find(t.Name);
        if (it == m_counts.end())
            continue;
        const TCounts& c = it->second;
        lines << row.arg(t.Name, -16)
                     .arg(c.Inserted, 10)
                     .arg(c.Updated, 12)
                     .arg(c.Unchanged, 14)
                     .arg(c.Refused, 10);
    }
    lines << m_notes << m_errors;
    if (m_errorCount > kShownErrors)
        lines << u"... e mais %1 erro(s)."_s.arg(m_errorCount - kShownErrors);
    if (m_errorCount > 0)
        lines << u"%1 erro(s): nada foi gravado. Corrija os arquivos e importe de novo."_s.arg(
            m_errorCount);
    else if (dryRun)
        lines << u"Verificação sem erros (--dry-run): nada foi gravado."_s;
    else
        lines << u"Importação concluída."_s;
    return lines.join(u'\n');
}

TImportReport ImportFiles(TStorage& storage, const QStringList& files, bool dryRun)
{
    TImportReport report;
    // Each file by its header, then the tables parents first.
    std::vector<std::pair<const TFirmTable*, QString>> work;
    for (const QString& path : files) {
        try {
            const TFirmTable* table = TableOfHeader(TCsvReader(path).Header());
            if (!table)
                report.Error(QFileInfo(path).fileName(), 1, QString(),
                             u"o cabeçalho não corresponde a nenhuma tabela; a primeira linha "
                             "deve ter os nomes das colunas de uma delas (%1), com todas as "
                             "obrigatórias"_s.arg(FirmTableNames().join(u", ")));
            else
                work.emplace_back(table, path);
        } catch (const Exception& e) {
            report.Error(e.Message(), 0, QString(), QString());
        }
    }
    const std::vector<TFirmTable>& order = FirmTables();
    std::stable_sort(work.begin(), work.end(), [&order](const auto& a, const auto& b) {
        return a.first - order.data() < b.first - order.data();
    });
    // Operators restored with their roles get those and no others.
    const bool defaultRoles = std::none_of(
        work.begin(), work.end(), [](const auto& w) { return w.first->Name == u"APH_PAPEL"; });
    TTransaction tx(storage, TTransaction::Mode::Write);
    storage.LockDataLoad();
    for (const auto& [table, path] : work) {
        try {
            TCsvRows rows(path);
            ImportRows(storage, *table, rows, report, defaultRoles);
        } catch (const EStorageError&) {
            throw;
        } catch (const Exception& e) {
            report.Error(e.Message(), 0, QString(), QString());
        }
    }
    AdvanceNumbering(storage);
    // The exceptions list's days of fixed-value services follow the CSAs
    // and services the files brought.
    RebuildPendingFixed(storage);
    if (report.Ok() && !dryRun)
        tx.Commit();
    return report;
}

} // namespace aph
