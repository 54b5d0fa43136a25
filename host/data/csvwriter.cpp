#include "host/data/csvwriter.h"

#include "host/data/exceptions.h"

using namespace Qt::StringLiterals;

namespace aph {

namespace {

// Written out in pieces of this size, so that a big file stays flat in
// memory.
constexpr qsizetype kWriteChunk = 1 << 20;

bool IsDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// A signed number as the system writes numbers and hours: digits in
// groups joined by '.', ',' or ':' ("-1.234,56", "+08:30").
bool IsSignedNumber(const QString& text)
{
    if (text.size() < 2 || (text[0] != u'-' && text[0] != u'+'))
        return false;
    bool afterDigit = false;
    for (qsizetype i = 1; i < text.size(); ++i) {
        const QChar c = text[i];
        if (IsDigit(c))
            afterDigit = true;
        else if (afterDigit && (c == u'.' || c == u',' || c == u':'))
            afterDigit = false;
        else
            return false;
    }
    return afterDigit;
}

bool StartsFormula(const QString& text)
{
    if (text.isEmpty())
        return false;
    const QChar first = text[0];
    if (first == u'=' || first == u'@' || first == u'\t' || first == u'\r')
        return true;
    return (first == u'-' || first == u'+') && !IsSignedNumber(text);
}

bool NeedsQuotes(const QString& cell, TCsvPolicy policy)
{
    if (cell.contains(u';') || cell.contains(u'"') || cell.contains(u'\n') || cell.contains(u'\r'))
        return true;
    return policy == TCsvPolicy::ForImport &&
           (cell.contains(u',') ||
            (!cell.isEmpty() && (cell.front().isSpace() || cell.back().isSpace())));
}

} // namespace

QString CsvCell(const QString& text, TCsvPolicy policy)
{
    const QString cell =
        policy == TCsvPolicy::ForPeople && StartsFormula(text) ? u'\'' + text : text;
    if (!NeedsQuotes(cell, policy))
        return cell;
    return u'"' + QString(cell).replace(u'"', u"\"\""_s) + u'"';
}

QString CsvRecord(const QStringList& cells, TCsvPolicy policy)
{
    QString record;
    for (qsizetype i = 0; i < cells.size(); ++i) {
        if (i)
            record += u';';
        record += CsvCell(cells[i], policy);
    }
    return record + u"\r\n"_s;
}

TCsvWriter::TCsvWriter(const QString& path, TCsvPolicy policy) : m_file(path), m_policy(policy)
{
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        throw Exception(u"Não foi possível criar o arquivo %1: ele já existe, ou a pasta não "
                        "existe ou não aceita gravação."_s.arg(path));
    m_buffer = "\xEF\xBB\xBF";
}

void TCsvWriter::Write(const QStringList& cells)
{
    m_buffer += CsvRecord(cells, m_policy).toUtf8();
    if (m_buffer.size() >= kWriteChunk)
        Flush();
}

void TCsvWriter::Flush()
{
    if (m_file.write(m_buffer) != m_buffer.size())
        throw Exception(
            u"Não foi possível gravar %1; o disco pode estar cheio."_s.arg(m_file.fileName()));
    m_buffer.clear();
}

void TCsvWriter::Finish()
{
    Flush();
    if (!m_file.flush())
        throw Exception(
            u"Não foi possível gravar %1; o disco pode estar cheio."_s.arg(m_file.fileName()));
    m_file.close();
}

} // namespace aph
