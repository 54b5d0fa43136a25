#include "server/firmdata/datereading.h"

#include <QStringList>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

// The format with each day of one or two digits written as a month and
// each such month as a day; empty when the year comes first or a day or
// month is no number. Quoted text stays as it is.
QString SwappedFormat(const QString& format)
{
    QString swapped;
    bool quoted = false, sawDay = false, sawMonth = false, yearFirst = false;
    for (qsizetype i = 0; i < format.size();) {
        const QChar c = format[i];
        qsizetype run = 1;
        while (i + run < format.size() && format[i + run] == c)
            ++run;
        if (c == u'\'')
            quoted = run % 2 == 1 ? !quoted : quoted;
        if (!quoted && (c == u'd' || c == u'M')) {
            if (run > 2)
                return {}; // a day or month by name tells itself
            (c == u'd' ? sawDay : sawMonth) = true;
            swapped += QString(run, c == u'd' ? u'M' : u'd');
        } else {
            if (!quoted && c == u'y' && !sawDay && !sawMonth)
                yearFirst = true;
            swapped += format.mid(i, run);
        }
        i += run;
    }
    return sawDay && sawMonth && !yearFirst ? swapped : QString();
}

} // namespace

TDateReading::TDateReading(const QString& format, bool confirmed)
    : m_format(format), m_other(SwappedFormat(format)), m_confirmed(confirmed)
{}

void TDateReading::StartFile()
{
    m_decided = false;
    m_firstTwoWays.clear();
    m_firstLine = 0;
    m_firstColumn.clear();
}

QString TDateReading::DayWords(const QDate& day)
{
    static const char* const kMonths[] = {"janeiro",  "fevereiro", "março",    "abril",
                                          "maio",     "junho",     "julho",    "agosto",
                                          "setembro", "outubro",   "novembro", "dezembro"};
    return u"%1 de %2"_s.arg(day.day()).arg(QString::fromUtf8(kMonths[day.month() - 1]));
}

// "MM/dd" for the reading with the month first, "dd/MM" for the other.
QString TDateReading::Label(bool other) const
{
    const bool monthFirst = m_format.indexOf(u'M') < m_format.indexOf(u'd');
    return monthFirst != other ? u"MM/dd"_s : u"dd/MM"_s;
}

QDate TDateReading::Read(const QString& text, qint64 line, const QString& column, QString& why)
{
    const QDate day = QDate::fromString(text, m_format);
    const QDate other = m_other.isEmpty() ? QDate() : QDate::fromString(text, m_other);
    if (!day.isValid()) {
        why = u"a data \"%1\" não está no formato %2"_s.arg(text, m_format);
        if (other.isValid())
            why += u"; lida como %1 seria %2: confira o formato_data do mapa"_s.arg(
                m_other, DayWords(other));
        return day;
    }
    if (!other.isValid())
        m_decided = true;
    else if (other != day && m_firstTwoWays.isEmpty()) {
        m_firstTwoWays = text;
        m_firstLine = line;
        m_firstColumn = column;
    }
    return day;
}

bool TDateReading::Ambiguous(QString& why, qint64& line, QString& column) const
{
    if (m_confirmed || m_decided || m_firstTwoWays.isEmpty())
        return false;
    const QDate day = QDate::fromString(m_firstTwoWays, m_format);
    const QDate other = QDate::fromString(m_firstTwoWays, m_other);
    why = u"nenhuma data do arquivo tem o dia acima de 12, e nada diz se o mês vem antes do dia "
          "ou depois — %1: %2 (%3) ou %4 (%5). Confirme o formato no mapa "
          "(formato_data_confirmado = sim) ou dê-o na linha de comando (--formato-data %6 ou "
          "--formato-data %7)"_s.arg(m_firstTwoWays, DayWords(day), Label(false), DayWords(other),
                                     Label(true), m_format, m_other);
    line = m_firstLine;
    column = m_firstColumn;
    return true;
}

} // namespace aph
