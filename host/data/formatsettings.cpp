#include "host/data/formatsettings.h"

#include <QLocale>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

// Constant-initialised, so that dates computed by other files' static
// initialisers are right whatever the order of initialisation.
constexpr QDate kOleEpoch = QDate::fromJulianDay(2415019); // 1899-12-30

QStringList Names(std::initializer_list<const char*> names)
{
    QStringList list;
    for (const char* n : names)
        list << QString::fromUtf8(n);
    return list;
}

TFormatSettings Portuguese()
{
    TFormatSettings fs;
    fs.ShortDateFormat = u"dd/mm/yyyy"_s;
    fs.LongTimeFormat = u"hh:nn:ss"_s;
    fs.DateSeparator = u'/';
    fs.TimeSeparator = u':';
    fs.ShortDayNames = Names({"dom", "seg", "ter", "qua", "qui", "sex", "sáb"});
    fs.LongDayNames = Names({"domingo", "segunda-feira", "terça-feira", "quarta-feira",
                             "quinta-feira", "sexta-feira", "sábado"});
    fs.ShortMonthNames =
        Names({"jan", "fev", "mar", "abr", "mai", "jun", "jul", "ago", "set", "out", "nov", "dez"});
    fs.LongMonthNames = Names({"janeiro", "fevereiro", "março", "abril", "maio", "junho", "julho",
                               "agosto", "setembro", "outubro", "novembro", "dezembro"});
    fs.DecimalSeparator = u',';
    fs.ThousandSeparator = u'.';
    fs.CurrencyString = u"R$"_s;
    return fs;
}

TFormatSettings English()
{
    TFormatSettings fs;
    fs.ShortDateFormat = u"mm/dd/yyyy"_s;
    fs.LongTimeFormat = u"hh:nn:ss"_s;
    fs.DateSeparator = u'/';
    fs.TimeSeparator = u':';
    fs.ShortDayNames = Names({"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"});
    fs.LongDayNames =
        Names({"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"});
    fs.ShortMonthNames =
        Names({"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"});
    fs.LongMonthNames = Names({"January", "February", "March", "April", "May", "June", "July",
                               "August", "September", "October", "November", "December"});
    fs.DecimalSeparator = u'.';
    fs.ThousandSeparator = u',';
    fs.CurrencyString = u"$"_s;
    return fs;
}

QString StripDot(QString name)
{
    if (name.endsWith(u'.'))
        name.chop(1);
    return name;
}

// Other locales: Qt's data, turned into our pattern letters, with four-digit
// years so that a date never loses its century.
TFormatSettings FromQLocale(const QLocale& locale)
{
    TFormatSettings fs = English();
    for (int i = 0; i < 7; ++i) {
        const int qtDay = i == 0 ? 7 : i; // Qt: 1 = Monday .. 7 = Sunday
        fs.ShortDayNames[i] = StripDot(locale.dayName(qtDay, QLocale::ShortFormat));
        fs.LongDayNames[i] = locale.dayName(qtDay, QLocale::LongFormat);
    }
    for (int i = 0; i < 12; ++i) {
        fs.ShortMonthNames[i] = StripDot(locale.monthName(i + 1, QLocale::ShortFormat));
        fs.LongMonthNames[i] = locale.monthName(i + 1, QLocale::LongFormat);
    }
    QString pattern;
    const QString qt = locale.dateFormat(QLocale::ShortFormat);
    QChar separator = u'/';
    bool separatorSeen = false;
    for (qsizetype i = 0; i < qt.size();) {
        const QChar c = qt[i];
        qsizetype run = 1;
        while (i + run < qt.size() && qt[i + run] == c)
            ++run;
        if (c == u'd')
            pattern += QString(qMin<qsizetype>(run, 2), u'd');
        else if (c == u'M')
            pattern += QString(qMin<qsizetype>(run, 2), u'm');
        else if (c == u'y')
            pattern += u"yyyy"_s;
        else {
            if (!separatorSeen && !c.isSpace()) {
                separator = c;
                separatorSeen = true;
            }
            pattern += (c == separator) ? QString(u'/') : QString(run, c);
        }
        i += run;
    }
    if (!pattern.isEmpty())
        fs.ShortDateFormat = pattern;
    fs.DateSeparator = separator;
    const QString point = locale.decimalPoint();
    const QString group = locale.groupSeparator();
    if (!point.isEmpty())
        fs.DecimalSeparator = point[0];
    if (!group.isEmpty())
        fs.ThousandSeparator = group[0];
    fs.CurrencyString = locale.currencySymbol();
    return fs;
}

