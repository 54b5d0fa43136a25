#include "host/data/csvcell.h"

using namespace Qt::StringLiterals;

namespace aph {

namespace {

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

} // namespace

QString CsvCell(const QString& text)
{
    const QString cell = StartsFormula(text) ? u'\'' + text : text;
    if (!cell.contains(u';') && !cell.contains(u'"') && !cell.contains(u'\n') &&
        !cell.contains(u'\r'))
        return cell;
    return u'"' + QString(cell).replace(u'"', u"\"\""_s) + u'"';
}

} // namespace aph
