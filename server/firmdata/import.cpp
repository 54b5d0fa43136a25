#include "server/firmdata/import.h"

#include "host/data/formatsettings.h"
#include "host/data/scopeguard.h"
#include "server/common/clock.h"
#include "server/common/cnpj.h"
#include "server/common/hiddentext.h"
#include "server/firmdata/columnlist.h"
#include "server/firmdata/csvfile.h"
#include "server/firmdata/restore.h"
#include "server/firmdata/tables.h"
#include "server/methods/audit.h"
#include "server/sessions/roles.h"
#include "server/storage/pendingdays.h"
#include "server/storage/storage.h"

#include <QDate>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSqlQuery>

#include <algorithm>
#include <cmath>
#include <utility>

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

// What makes a CNPJ, for the messages that refuse one.
const QString kCnpjShape = u"(14 caracteres: 12 algarismos ou letras e 2 dígitos verificadores "
                           "certos)"_s;

// Why a client's document does not check for its kind; empty when it does.
QString ClientDocumentError(const QString& document, const QString& kind)
{
    if (kind.isEmpty())
        return u"o documento %1 pede IDTPIJURCLIE: J (CNPJ) ou F (CPF)"_s.arg(document);
    if (kind == u"J" && !IsValidCnpj(document))
        return u"\"%1\" não é um CNPJ válido %2"_s.arg(document, kCnpjShape);
    if (kind == u"F" && !IsValidCpf(document))
        return u"\"%1\" não é um CPF válido (11 dígitos, com os 2 dígitos verificadores "
               "certos)"_s.arg(document);
    return {};
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
                 TImportReport& report, const TImportStamp& stamp, bool defaultRoles,
                 bool restore, int number = 0)
        : m_storage(storage), m_table(table), m_rows(rows), m_report(report),
          m_counts(report.Of(table.Name)), m_stamp(stamp), m_defaultRoles(defaultRoles),
          m_restore(restore), m_number(number)
    {}
    void Run()
    {
        if (Stage())
            ApplyStaged(m_restore);
    }
    // Reads the rows into the stage and runs the checks that need the
    // file alone; writes only the connection's temporary tables. False
    // when nothing is left to apply (a refused header).
    bool Stage();
    // The checks against the stored rows, then the writes; the stage goes.
    void ApplyStaged(bool restore);
    // The stage set aside under a name of its own while other files are
    // staged (ParkedName), and taken back.
    void Park();
    void Unpark();
    QString ParkedName() const { return u"%1_%2"_s.arg(kStage).arg(m_number); }

private:
    void Refuse(qint64 row, const QString& column, const QString& why)
    {
        const TImportRows::TPlace place = m_rows.Place(row);
        m_report.Error(place.File, place.Line, column, why);
    }
    bool ReadHeader(const QStringList& titles);
    bool StageRow(const QStringList& fields, qint64 line, QVariantList& values);
    void CheckRow(const QVariantList& values, qint64 line);
    void CheckDocuments(const QVariantList& values, qint64 line);
    void InsertNew(const QString& where);
    void RefuseDuplicates();
    void RefuseOrphans();
    void RefuseFrozen();
    void RefuseChtPlacement();
    void IndexStage();
    void RefuseLines(const QString& sql, const QString& column,
                     const std::function<QString(const QSqlQuery&)>& why);
    void Apply(qint64 fresh);
    void ReportDays(bool allFresh);
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
    const TImportStamp& m_stamp;
    std::vector<const TColumn*> m_columns; // in the file's order
    QStringList m_names;
    bool m_defaultRoles;
    bool m_restore;
    int m_number; // tells the stages of one run apart
    bool m_rowFailed = false;
};

bool TTableImport::Stage()
{
    if (!ReadHeader(m_rows.Header()))
        return false;
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
    IndexStage();
    RefuseDuplicates();
    return true;
}

