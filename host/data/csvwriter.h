#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

#include <string_view>

namespace aph {

// The one CSV writer of the system: ';' between cells, CRLF after each
// record, UTF-8. A file is written for one of two readers, and the policy
// names which:
enum class TCsvPolicy
{
    // Files for `aph-server import` (what `export` writes): every value
    // raw, exactly as stored, so that the import reads back the same text.
    // A cell is quoted when it holds ';', ',', '"', a line break or spaces
    // at an end (the import's reader takes ',' as a separator too and
    // trims titles).
    ForImport,
    // Files for people (statements, a grid saved for a spreadsheet): a
    // cell beginning with '=', '+', '-', '@', a tab or a carriage return
    // gets a "'" in front, so that a spreadsheet shows it as text instead
    // of running it as a formula; a number or an hour ("-01:00",
    // "-1.234,56") stays a number. Quoted when it holds ';', '"' or a line
    // break. Such a file is not for import: the "'" would be read as data.
    ForPeople,
};

// One cell as the policy writes it.
QString CsvCell(const QString& text, TCsvPolicy policy);
// One record: the cells joined by ';', then CRLF.
QString CsvRecord(const QStringList& cells, TCsvPolicy policy);
// One cell as CsvCell writes it, appended to out in UTF-8, for writers of
// many cells: text the policy leaves alone goes in as it is, without a
// QString on its way.
void AppendCsvCell(QByteArray& out, std::string_view utf8, TCsvPolicy policy);
void AppendCsvCell(QByteArray& out, const QString& text, TCsvPolicy policy);

// A CSV file written record by record, without holding it, under the
// policy: UTF-8 with a byte order mark (a spreadsheet then reads the
// accents). Never over a file already there.
class TCsvWriter
{
public:
    // Throws Exception naming the file when it cannot be created.
    TCsvWriter(const QString& path, TCsvPolicy policy);
    void Write(const QStringList& cells);
    // For a writer that formats its cells itself: the buffer to append a
    // record to, in UTF-8 as the policy writes it and ended by CRLF; call
    // Wrote after each record.
    QByteArray& Pending() { return m_buffer; }
    void Wrote();
    // Flushes and closes; throws when the disk refused the data.
    void Finish();

private:
    void Flush();

    QFile m_file;
    TCsvPolicy m_policy;
    QByteArray m_buffer;
};

} // namespace aph
