#include "server/firmdata/csvfile.h"

#include "host/data/exceptions.h"
#include "server/common/readfile.h"

#include <QFileInfo>
#include <QStringDecoder>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

// The longest line, and record, a file may have: far past any row of the
// firm's tables or a time tracker's entry, and small enough that one
// record never weighs on the memory, whatever the file holds.
constexpr qint64 kMaxLineBytes = 64 * 1024;
constexpr qsizetype kMaxRecordChars = 64 * 1024;

QStringList SplitRecord(const QString& record, QChar separator)
{
    if (!record.contains(u'"'))
        return record.split(separator);
    QStringList fields;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < record.size(); ++i) {
        const QChar c = record[i];
        if (quoted) {
            if (c == u'"' && i + 1 < record.size() && record[i + 1] == u'"') {
                field += u'"';
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == u'"') {
            quoted = true;
        } else if (c == separator) {
            fields << field;
            field.clear();
        } else {
            field += c;
        }
    }
    fields << field;
    return fields;
}

// Whether the text so far leaves a quote open (a record goes on past the
// line break).
bool QuoteOpen(const QString& text)
{
    return text.contains(u'"') && text.count(u'"') % 2 != 0;
}

} // namespace

TCsvReader::TCsvReader(const QString& path) : m_name(QFileInfo(path).fileName())
{
    OpenRegularFile(m_file, path, u"O arquivo"_s);
    if (m_file.peek(3) == "\xEF\xBB\xBF")
        m_file.read(3);
    QString header;
    if (!ReadLine(header))
        Fail(u"o arquivo está vazio; a primeira linha deve ter os nomes das colunas"_s);
    m_separator = header.count(u';') >= header.count(u',') ? u';' : u',';
    for (const QString& title : SplitRecord(header, m_separator))
        m_header << title.trimmed().toUpper();
}

bool TCsvReader::ReadLine(QString& text)
{
    if (m_file.atEnd())
        return false;
    // Room for the longest line and its CRLF; a line longer is refused
    // before more of it is read.
    QByteArray bytes = m_file.readLine(kMaxLineBytes + 2);
    ++m_line;
    qsizetype end = bytes.size();
    const bool ended = end > 0 && bytes[end - 1] == '\n';
    while (end > 0 && (bytes[end - 1] == '\n' || bytes[end - 1] == '\r'))
        --end;
    if (end > kMaxLineBytes || (!ended && !m_file.atEnd()))
        Fail(u"a linha passa de %1 bytes; nenhuma linha de uma tabela é tão longa"_s.arg(
            kMaxLineBytes));
    m_lineEnd = QString::fromLatin1(bytes.mid(end));
    bytes.truncate(end);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    text = utf8.decode(bytes);
    if (utf8.hasError())
        Fail(u"o texto não está em UTF-8 (salve o arquivo como CSV UTF-8)"_s);
    return true;
}

bool TCsvReader::Next(QStringList& fields, qint64& line)
{
    QString record;
    do {
        if (!ReadLine(record))
            return false;
    } while (record.trimmed().isEmpty()); // blank lines separate nothing
    line = m_line;
    while (QuoteOpen(record)) {
        // A line break inside quotes is the field's own, LF or CRLF as written.
        const QString lineEnd = m_lineEnd;
        QString more;
        if (!ReadLine(more))
            Fail(u"uma aspa aberta na linha %1 não se fecha até o fim do arquivo"_s.arg(line));
        record += lineEnd + more;
        if (record.size() > kMaxRecordChars)
            Fail(u"o registro que começa na linha %1 passa de %2 caracteres (uma aspa que não "
                 "se fecha?)"_s.arg(line)
                     .arg(kMaxRecordChars));
    }
    fields = SplitRecord(record, m_separator);
    return true;
}

void TCsvReader::Fail(const QString& why) const
{
    if (m_line == 0)
        throw Exception(u"%1: %2"_s.arg(m_name, why));
    throw Exception(u"%1, linha %2: %3"_s.arg(m_name).arg(m_line).arg(why));
}

} // namespace aph