void TTableImport::ApplyStaged(bool restore)
{
    m_restore = restore;
    RefuseOrphans();
    RefuseChtPlacement();
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
        // A document is kept as its letters and digits, whatever the file's
        // punctuation.
        const bool document =
            column.Rule == TColumnRule::Document || column.Rule == TColumnRule::Cnpj;
        if (!ParseCell(column, document ? DocumentDigits(fields[i].trimmed()) : fields[i],
                       values[i], why) ||
            !CheckValue(column, values[i], why)) {
            Refuse(line, column.Name, why);
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
    CheckDocuments(values, line);
    if (Has(u"NRVERPROPFAS"_s) && value("NRVERPROPFAS").toString().contains(u'|'))
        refuse("NRVERPROPFAS", u"a versão da proposta não pode ter \"|\""_s);
}

// A client's CNPJ or CPF, as its IDTPIJURCLIE says, and the issuer's CNPJ,
// by their check digits.
void TTableImport::CheckDocuments(const QVariantList& values, qint64 line)
{
    const auto value = [&](const QString& name) {
        const qsizetype i = m_names.indexOf(name);
        return i < 0 ? QString() : values[i].toString();
    };
    for (const TColumn* c : m_columns) {
        const QString document = value(c->Name);
        QString why;
        if (document.isEmpty())
            continue;
        if (c->Rule == TColumnRule::Cnpj && !IsValidCnpj(document))
            why = u"o CNPJ do emitente \"%1\" não é válido %2"_s.arg(document, kCnpjShape);
        else if (c->Rule == TColumnRule::Document)
            why = ClientDocumentError(document, value(u"IDTPIJURCLIE"_s));
        if (!why.isEmpty()) {
            Refuse(line, c->Name, why);
            m_rowFailed = true;
        }
    }
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

// The stage's lines and keys indexed, so that the set-wide checks and the
// removal of the lines they refuse look rows up instead of reading the
// stage once per line: the time grows with the rows, not their square.
void TTableImport::IndexStage()
{
    // Named apart for each stage of a run: several wait side by side.
    m_storage.ExecDirect(u"CREATE INDEX %1_LINHA_%3 ON %1 (%2)"_s.arg(kStage, kLine).arg(m_number));
    if (std::all_of(m_table.Key.begin(), m_table.Key.end(),
                    [this](const QString& c) { return Has(c); }))
        m_storage.ExecDirect(
            u"CREATE INDEX %1_CHAVE_%4 ON %1 (%2, %3)"_s.arg(kStage, m_table.Key.join(u", "), kLine)
                .arg(m_number));
    // PostgreSQL keeps no statistics of a temporary table by itself;
    // without them it plans the checks below as if the stage held a row.
    if (m_storage.IsPostgres())
        m_storage.ExecDirect(u"ANALYZE %1"_s.arg(kStage));
}

void TTableImport::Park()
{
    m_storage.ExecDirect(u"ALTER TABLE %1 RENAME TO %2"_s.arg(kStage, ParkedName()));
}

void TTableImport::Unpark()
{
    m_storage.ExecDirect(u"ALTER TABLE %1 RENAME TO %2"_s.arg(ParkedName(), kStage));
}

// Outside a restore, a CSA goes into a CHT only by the CHT's generation: a
// CSA the file puts into a CHT it is not already stored in is refused.
void TTableImport::RefuseChtPlacement()
{
    if (m_restore || m_table.Name != u"CSA" || !Has(u"NRSEQUCHT"_s))
        return;
    RefuseLines(u"SELECT S.%1, S.NRSEQUCHT FROM %2 S WHERE S.NRSEQUCHT IS NOT NULL AND NOT "
                "EXISTS (SELECT 1 FROM CSA T WHERE %3 AND T.NRSEQUCHT = S.NRSEQUCHT) ORDER BY "
                "S.%1"_s.arg(kLine, kStage, Match(u"T"_s, u"S"_s)),
                u"NRSEQUCHT"_s,
                [](const QSqlQuery& q) { return ChtPlacementRefusal(q.value(1).toString()); });
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
    if (m_table.Name == u"CSA")
        ReportDays(staged == fresh);
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
        InsertNew(QString());
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
        InsertNew(u" WHERE NOT "_s + Stored());
    }
    for (const QString& code : std::as_const(newOperators))
        InsertRoles(m_storage, code, kDefaultRoles);
}

// The hours of the CSAs the import writes, new or changed, by employee
// and day, for the report to sum by month.
void TTableImport::ReportDays(bool allFresh)
{
    const QString written = allFresh
                                ? u"1 = 1"_s
                                : u"NOT EXISTS (SELECT 1 FROM %1 T WHERE %2 AND %3)"_s.arg(
                                      m_table.Name, Match(u"T"_s, u"S"_s), Same(u"T"_s, u"S"_s));
    QSqlQuery& q = m_storage.Select(
        u"SELECT S.CDFUNC, F.NMFUNC, S.DTSERVPREST, SUM(%1) FROM %2 S LEFT JOIN FUNCIONARIO F "
        "ON F.CDFUNC = S.CDFUNC WHERE %3 GROUP BY S.CDFUNC, F.NMFUNC, S.DTSERVPREST"_s.arg(
            Has(u"QTHRTRAB"_s) ? u"S.QTHRTRAB"_s : u"0"_s, kStage, written));
    while (q.next())
        m_report.AddDay(q.value(0).toString(), q.value(1).toString(), q.value(2).toLongLong(),
                        q.value(3).toDouble());
    TStorage::Done(q);
}

// Inserts the staged rows that pass the condition, those new to the table:
// with the importing operator and moment in the inclusion columns the file
// does not give (a restore gives them, and keeps who included each row).
void TTableImport::InsertNew(const QString& where)
{
    QStringList columns = m_names, staged = m_names;
    QVariantList stamp;
    for (const TColumn& c : m_table.Columns) {
        if (Has(c.Name))
            continue;
        if (c.Rule == TColumnRule::InclusionOperator) {
            columns << c.Name;
            staged << u"CAST(? AS VARCHAR(%1))"_s.arg(c.Size);
            stamp << m_stamp.Operator;
        } else if (c.Rule == TColumnRule::InclusionMoment) {
            columns << c.Name;
            staged << u"CAST(? AS DOUBLE PRECISION)"_s;
            stamp << m_stamp.When;
        }
    }
    m_storage.Exec(u"INSERT INTO %1 (%2) SELECT %3 FROM %4 S%5"_s.arg(
                       m_table.Name, columns.join(u", "), staged.join(u", "), kStage, where),
                   stamp);
}

// A header that fits no table: the closest one and what it lacks, when any
// title is a column; otherwise the tables a file may be of.
void RefuseHeader(TImportReport& report, const QString& path, const QStringList& titles)
{
    QString column;
    QString why = ExplainHeader(titles, column);
    if (why.isEmpty())
        why = u"o cabeçalho não corresponde a nenhuma tabela; a primeira linha deve ter os nomes "
              "das colunas de uma delas (%1), com todas as obrigatórias"_s.arg(
                  FirmTableNames().join(u", "));
    report.Error(QFileInfo(path).fileName(), 1, column, why);
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
                TImportReport& report, const TImportStamp& stamp, bool defaultRoles,
                bool restore)
{
    try {
        TTableImport(storage, table, rows, report, stamp, defaultRoles, restore).Run();
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

void TImportReport::AddDay(const QString& employee, const QString& name, qint64 day, double hours)
{
    const QDate date = QDate(1899, 12, 30).addDays(day);
    TMonth& month = m_months[{employee, date.year() * 100 + date.month()}];
    month.Name = name;
    ++month.Days;
    month.Hours += hours;
}

// "F0001 Ana Souza — 03/2026: 3 dias, 17:15 h", one line per employee and
// month, under a title that says whether they were written.
QStringList TImportReport::MonthLines(bool written) const
{
    QStringList lines;
    if (m_months.empty())
        return lines;
    lines << (written ? u"Horas gravadas, por funcionário e mês:"_s
                      : u"Horas que seriam gravadas, por funcionário e mês:"_s);
    int shown = 0;
    for (const auto& [key, month] : m_months) {
        if (shown++ >= kShownMonths)
            break;
        const qint64 minutes = std::llround(month.Hours * 60);
        lines << u"  %1 %2 — %3/%4: %5 %6, %7:%8 h"_s.arg(key.first, month.Name)
                     .arg(key.second % 100, 2, 10, QChar(u'0'))
                     .arg(key.second / 100)
                     .arg(month.Days)
                     .arg(month.Days == 1 ? u"dia"_s : u"dias"_s)
                     .arg(minutes / 60)
                     .arg(minutes % 60, 2, 10, QChar(u'0'));
    }
    if (m_months.size() > static_cast<std::size_t>(kShownMonths))
        lines << u"  ... e mais %1 funcionário(s) e mês(es)."_s.arg(
            static_cast<qint64>(m_months.size()) - kShownMonths);
    return lines;
}

QString TImportReport::Text(bool dryRun) const
{
    // Only a run that wrote says what it wrote; a dry or refused run says
    // what it would have written.
    const bool written = Ok() && !dryRun;
    QStringList lines;
    const QString row = u"%1 %2 %3 %4 %5"_s;
    lines << row.arg(u"TABELA"_s, -16)
                 .arg(written ? u"INSERIDAS"_s : u"SERIAM INSERIDAS"_s, 16)
                 .arg(written ? u"ATUALIZADAS"_s : u"SERIAM ATUALIZADAS"_s, 18)
                 .arg(u"SEM ALTERAÇÃO"_s, 14)
                 .arg(u"RECUSADAS"_s, 10);
    for (const TFirmTable& t : FirmTables()) {
        const auto it = m_counts.find(t.Name);
        if (it == m_counts.end())
            continue;
        const TCounts& c = it->second;
        lines << row.arg(t.Name, -16)
                     .arg(c.Inserted, 16)
                     .arg(c.Updated, 18)
                     .arg(c.Unchanged, 14)
                     .arg(c.Refused, 10);
    }
    lines << MonthLines(written) << m_notes << m_errors;
    if (m_errorCount > kShownErrors)
        lines << u"... e mais %1 erro(s)."_s.arg(m_errorCount - kShownErrors);
    if (m_errorCount > 0)
        lines << u"%1 erro(s): nada foi gravado. Corrija os arquivos e importe de novo."_s.arg(
            m_errorCount);
    else if (dryRun)
        lines << u"Verificação sem erros (--dry-run): nada foi gravado."_s;
    else
        lines << u"Importação concluída."_s;
    // Names and values quoted from the files reach the reader as what they
    // hold: one line each, whatever control characters they carry.
    for (QString& line : lines)
        line = EscapeHidden(line, false);
    return lines.join(u'\n');
}

namespace {

// A file read into its stage, waiting for the write.
struct TStagedFile
{
    const TFirmTable* Table = nullptr;
    QString Path;
    std::unique_ptr<TCsvRows> Rows;
    std::unique_ptr<TTableImport> Import;
};

// Reads each file into a stage of its own and runs the checks that need
// the file alone, in a transaction that writes only temporary tables (no
// write lock on the database).
void StageFiles(TStorage& storage, const std::vector<std::pair<const TFirmTable*, QString>>& work,
                const TImportStamp& stamp, bool defaultRoles, TImportReport& report,
                std::vector<TStagedFile>& staged)
{
    TTransaction read(storage, TTransaction::Mode::Read);
    int number = 0;
    for (const auto& [table, path] : work) {
        try {
            TStagedFile file{table, path, std::make_unique<TCsvRows>(path), nullptr};
            file.Import = std::make_unique<TTableImport>(storage, *table, *file.Rows, report,
                                                         stamp, defaultRoles, false, ++number);
            if (!file.Import->Stage())
                continue;
            file.Import->Park();
            staged.push_back(std::move(file));
        } catch (const EStorageError&) {
            throw;
        } catch (const Exception& e) {
            report.Error(e.Message(), 0, QString(), QString());
            storage.ExecDirect(u"DROP TABLE IF EXISTS %1"_s.arg(kStage));
        }
    }
    read.Commit();
}

} // namespace

bool TakeImportOperator(TStorage& storage, TImportStamp& stamp, TImportReport& report)
{
    const QString given = stamp.Operator.trimmed();
    if (given.isEmpty()) {
        report.Error(u"--operador"_s, 0, QString(),
                     u"uma importação de CSAs pede o operador que as inclui: --operador CODIGO, "
                     "um operador cadastrado e ativo"_s);
        return false;
    }
    // Codes compare in any case; the code as stored wins over another case.
    QSqlQuery& q = storage.Select(u"SELECT CDOPERADOR, IDOPERATIVO FROM OPERADOR WHERE "
                                  "UPPER(CDOPERADOR) = UPPER(?) ORDER BY CASE WHEN CDOPERADOR = "
                                  "? THEN 0 ELSE 1 END"_s,
                                  {given, given});
    const bool found = q.next();
    const QString code = found ? q.value(0).toString() : given;
    const bool active = found && q.value(1).toString() == u"A";
    TStorage::Done(q);
    if (!found)
        report.Error(u"--operador"_s, 0, QString(),
                     u"o operador \"%1\" não está cadastrado"_s.arg(given));
    else if (!active)
        report.Error(u"--operador"_s, 0, QString(),
                     u"o operador %1 está inativo; informe um operador ativo"_s.arg(code));
    else
        stamp.Operator = code;
    return active;
}

void RecordImportRun(TStorage& storage, const TImportReport& report, const QStringList& files,
                     const QString& map, const TImportStamp& stamp)
{
    // The counts first, only those not zero, in the tables' order: the
    // event is cut to its column's width, and the list of files may be long.
    QStringList inserted, updated, names;
    for (const TFirmTable& t : FirmTables()) {
        const auto it = report.Counts().find(t.Name);
        if (it == report.Counts().end())
            continue;
        if (it->second.Inserted > 0)
            inserted << u"%1 %2"_s.arg(t.Name).arg(it->second.Inserted);
        if (it->second.Updated > 0)
            updated << u"%1 %2"_s.arg(t.Name).arg(it->second.Updated);
    }
    QStringList parts;
    if (!inserted.isEmpty())
        parts << u"inseridas "_s + inserted.join(u", ");
    if (!updated.isEmpty())
        parts << u"atualizadas "_s + updated.join(u", ");
    if (parts.isEmpty())
        parts << u"nada inserido nem atualizado"_s;
    for (const QString& path : files)
        names << QFileInfo(path).fileName();
    parts << (map.isEmpty() ? QString() : u"mapa %1, "_s.arg(QFileInfo(map).fileName())) +
                 u"%1 arquivo(s): %2"_s.arg(files.size()).arg(names.join(u", "));
    WriteAuditRow(storage, AuditRow(stamp.When, stamp.Operator, QString(),
                                    u"import: "_s + parts.join(u"; ")));
}

TImportReport ImportFiles(TStorage& storage, const QStringList& files, bool dryRun,
                          TImportStamp stamp)
{
    TImportReport report;
    if (stamp.When == 0)
        stamp.When = NowOle();
    // Each file by its header, then the tables parents first.
    std::vector<std::pair<const TFirmTable*, QString>> work;
    for (const QString& path : files) {
        try {
            const QStringList titles = TCsvReader(path).Header();
            if (const TFirmTable* table = TableOfHeader(titles))
                work.emplace_back(table, path);
            else
                RefuseHeader(report, path, titles);
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
    // Every file is read and checked first, writing only the connection's
    // temporary tables: saves go on meanwhile. The write lock is taken
    // only for the checks against the stored rows and the writes.
    std::vector<TStagedFile> staged;
    const TScopeExit dropStages([&storage, &staged] {
        storage.ExecDirect(u"DROP TABLE IF EXISTS %1"_s.arg(kStage));
        for (const TStagedFile& file : staged)
            storage.ExecDirect(u"DROP TABLE IF EXISTS %1"_s.arg(file.Import->ParkedName()));
    });
    StageFiles(storage, work, stamp, defaultRoles, report, staged);
    QElapsedTimer held;
    TTransaction tx(storage, TTransaction::Mode::Write);
    storage.LockDataLoad();
    held.start();
    // Whether the CHT's life and the history may come in, as the database
    // is before anything of this run.
    const bool restore = IsRestoreTarget(storage);
    // The operator is looked up once the operators of the run are in, before
    // the CSAs it stamps.
    bool operatorTaken = false;
    for (const TStagedFile& file : staged) {
        if (!restore && IsRestoreOnly(*file.Table)) {
            report.Error(QFileInfo(file.Path).fileName(), 0, QString(),
                         RestoreOnlyRefusal(*file.Table));
            continue;
        }
        if (file.Table->Name == u"CSA" && !std::exchange(operatorTaken, true))
            TakeImportOperator(storage, stamp, report);
        file.Import->Unpark();
        try {
            file.Import->ApplyStaged(restore);
        } catch (const EStorageError&) {
            throw;
        } catch (const Exception& e) {
            report.Error(e.Message(), 0, QString(), QString());
            storage.ExecDirect(u"DROP TABLE IF EXISTS %1"_s.arg(kStage));
        }
    }
    if (!operatorTaken && !stamp.Operator.isEmpty())
        TakeImportOperator(storage, stamp, report);
    if (restore)
        AdvanceNumbering(storage);
    // The exceptions list's days of fixed-value services follow the CSAs
    // and services the files brought.
    RebuildPendingFixed(storage);
    // The rules the engine keeps for the commit (a CSA's CHT on PostgreSQL)
    // are checked now, so that a dry run refuses what the run refuses.
    if (report.Ok() && storage.IsPostgres())
        storage.ExecDirect(u"SET CONSTRAINTS ALL IMMEDIATE"_s);
    if (report.Ok() && !dryRun) {
        RecordImportRun(storage, report, files, QString(), stamp);
        tx.Commit();
    }
    report.Note(u"O banco ficou reservado para a gravação por %1 s."_s.arg(
        static_cast<double>(held.elapsed()) / 1000.0, 0, 'f', 2));
    return report;
}

} // namespace aph
