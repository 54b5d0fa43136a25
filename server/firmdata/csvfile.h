#pragma once

#include <QFile>
#include <QString>
#include <QStringList>

namespace aph {

// Reads a CSV file record by record, without holding it: UTF-8 with or
// without a byte order mark, fields separated by ";" or "," (whichever the
// header line uses), quoted as RFC 4180 quotes them ("" for a quote, line
// breaks inside quotes), lines ended by LF or CRLF.
class TCsvReader
{
public:
    // Opens the file and reads its header; throws Exception with a message
    // naming the file when it cannot be read or is not UTF-8.
    explicit TCsvReader(const QString& path);

    const QStringList& Header() const { return m_header; }
    QChar Separator() const { return m_separator; }
    // The next record; false at the end. Line is where the record starts
    // (the header is line 1). Throws Exception for text that is not UTF-8
    // or a quote left open at the end, naming the file and the line.
    bool Next(QStringList& fields, qint64& line);
    // Bytes read so far, of the file's size.
    qint64 Position() const { return m_file.pos(); }

private:
    bool ReadLine(QString& text);
    [[noreturn]] void Fail(const QString& why) const;

    QFile m_file;
    QString m_name;
    QStringList m_header;
    QChar m_separator = u';';
    qint64 m_line = 0;
    QString m_lineEnd; // the line break the last line read ended with
};

} // namespace aph