QString EnvValue(const char* name)
{
    return QString::fromLocal8Bit(qgetenv(name));
}

QString LocaleFor(const char* category)
{
    for (const char* var : {"LC_ALL", category, "LANG"}) {
        const QString value = EnvValue(var);
        if (!value.isEmpty())
            return value;
    }
    return u"C"_s;
}

TFormatSettings& Global()
{
    static TFormatSettings settings = TFormatSettings::FromEnvironment();
    return settings;
}

struct DateParts
{
    int year = 1899, month = 12, day = 30;
    int hour = 0, minute = 0, second = 0, msec = 0;
    int dayOfWeek = 0; // 0 = Sunday
};

DateParts Decode(TDateTime value)
{
    DateParts p;
    const double whole = std::trunc(value);
    const QDate date = kOleEpoch.addDays(static_cast<qint64>(whole));
    if (date.isValid()) {
        p.year = date.year();
        p.month = date.month();
        p.day = date.day();
        p.dayOfWeek = date.dayOfWeek() % 7;
    }
    qint64 ms = std::llround(std::fabs(value - whole) * 86400000.0);
    if (ms >= 86400000)
        ms = 86399999;
    p.hour = static_cast<int>(ms / 3600000);
    p.minute = static_cast<int>(ms / 60000 % 60);
    p.second = static_cast<int>(ms / 1000 % 60);
    p.msec = static_cast<int>(ms % 1000);
    return p;
}

QString Pad(int value, int width)
{
    return u"%1"_s.arg(value, width, 10, QLatin1Char('0'));
}

void AppendFormatted(QString& out, const QString& pattern, const DateParts& p,
                     const TFormatSettings& fs, int depth);

// A run of "d": the day, two-digit day, short or long day name, or (five or
// six) the short date. Returns how many letters it took.
qsizetype AppendDays(QString& out, qsizetype run, const DateParts& p, const TFormatSettings& fs,
                     int depth)
{
    if (run == 1)
        out += QString::number(p.day);
    else if (run == 2)
        out += Pad(p.day, 2);
    else if (run == 3)
        out += fs.ShortDayNames.value(p.dayOfWeek);
    else if (run == 4)
        out += fs.LongDayNames.value(p.dayOfWeek);
    else if (depth < 2)
        AppendFormatted(out, fs.ShortDateFormat, p, fs, depth + 1);
    return qMin<qsizetype>(run, 6);
}

// A run of "m": minutes right after an hour, otherwise the month as a
// number or a short or long name. Returns how many letters it took.
qsizetype AppendMonths(QString& out, qsizetype run, const DateParts& p, const TFormatSettings& fs,
                       bool afterHour)
{
    if (afterHour && run <= 2)
        out += run == 1 ? QString::number(p.minute) : Pad(p.minute, 2);
    else if (run == 1)
        out += QString::number(p.month);
    else if (run == 2)
        out += Pad(p.month, 2);
    else if (run == 3)
        out += fs.ShortMonthNames.value(p.month - 1);
    else
        out += fs.LongMonthNames.value(p.month - 1);
    return qMin<qsizetype>(run, 4);
}

