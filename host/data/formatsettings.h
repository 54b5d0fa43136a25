#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

namespace aph {

// A date-time as the service exchanges it: days since 1899-12-30 (OLE
// Automation date), the fraction being the time of day.
using TDateTime = double;

// How dates and numbers are written for the user. Built from the user's
// locale; the pt_BR table is our own because the screens compare day names
// without the trailing dot that Qt's locale data carries.
struct TFormatSettings
{
    QString ShortDateFormat;   // pattern letters as in FormatDateTime: "dd/mm/yyyy"
    QString LongTimeFormat;    // "hh:nn:ss"
    QChar DateSeparator;       // what "/" stands for in a pattern
    QChar TimeSeparator;       // what ":" stands for in a pattern
    QStringList ShortDayNames; // seven names, Sunday first
    QStringList LongDayNames;
    QStringList ShortMonthNames; // twelve names, January first
    QStringList LongMonthNames;
    QChar DecimalSeparator;
    QChar ThousandSeparator;
    QString CurrencyString; // "R$"

    // A locale name as in LANG ("pt_BR.UTF-8", "C", "en_US").
    static TFormatSettings ForLocale(const QString& localeName);
    // From LC_ALL, else LC_TIME (dates) and LC_NUMERIC (numbers), else LANG.
    static TFormatSettings FromEnvironment();
};

// The process-wide settings, read from the environment on first use.
TFormatSettings& FormatSettings();
void SetFormatSettings(const TFormatSettings& settings);
// The host's choice of settings (aph-host: Brazilian unless configured):
// set now, and kept by a module's start instead of the environment's.
void SetHostFormatSettings(const TFormatSettings& settings);
bool HostChoseFormatSettings();

// OLE Automation date conversions. Whole days only for QDate.
TDateTime DateToOle(const QDate& date);
QDate OleToDate(TDateTime value);
TDateTime EncodeDate(int year, int month, int day);
TDateTime DateOf(TDateTime value);
TDateTime Today();
// Lowest and highest date-times accepted anywhere (years 100 to 9999).
constexpr TDateTime kMinDateTime = -657434.0;
constexpr TDateTime kMaxDateTime = 2958465.99999999;

// Date-time text from a pattern: d dd ddd dddd ddddd (short date) m mm mmm
// mmmm (month, or minutes right after an hour) yy yyyy h hh n nn s ss z zzz,
// "/" and ":" for the separators, quoted literals.
QString FormatDateTime(const QString& pattern, TDateTime value,
                       const TFormatSettings& fs = FormatSettings());
// Short date, plus the long time when there is a time of day.
QString DateTimeToStr(TDateTime value, const TFormatSettings& fs = FormatSettings());
QString DateToStr(TDateTime value, const TFormatSettings& fs = FormatSettings());
// Parses a date in the short date order (day, month, year positions);
// two-digit years fall in 1950..2049. False on text that is no date.
bool TryStrToDate(const QString& text, TDateTime& value,
                  const TFormatSettings& fs = FormatSettings());
// Parses a month of a year in the short date order of the two: "10/2025"
// or "102025" under dd/mm/yyyy (any date separator, a four-digit year),
// giving its first day. False on anything else, a whole date included.
bool TryStrToMonth(const QString& text, QDate& first, const TFormatSettings& fs = FormatSettings());

// Number text from a pattern such as "#,###,##0.00": "0" a required digit,
// "#" an optional one, "," thousands grouping, "." the decimal point,
// "pos;neg;zero" sections, quoted literals. Halves round away from zero on
// the number's 15-digit decimal form, so 1.005 gives "1.01".
QString FormatFloat(const QString& pattern, double value,
                    const TFormatSettings& fs = FormatSettings());
// The value rounded to a number of decimals, halves away from zero, on its
// 15-digit decimal form (so 7.5075 rounds to 7.51 although its binary value
// lies just below). The one rounding of the system: the screens and the
// server compare hours with it, so a value one side accepts the other does.
double RoundDec(double value, int decimals);
// General number text: up to 15 significant digits, no grouping.
QString FloatToStr(double value, const TFormatSettings& fs = FormatSettings());
// Accepts the locale's decimal separator (and "."), an optional sign and
// thousands separators between digit groups.
bool TryStrToFloat(const QString& text, double& value,
                   const TFormatSettings& fs = FormatSettings());

} // namespace aph
