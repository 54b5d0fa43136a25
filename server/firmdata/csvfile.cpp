#include "server/firmdata/csvfile.h"

#include "host/data/exceptions.h"

#include <QFileInfo>
#include <QStringDecoder>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

// Written out in pieces of this size, so that a big export stays flat in
// memory.
constexpr qsizetype kWriteChunk = 1 << 20;

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

TCsvReader::TCsvReader(const QString& path) : m_file(path), m_name(QFileInfo(path).fileName())
{
    if (!QFileInfo(path).isFile())
        throw Exception(u"O arquivo %1 não existe."_s.arg(path));
    if (!m_file.open(QIODevice::ReadOnly))
        throw Exception(
            u"Não foi possível ler o arquivo %1; confira as suas permissões."_s.arg(path));
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
    QByteArray bytes = m_file.readLine();
    ++m_line;
    while (bytes.endsWith('\n') || bytes.endsWith('\r'))
        bytes.chop(1);
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
        QString more;
        if (!ReadLine(more))
            Fail(u"uma aspa aberta na linha %1 não se fecha até o fim do arquivo"_s.arg(line));
        record += u'\n' + more;
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

TCsvWriter::TCsvWriter(const QString& path) : m_file(path)
{
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        throw Exception(u"Não foi possível criar o arquivo %1: ele já existe, ou a pasta não "
                        u"existe ou não aceita "
                        "gravação."_s.arg(path));
    m_buffer = "\xEF\xBB\xBF";
}

void TCsvWriter::Write(const QStringList& fields)
{
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i)
            m_buffer += ';';
        const QString& f = fields[i];
        const bool quote = f.contains(u';') || f.contains(u'"') || f.contains(u'\n') ||
                           f.contains(u'\r') || f.contains(u',') ||
                           (!f.isEmpty() && (f.front().isSpace() || f.back().isSpace()));
        if (quote)
            m_buffer += '"' + QString(f).replace(u"\""_s, u"\"\""_s).toUtf8() + '"';
        else
            m_buffer += f.toUtf8();
    }
    m_buffer += "\r\n";
    if (m_buffer.size() >= kWriteChunk) {
        if (m_file.write(m_buffer) != m_buffer.size())
            throw Exception(
                u"Não foi possível gravar %1; o disco pode estar cheio."_s.arg(m_file.fileName()));
        m_buffer.clear();
    }
}

void TCsvWriter::Finish()
{
    if (m_file.write(m_buffer) != m_buffer.size() || !m_file.flush())
        throw Exception(
            u"Não foi possível gravar %1; o disco pode estar cheio."_s.arg(m_file.fileName()));
    m_buffer.clear();
    m_file.close();
}

} // namespace aph
