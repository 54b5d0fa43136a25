#pragma once

#include "host/data/hourtext.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <string_view>

namespace aph {

struct TChtStatementLine;

// What both versions of the CHT statement write alike.

// "1.234,56": grouped thousands, two decimals.
QString Money(double value);
// What a CSV statement reserves up front: the byte order mark and some
// slack, and for each day its line (the date, the weekday, the hours, and
// in the firm's version an occurrence's code and a short description).
constexpr qsizetype kCsvFixedBytes = 64, kCsvDayBytes = 80, kClientCsvDayBytes = 40;

// One CSV line of a file for people (TCsvPolicy::ForPeople): ";" between
// fields, a would-be formula as text, CRLF at the end.
void CsvRow(QString& out, const QStringList& fields);

// A day's texts as the statements print them, in UTF-8, formatted in
// fixed buffers rather than a heap string each: the date (dd/mm/yyyy), the
// weekday ("segunda-feira") and the hours ("08:30").
class TDayTexts
{
public:
    // Which hours to write: the firm's three columns, or the client's one.
    enum class THours
    {
        Firm,
        Client
    };
    explicit TDayTexts(const TChtStatementLine& line, THours hours = THours::Firm);
    TDayTexts(const TDayTexts&) = delete;
    TDayTexts& operator=(const TDayTexts&) = delete;

    std::string_view Date() const { return {m_date, m_dateSize}; }
    std::string_view Weekday() const { return m_weekday; }
    // The firm's: the hours worked, billed and for commission.
    std::string_view Worked() const { return m_hours[0].Text(); }
    std::string_view Billed() const { return m_hours[1].Text(); }
    std::string_view Commission() const { return m_hours[2].Text(); }
    // The client's: the billed hours as the totals count them.
    std::string_view Charged() const { return m_hours[0].Text(); }

private:
    struct TText
    {
        char Chars[kHoursTextChars];
        int Size = 0;
        std::string_view Text() const { return {Chars, static_cast<std::size_t>(Size)}; }
    };
    // Room for a date of any year FormatDateTime writes.
    static constexpr std::size_t kDateChars = 32;

    char m_date[kDateChars];
    std::size_t m_dateSize = 0;
    std::string_view m_weekday;
    QByteArray m_spill; // a weekday of a day outside the usual range
    TText m_hours[3];
};

} // namespace aph
