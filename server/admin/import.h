#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <map>

namespace aph {

class TStorage;

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
    TCounts& Of(const QString& table) { return m_counts[table]; }
    const std::map<QString, TCounts>& Counts() const { return m_counts; }
    const QStringList& Errors() const { return m_errors; }
    qint64 ErrorCount() const { return m_errorCount; }
    bool Ok() const { return m_errorCount == 0; }
    // The report in Portuguese: the counts per table, the errors, and what
    // became of the run.
    QString Text(bool dryRun) const;

    static constexpr int kShownErrors = 50;

private:
    std::map<QString, TCounts> m_counts;
    QStringList m_errors;
    qint64 m_errorCount = 0;
};

// Imports the firm's CSV files, one table each, recognised by its header,
// parents before children whatever their order, in one transaction: rows
// are inserted or updated by key; with any refusal, or a dry run, nothing
// is written. A CSA in a CHT or with its approvals set is never changed.
TImportReport ImportFiles(TStorage& storage, const QStringList& files, bool dryRun);

} // namespace aph