void AppendFormatted(QString& out, const QString& pattern, const DateParts& p,
                     const TFormatSettings& fs, int depth)
{
    bool afterHour = false;
    const qsizetype n = pattern.size();
    for (qsizetype i = 0; i < n;) {
        const QChar c = pattern[i];
        const QChar lc = c.toLower();
        if (c == u'"' || c == u'\'') {
            const qsizetype end = pattern.indexOf(c, i + 1);
            const qsizetype stop = end < 0 ? n : end;
            out += pattern.mid(i + 1, stop - i - 1);
            i = stop + 1;
            continue;
        }
        qsizetype run = 1;
        while (i + run < n && pattern[i + run].toLower() == lc)
            ++run;
        if (lc == u'd') {
            i += AppendDays(out, run, p, fs, depth);
            continue;
        }
        if (lc == u'm') {
            i += AppendMonths(out, run, p, fs, afterHour);
            afterHour = false;
            continue;
        }
        if (lc == u'y') {
            out += run <= 2 ? Pad(p.year % 100, 2) : Pad(p.year, 4);
            i += run;
            continue;
        }
        if (lc == u'h') {
            out += run == 1 ? QString::number(p.hour) : Pad(p.hour, 2);
            afterHour = true;
            i += qMin<qsizetype>(run, 2);
            continue;
        }
        if (lc == u'n' || lc == u's') {
            const int v = lc == u'n' ? p.minute : p.second;
            out += run == 1 ? QString::number(v) : Pad(v, 2);
            i += qMin<qsizetype>(run, 2);
            continue;
        }
        if (lc == u'z') {
            out += run >= 3 ? Pad(p.msec, 3) : QString::number(p.msec);
            i += qMin<qsizetype>(run, 3);
            continue;
        }
        if (lc == u'c' && depth < 2) {
            AppendFormatted(out, fs.ShortDateFormat, p, fs, depth + 1);
            if (p.hour || p.minute || p.second || p.msec) {
                out += u' ';
                AppendFormatted(out, fs.LongTimeFormat, p, fs, depth + 1);
            }
            i += 1;
            continue;
        }
        if (c == u'/')
            out += fs.DateSeparator;
        else if (c == u':')
            out += fs.TimeSeparator;
        else
            out += c;
        i += 1;
    }
}

// |value| as decimal digits rounded half away from zero at `decimals`
// places, taken from its 15 significant digits.
void DecimalDigits(double value, int decimals, std::string& intPart, std::string& fracPart)
{
    value = std::fabs(value);
    std::string s;
    int point = 1;
    if (value == 0.0 || !std::isfinite(value)) {
        s = "0";
    } else {
        // to_chars ignores the C locale that the application may have set.
        char buf[48] = {};
        std::to_chars(buf, buf + sizeof buf - 1, value, std::chars_format::scientific, 14);
        s.push_back(buf[0]);
        s.append(buf + 2, 14);
        point = std::atoi(std::strchr(buf, 'e') + 1) + 1;
        if (point <= 0) {
            s.insert(0, static_cast<std::size_t>(1 - point), '0');
            point = 1;
        }
    }
    const std::size_t need = static_cast<std::size_t>(point + decimals + 1);
    if (s.size() < need)
        s.append(need - s.size(), '0');
    const std::size_t cut = static_cast<std::size_t>(point + decimals);
    const bool up = s[cut] >= '5';
    s.resize(cut);
    if (up) {
        std::size_t i = s.size();
        while (i > 0) {
            --i;
            if (s[i] == '9') {
                s[i] = '0';
            } else {
                ++s[i];
                break;
            }
            if (i == 0) {
                s.insert(s.begin(), '1');
                ++point;
                break;
            }
        }
        if (s.empty()) { // decimals < 0 never happens; keep the carry sane
            s = "1";
        }
    }
    intPart = s.substr(0, static_cast<std::size_t>(point));
    fracPart = s.substr(static_cast<std::size_t>(point));
    const std::size_t nz = intPart.find_first_not_of('0');
    intPart = nz == std::string::npos ? "0" : intPart.substr(nz);
}

struct NumberSection
{
    QString prefix, suffix;
    int requiredInt = 0;
    int minDecimals = 0, maxDecimals = 0;
    bool thousands = false;
    bool hasPlaceholder = false;
};

