#include "host/data/csvwriter.h"

#include "host/data/exceptions.h"

#include <QStringEncoder>

#include <algorithm>

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

// Whether CsvCell gives the cell back as it is, judged on its UTF-8 or
// UTF-16 text; a cell whose either end is not ASCII is left to CsvCell.
template <typename Char> bool PlainCell(const Char* text, std::size_t size, TCsvPolicy policy)
{
    if (size == 0)
        return true;
    // A UTF-8 byte above ASCII reads as 0x80 or more here too.
    const auto first = static_cast<char16_t>(text[0]), last = static_cast<char16_t>(text[size - 1]);
    if (policy == TCsvPolicy::ForPeople) {
        if (first == u'=' || first == u'@' || first == u'\t' || first == u'\r' || first == u'-' ||
            first == u'+')
            return false;
    } else {
        const auto space = [](char16_t c) {
            return c == u' ' || (c >= u'\t' && c <= u'\r');
        };
        if (first >= 0x80 || last >= 0x80 || space(first) || space(last))
            return false;
    }
    const bool comma = policy == TCsvPolicy::ForImport;
    return std::none_of(text, text + size, [comma](Char c) {
        return c == ';' || c == '"' || c == '\n' || c == '\r' || (comma && c == ',');
    });
}

} // namespace

void AppendCsvCell(QByteArray& out, std::string_view utf8, TCsvPolicy policy)
{
    const auto size = static_cast<qsizetype>(utf8.size());
    if (PlainCell(utf8.data(), utf8.size(), policy))
        out.append(utf8.data(), size);
    else
        out += CsvCell(QString::fromUtf8(utf8.data(), size), policy).toUtf8();
}

void AppendCsvCell(QByteArray& out, const QString& text, TCsvPolicy policy)
{
    if (!PlainCell(text.utf16(), static_cast<std::size_t>(text.size()), policy)) {
        out += CsvCell(text, policy).toUtf8();
        return;
    }
    // Encoded in place, at the end of the buffer.
    QStringEncoder encoder(QStringEncoder::Utf8);
    const qsizetype at = out.size();
    out.resize(at + encoder.requiredSpace(text.size()));
    char* end = encoder.appendToBuffer(out.data() + at, text);
    out.resize(end - out.constData());
}

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
    m_buffer.reserve(kWriteChunk + kWriteChunk / 8);
}

void TCsvWriter::Write(const QStringList& cells)
{
    m_buffer += CsvRecord(cells, m_policy).toUtf8();
    if (m_buffer.size() >= kWriteChunk)
        Flush();
}

void TCsvWriter::Wrote()
{
    if (m_buffer.size() >= kWriteChunk)
        Flush();
}

void TCsvWriter::Flush()
{
    if (m_file.write(m_buffer) != m_buffer.size())
        throw Exception(
            u"Não foi possível gravar %1; o disco pode estar cheio."_s.arg(m_file.fileName()));
    m_buffer.resize(0); // keeps its room for the next chunk
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
