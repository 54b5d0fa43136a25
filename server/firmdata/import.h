#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <map>

namespace aph {

class TStorage;
struct TFirmTable;

// What an import did, or would do, table by table, and what it refused.
class TImportReport
{
public:
    struct TCounts
    {
        qint64 Inserted = 0, Updated = 0, Unchanged = 0, Refused = 0;
    };

    // A refused row or file: "ARQUIVO, linha N, coluna X: why"; line 0 and
    // an empty column for what concerns the whole file. The first
    // kShownErrors are kept, the rest only counted.
    void Error(const QString& file, qint64 line, const QString& column, const QString& why);
    // A line of its own under the counts, such as what a time tracker's
    // entries were summed into.
    void Note(const QString& text) { m_notes << text; }
    TCounts& Of(const QString& table) { return m_counts[table]; }
    // One day of an employee's hours that the run writes (or would): the
    // report sums them by employee and month, so that a day read in the
    // wrong month stands out.
    void AddDay(const QString& employee, const QString& name, qint64 day, double hours);
    const std::map<QString, TCounts>& Counts() const { return m_counts; }
    const QStringList& Errors() const { return m_errors; }
    qint64 ErrorCount() const { return m_errorCount; }
    bool Ok() const { return m_errorCount == 0; }
    // The report in Portuguese: the counts per table, the errors, and what
    // became of the run.
    QString Text(bool dryRun) const;

    static constexpr int kShownErrors = 50;
    // The employee-months listed; the rest only counted.
    static constexpr int kShownMonths = 200;

private:
    struct TMonth
    {
        QString Name;
        qint64 Days = 0;
        double Hours = 0;
    };
    QStringList MonthLines(bool written) const;

    std::map<QString, TCounts> m_counts;
    // By employee, then year and month (year * 100 + month).
    std::map<std::pair<QString, int>, TMonth> m_months;
    QStringList m_notes, m_errors;
    qint64 m_errorCount = 0;
};

// The rows of one table as an import takes them: the columns they give
// (the database's names), then each row as text, as a CSV of the table
// writes it, with a number for the report to place it by.
class TImportRows
{
public:
    // Where a row came from: a file and its line.
    struct TPlace
    {
        QString File;
        qint64 Line = 0;
    };

    virtual ~TImportRows() = default;
    virtual const QStringList& Header() const = 0;
    // The next row; false at the end. Row numbers grow from 2 (the header
    // is row 1).
    virtual bool Next(QStringList& fields, qint64& row) = 0;
    virtual TPlace Place(qint64 row) const = 0;
};

// Who brings rows in, and when: the rows an import adds get them in their
// inclusion columns (see TColumnRule) when the file gives none, and the
// audit records the run under the operator.
struct TImportStamp
{
    QString Operator; // an operator's code; empty for none given
    double When = 0;  // OLE date and time
};

// The importing operator, looked up within the caller's transaction (so
// that one the same run brought counts): it must be registered and active.
// A CSA is never imported without one. stamp.Operator becomes the code as
// stored; false, with the refusal in the report, otherwise.
bool TakeImportOperator(TStorage& storage, TImportStamp& stamp, TImportReport& report);

// One audit row for an import that is being written: its operator, the
// rows inserted and updated per table, and its files (and map, if any).
void RecordImportRun(TStorage& storage, const TImportReport& report, const QStringList& files,
                     const QString& map, const TImportStamp& stamp);

// Takes a table's rows into it within the caller's transaction: each row
// is checked, then the set (repeated keys, missing parents, frozen CSAs),
// then rows are inserted or updated by key, the new ones stamped. Refusals
// go to the report, the rows refused stay out; the caller commits only a
// report without errors. New operators get the default roles (roles.h)
// when defaultRoles; without, they hold only the roles an APH_PAPEL file
// gives them. Outside a restore (see restore.h) a CSA is not put into a
// CHT.
void ImportRows(TStorage& storage, const TFirmTable& table, TImportRows& rows,
                TImportReport& report, const TImportStamp& stamp, bool defaultRoles = true,
                bool restore = false);

// Imports the firm's CSV files, one table each, recognised by its header,
// parents before children whatever their order, in one transaction: rows
// are inserted or updated by key; with any refusal, or a dry run, nothing
// is written. A CSA in a CHT or with its approvals set is never changed.
// New operators get the default roles, unless one of the files is of
// APH_PAPEL (the roles of an export): then each holds the roles it names.
// The CHTs and the history come in only as a restore (restore.h); a file
// of them is otherwise refused. A dry run runs the same statements. The
// rows added carry the stamp's operator and moment; a run written is
// recorded in the audit.
TImportReport ImportFiles(TStorage& storage, const QStringList& files, bool dryRun,
                          TImportStamp stamp = {});

} // namespace aph