NumberSection ParseSection(const QString& section)
{
    NumberSection ns;
    bool inNumber = false, afterPoint = false, done = false;
    for (qsizetype i = 0; i < section.size(); ++i) {
        const QChar c = section[i];
        if (c == u'"' || c == u'\'') {
            const qsizetype end = section.indexOf(c, i + 1);
            const qsizetype stop = end < 0 ? section.size() : end;
            (inNumber || done ? ns.suffix : ns.prefix) += section.mid(i + 1, stop - i - 1);
            if (inNumber) {
                inNumber = false;
                done = true;
            }
            i = stop;
            continue;
        }
        const bool placeholder = c == u'0' || c == u'#';
        if (!done &&
            (placeholder || (inNumber && (c == u',' || c == u'.')) || (!inNumber && c == u'.'))) {
            inNumber = true;
            ns.hasPlaceholder = ns.hasPlaceholder || placeholder;
            if (c == u'.') {
                afterPoint = true;
            } else if (c == u',') {
                if (!afterPoint)
                    ns.thousands = true;
            } else if (afterPoint) {
                ++ns.maxDecimals;
                if (c == u'0')
                    ns.minDecimals = ns.maxDecimals;
            } else if (c == u'0') {
                ++ns.requiredInt;
            }
            continue;
        }
        if (inNumber) {
            inNumber = false;
            done = true;
        }
        (done ? ns.suffix : ns.prefix) += c;
    }
    return ns;
}

QStringList SplitSections(const QString& pattern)
{
    QStringList sections;
    QString current;
    QChar quote;
    for (const QChar c : pattern) {
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (c == u'"' || c == u'\'') {
            quote = c;
        } else if (c == u';') {
            sections << current;
            current.clear();
            continue;
        }
        current += c;
    }
    sections << current;
    return sections;
}

QString ApplySection(const NumberSection& ns, double value, const TFormatSettings& fs, bool sign)
{
    std::string intPart, fracPart;
    DecimalDigits(value, ns.maxDecimals, intPart, fracPart);
    while (static_cast<int>(fracPart.size()) > ns.minDecimals && !fracPart.empty() &&
           fracPart.back() == '0')
        fracPart.pop_back();
    if (intPart == "0" && ns.requiredInt == 0)
        intPart.clear();
    if (static_cast<int>(intPart.size()) < ns.requiredInt)
        intPart.insert(0, static_cast<std::size_t>(ns.requiredInt) - intPart.size(), '0');
    QString digits;
    const int len = static_cast<int>(intPart.size());
    for (int i = 0; i < len; ++i) {
        digits += QLatin1Char(intPart[static_cast<std::size_t>(i)]);
        const int left = len - i - 1;
        if (ns.thousands && left > 0 && left % 3 == 0)
            digits += fs.ThousandSeparator;
    }
    if (!fracPart.empty()) {
        digits += fs.DecimalSeparator;
        digits += QLatin1String(fracPart.data(), static_cast<qsizetype>(fracPart.size()));
    }
    const bool zero = intPart.find_first_not_of('0') == std::string::npos &&
                      fracPart.find_first_not_of('0') == std::string::npos;
    QString text = ns.prefix;
    if (sign && value < 0 && !zero)
        text += u'-';
    if (ns.hasPlaceholder)
        text += digits;
    return text + ns.suffix;
}

} // namespace

TFormatSettings TFormatSettings::ForLocale(const QString& localeName)
{
    QString name = localeName.section(u'.', 0, 0).section(u'@', 0, 0);
    if (name.isEmpty() || name == u"C" || name == u"POSIX")
        return English();
    if (name.startsWith(u"pt"))
        return Portuguese();
    if (name.startsWith(u"en"))
        return English();
    const QLocale locale(name);
    if (locale.language() == QLocale::C)
        return English();
    return FromQLocale(locale);
}

TFormatSettings TFormatSettings::FromEnvironment()
{
    TFormatSettings dates = ForLocale(LocaleFor("LC_TIME"));
    const TFormatSettings numbers = ForLocale(LocaleFor("LC_NUMERIC"));
    dates.DecimalSeparator = numbers.DecimalSeparator;
    dates.ThousandSeparator = numbers.ThousandSeparator;
    dates.CurrencyString = numbers.CurrencyString;
    return dates;
}

TFormatSettings& FormatSettings()
{
    return Global();
}

void SetFormatSettings(const TFormatSettings& settings)
{
    Global() = settings;
}

namespace {
bool g_hostChose = false;
} // namespace

void SetHostFormatSettings(const TFormatSettings& settings)
{
    Global() = settings;
    g_hostChose = true;
}

bool HostChoseFormatSettings()
{
    return g_hostChose;
}

TDateTime DateToOle(const QDate& date)
{
    return static_cast<TDateTime>(kOleEpoch.daysTo(date));
}

QDate OleToDate(TDateTime value)
{
    return kOleEpoch.addDays(static_cast<qint64>(std::trunc(value)));
}

TDateTime EncodeDate(int year, int month, int day)
{
    return DateToOle(QDate(year, month, day));
}

TDateTime DateOf(TDateTime value)
{
    return std::trunc(value);
}

TDateTime Today()
{
    return DateToOle(QDate::currentDate());
}

QString FormatDateTime(const QString& pattern, TDateTime value, const TFormatSettings& fs)
{
    QString out;
    AppendFormatted(out, pattern.isEmpty() ? u"c"_s : pattern, Decode(value), fs, 0);
    return out;
}

QString DateTimeToStr(TDateTime value, const TFormatSettings& fs)
{
    return FormatDateTime(u"c"_s, value, fs);
}

QString DateToStr(TDateTime value, const TFormatSettings& fs)
{
    return FormatDateTime(u"ddddd"_s, value, fs);
}

bool TryStrToDate(const QString& text, TDateTime& value, const TFormatSettings& fs)
{
    const QString t = text.trimmed();
    QList<int> numbers;
    QString digits;
    for (const QChar c : t) {
        if (c.isDigit() && c.unicode() < 128) {
            digits += c;
            if (digits.size() > 4)
                return false;
        } else if (c == fs.DateSeparator || c == u'/' || c == u'-' || c == u'.') {
            if (digits.isEmpty())
                return false;
            numbers << digits.toInt();
            digits.clear();
        } else {
            return false;
        }
    }
    if (digits.isEmpty())
        return false;
    numbers << digits.toInt();
    if (numbers.size() < 2 || numbers.size() > 3)
        return false;
    // Order of day, month and year in the short date pattern.
    const QString f = fs.ShortDateFormat.toLower();
    const qsizetype pd = f.indexOf(u'd'), pm = f.indexOf(u'm'), py = f.indexOf(u'y');
    int day, month, year;
    if (numbers.size() == 2) {
        year = QDate::currentDate().year();
        day = pd < pm ? numbers[0] : numbers[1];
        month = pd < pm ? numbers[1] : numbers[0];
    } else {
        QList<std::pair<qsizetype, int*>> order = {{pd, &day}, {pm, &month}, {py, &year}};
        std::sort(order.begin(), order.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
        for (int i = 0; i < 3; ++i)
            *order[i].second = numbers[i];
        if (year < 100)
            year += year < 50 ? 2000 : 1900;
    }
    const QDate date(year, month, day);
    if (!date.isValid() || year < 100)
        return false;
    value = DateToOle(date);
    return true;
}

bool TryStrToMonth(const QString& text, QDate& first, const TFormatSettings& fs)
{
    constexpr int kYearDigits = 4; // a short year would read as a day
    const QString f = fs.ShortDateFormat.toLower();
    const bool monthFirst = f.indexOf(u'm') < f.indexOf(u'y');
    const QString separators = QString(fs.DateSeparator) + u"/-."_s;
    const QString t = text.trimmed();
    QString month, year;
    const qsizetype at =
        std::find_if(t.begin(), t.end(), [&](QChar c) { return separators.contains(c); }) -
        t.begin();
    if (at < t.size()) {
        // Two parts around one separator.
        month = monthFirst ? t.left(at) : t.mid(at + 1);
        year = monthFirst ? t.mid(at + 1) : t.left(at);
    } else if (t.size() == kYearDigits + 2) {
        // Digits only: two for the month, four for the year.
        month = monthFirst ? t.left(2) : t.right(2);
        year = monthFirst ? t.right(kYearDigits) : t.left(kYearDigits);
    }
    const auto digitsOnly = [](const QString& part) {
        return std::all_of(part.begin(), part.end(),
                           [](QChar c) { return c.isDigit() && c.unicode() < 128; });
    };
    if (month.isEmpty() || month.size() > 2 || year.size() != kYearDigits || !digitsOnly(month) ||
        !digitsOnly(year))
        return false;
    const QDate date(year.toInt(), month.toInt(), 1);
    if (!date.isValid() || date.year() < 100)
        return false;
    first = date;
    return true;
}

QString FormatFloat(const QString& pattern, double value, const TFormatSettings& fs)
{
    if (!std::isfinite(value))
        return std::isnan(value) ? u"NAN"_s : u"INF"_s;
    const QStringList sections = SplitSections(pattern);
    const NumberSection first = ParseSection(sections[0]);
    if (sections.size() >= 3 && !sections[2].isEmpty()) {
        std::string i, f;
        DecimalDigits(value, first.maxDecimals, i, f);
        if (i == "0" && f.find_first_not_of('0') == std::string::npos)
            return ApplySection(ParseSection(sections[2]), 0.0, fs, false);
    }
    if (value < 0 && sections.size() >= 2 && !sections[1].isEmpty())
        return ApplySection(ParseSection(sections[1]), value, fs, false);
    if (!first.hasPlaceholder && first.prefix.isEmpty() && first.suffix.isEmpty())
        return FloatToStr(value, fs);
    return ApplySection(first, value, fs, true);
}

double RoundDec(double value, int decimals)
{
    if (!std::isfinite(value))
        return value;
    decimals = std::clamp(decimals, 0, 15);
    std::string intPart, fracPart;
    DecimalDigits(value, decimals, intPart, fracPart);
    std::string text = (value < 0 ? "-" : "") + intPart;
    if (!fracPart.empty())
        text += "." + fracPart;
    double result = 0;
    std::from_chars(text.data(), text.data() + text.size(), result);
    return result == 0 ? 0.0 : result;
}

QString FloatToStr(double value, const TFormatSettings& fs)
{
    if (!std::isfinite(value))
        return std::isnan(value) ? u"NAN"_s : u"INF"_s;
    char buf[48] = {};
    std::to_chars(buf, buf + sizeof buf - 1, value, std::chars_format::general, 15);
    QString text = QString::fromLatin1(buf);
    if (text == u"-0")
        text = u"0"_s;
    text.replace(u'.', fs.DecimalSeparator);
    return text;
}

bool TryStrToFloat(const QString& text, double& value, const TFormatSettings& fs)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return false;
    std::string plain;
    qsizetype i = 0;
    if (t[0] == u'-' || t[0] == u'+') {
        plain.push_back(static_cast<char>(t[0].unicode()));
        ++i;
    }
    // Integer part, with optional thousands grouping in threes.
    int groupDigits = 0;
    bool grouped = false, anyDigit = false;
    for (; i < t.size(); ++i) {
        const QChar c = t[i];
        if (c.unicode() >= u'0' && c.unicode() <= u'9') {
            plain.push_back(static_cast<char>(c.unicode()));
            ++groupDigits;
            anyDigit = true;
        } else if (c == fs.ThousandSeparator && c != fs.DecimalSeparator) {
            if (groupDigits == 0 || (grouped && groupDigits != 3) || groupDigits > 3)
                return false;
            grouped = true;
            groupDigits = 0;
        } else {
            break;
        }
    }
    if (grouped && groupDigits != 3)
        return false;
    if (i < t.size() && t[i] == fs.DecimalSeparator) {
        plain.push_back('.');
        for (++i; i < t.size(); ++i) {
            const QChar c = t[i];
            if (c.unicode() < u'0' || c.unicode() > u'9')
                break;
            plain.push_back(static_cast<char>(c.unicode()));
            anyDigit = true;
        }
    }
    if (i < t.size() && (t[i] == u'e' || t[i] == u'E') && anyDigit) {
        plain.push_back('e');
        ++i;
        if (i < t.size() && (t[i] == u'-' || t[i] == u'+'))
            plain.push_back(static_cast<char>(t[i++].unicode()));
        bool expDigit = false;
        for (; i < t.size() && t[i].unicode() >= u'0' && t[i].unicode() <= u'9'; ++i) {
            plain.push_back(static_cast<char>(t[i].unicode()));
            expDigit = true;
        }
        if (!expDigit)
            return false;
    }
    if (i != t.size() || !anyDigit)
        return false;
    double v = 0;
    const char* begin = plain.c_str();
    if (*begin == '+')
        ++begin;
    const auto [end, ec] = std::from_chars(begin, plain.c_str() + plain.size(), v);
    if (ec != std::errc() || end != plain.c_str() + plain.size() || !std::isfinite(v))
        return false;
    value = v;
    return true;
}

} // namespace aph
