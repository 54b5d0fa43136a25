#include "server/firmdata/tables.h"

#include "server/common/hiddentext.h"

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>
#include <QTimeZone>

#include <algorithm>
#include <charconv>
#include <cmath>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

const QDate kOleEpoch(1899, 12, 30);
// The first day the screens and the protocol address.
const QDate kFirstDay(1900, 1, 1);
constexpr double kMsPerDay = 86400000.0;
constexpr double kHoursInDay = 24;

// Names of the list as QStrings.
QStringList Names(std::span<const std::string_view> texts)
{
    QStringList list;
    for (const std::string_view t : texts)
        list << QUtf8StringView(t).toString();
    return list;
}

std::vector<TFirmTable> MakeTables()
{
    std::vector<TFirmTable> tables;
    for (const TTableSpec& spec : kSchemaTables)
        if (spec.Exported())
            tables.push_back(FirmTableOf(spec));
    return tables;
}

// hh:mm or hh:mm:ss as hours.
bool ParseClock(const QString& text, double& hours)
{
    static const QRegularExpression shape(uR"(^(\d{1,3}):([0-5]\d)(?::([0-5]\d))?$)"_s);
    const auto m = shape.match(text);
    if (!m.hasMatch())
        return false;
    hours = m.captured(1).toInt() + m.captured(2).toInt() / 60.0 + m.captured(3).toInt() / 3600.0;
    return true;
}

// A number of exactly `width` digits at `at`; -1 when it is none.
int Digits(const QString& text, qsizetype at, int width)
{
    int value = 0;
    for (qsizetype i = at; i < at + width; ++i) {
        if (i >= text.size() || !text[i].isDigit())
            return -1;
        value = value * 10 + text[i].digitValue();
    }
    return value;
}

// dd/mm/aaaa (d/m/aaaa too) or aaaa-mm-dd; read by hand, for the millions
// of days an import may hold.
bool ParseDate(const QString& text, QDate& date)
{
    if (text.size() == 10 && text[4] == u'-' && text[7] == u'-') {
        date = QDate(Digits(text, 0, 4), Digits(text, 5, 2), Digits(text, 8, 2));
        return Digits(text, 0, 4) > 0 && date.isValid();
    }
    const QStringList parts = text.split(u'/');
    if (parts.size() != 3 || parts[0].size() > 2 || parts[1].size() > 2 || parts[2].size() != 4)
        return false;
    const int day = Digits(parts[0], 0, static_cast<int>(parts[0].size()));
    const int month = Digits(parts[1], 0, static_cast<int>(parts[1].size()));
    const int year = Digits(parts[2], 0, 4);
    date = QDate(year, month, day);
    return day > 0 && month > 0 && year > 0 && date.isValid();
}

bool ParseMoment(const QString& text, double& ole)
{
    QDate date;
    QTime time(0, 0);
    const QString t = text.simplified();
    const qsizetype split = t.indexOf(t.contains(u'T') ? u'T' : u' ');
    if (!ParseDate(split < 0 ? t : t.left(split), date))
        return false;
    if (split >= 0) {
        const QString clock = t.mid(split + 1);
        for (const QString& form : {u"HH:mm:ss.zzz"_s, u"HH:mm:ss"_s, u"HH:mm"_s})
            if ((time = QTime::fromString(clock, form)).isValid())
                break;
        if (!time.isValid())
            return false;
    }
    ole = static_cast<double>(kOleEpoch.daysTo(date)) + time.msecsSinceStartOfDay() / kMsPerDay;
    return true;
}

QString Shortest(double value)
{
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

// The day of an OLE day number or moment.
QDate DayOf(const TColumn& column, const QVariant& value)
{
    const double ole = value.toDouble();
    return kOleEpoch.addDays(column.Kind == TColumnKind::Day
                                 ? value.toLongLong()
                                 : static_cast<qint64>(std::floor(ole)));
}

// The first hidden character of a text, as "U+XXXX"; empty for none.
QString FirstHidden(const QString& text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        const char32_t code = c.isHighSurrogate() && i + 1 < text.size()
                                  ? QChar::surrogateToUcs4(c, text[i + 1])
                                  : char32_t(c.unicode());
        if (IsHiddenCharacter(code))
            return u"U+"_s + QString::number(uint(code), 16).toUpper().rightJustified(4, u'0');
        if (code > 0xFFFF)
            ++i;
    }
    return {};
}

} // namespace

bool ParseDecimal(const QString& text, double& value)
{
    static const QRegularExpression shape(uR"(^[+-]?(\d+([.,]\d*)?|[.,]\d+)$)"_s);
    if (!shape.match(text).hasMatch())
        return false;
    bool ok = false;
    value = QString(text).replace(u',', u'.').toDouble(&ok);
    return ok && std::isfinite(value);
}

bool CheckValue(const TColumn& column, const QVariant& value, QString& why)
{
    if (value.isNull())
        return true;
    switch (column.Kind) {
    case TColumnKind::Day:
    case TColumnKind::Moment:
        if (DayOf(column, value) < kFirstDay) {
            why = u"%1 é antes de 01/01/1900; as datas vão de 1900 em diante"_s.arg(
                DayOf(column, value).toString(u"dd/MM/yyyy"_s));
            return false;
        }
        return true;
    case TColumnKind::Number:
    case TColumnKind::Hours:
        if (value.toDouble() < 0) {
            why = u"%1 é negativo; o valor vai de 0 em diante"_s.arg(
                FormatCell(column, value).replace(u'.', u','));
            return false;
        }
        return true;
    case TColumnKind::Integer:
        return true;
    case TColumnKind::Text:
        break;
    }
    const QString text = value.toString();
    if (const QString hidden = FirstHidden(text); !hidden.isEmpty()) {
        why = u"o texto tem um caractere invisível ou de controle (%1): quebra de linha, "
              "tabulação, NUL, marca de direção ou de largura zero não são aceitos"_s.arg(hidden);
        return false;
    }
    if (!column.Codes.isEmpty() && !column.Codes.contains(text)) {
        why = u"\"%1\" não é um dos códigos aceitos (%2)"_s.arg(text, column.Codes.join(u", "));
        return false;
    }
    return true;
}

const TColumn* TFirmTable::Find(const QString& column) const
{
    const auto it = std::find_if(Columns.begin(), Columns.end(), [&](const TColumn& c) {
        return c.Name.compare(column, Qt::CaseInsensitive) == 0;
    });
    return it == Columns.end() ? nullptr : &*it;
}

bool TFirmTable::HasFirmColumns() const
{
    return std::any_of(Columns.begin(), Columns.end(),
                       [](const TColumn& c) { return c.Owner == TColumnOwner::Firm; });
}

TFirmTable FirmTableOf(const TTableSpec& spec)
{
    TFirmTable table{
        QUtf8StringView(spec.Name).toString(), {}, Names(spec.Key), {}, spec.AppendOnly};
    for (const TColumnSpec& c : spec.Columns)
        table.Columns.push_back({QUtf8StringView(c.Name).toString(), c.Kind, c.Size, c.Required,
                                 c.Owner, Names(c.Codes), c.Rule});
    for (const TParentSpec& p : spec.Parents)
        table.Parents.push_back({Names(p.Columns), QUtf8StringView(p.Table).toString(),
                                 Names(p.ParentColumns), QUtf8StringView(p.What).toString()});
    return table;
}

const std::vector<TFirmTable>& FirmTables()
{
    static const std::vector<TFirmTable> tables = MakeTables();
    return tables;
}

const TFirmTable* FindFirmTable(const QString& name)
{
    for (const TFirmTable& t : FirmTables())
        if (t.Name.compare(name, Qt::CaseInsensitive) == 0)
            return &t;
    return nullptr;
}

const TFirmTable* TableOfHeader(const QStringList& titles)
{
    const TFirmTable* found = nullptr;
    for (const TFirmTable& t : FirmTables()) {
        const bool allColumns = std::all_of(titles.begin(), titles.end(), [&](const QString& n) {
            return t.Find(n.trimmed()) != nullptr;
        });
        const bool allRequired =
            std::all_of(t.Columns.begin(), t.Columns.end(), [&](const TColumn& c) {
                return !c.Required ||
                       std::any_of(titles.begin(), titles.end(), [&](const QString& n) {
                           return c.Name.compare(n.trimmed(), Qt::CaseInsensitive) == 0;
                       });
            });
        if (allColumns && allRequired) {
            if (found)
                return nullptr;
            found = &t;
        }
    }
    return found;
}

QString FormatCell(const TColumn& column, const QVariant& value)
{
    if (value.isNull())
        return {};
    switch (column.Kind) {
    case TColumnKind::Text:
        return value.toString();
    case TColumnKind::Day:
        return kOleEpoch.addDays(value.toLongLong()).toString(Qt::ISODate);
    case TColumnKind::Moment: {
        const double ole = value.toDouble();
        const auto ms = static_cast<qint64>(std::llround(ole * kMsPerDay));
        // An OLE moment is a wall-clock reading with no zone: counted in
        // UTC, the machine's zone (its offsets since 1899, its summer time)
        // never moves it.
        return QDateTime(kOleEpoch, QTime(0, 0), QTimeZone::utc())
            .addMSecs(ms)
            .toString(u"yyyy-MM-ddTHH:mm:ss.zzz"_s);
    }
    case TColumnKind::Integer:
        return QString::number(value.toLongLong());
    case TColumnKind::Number:
    case TColumnKind::Hours:
        return Shortest(value.toDouble());
    }
    return {};
}

namespace {

// Whole numbers below this hold their exact value in a double.
constexpr double kExactWholes = 9007199254740992.0; // 2^53
// QString::number writes decimals below this as the shortest text that
// reads back the same, as std::to_chars does; above it, Qt pads the
// shortest digits with zeros where to_chars writes every digit.
constexpr double kShortestDecimals = 1e15;

char* Digits(char* out, int value, int width)
{
    for (int i = width - 1; i >= 0; --i, value /= 10)
        out[i] = static_cast<char>('0' + value % 10);
    return out + width;
}

// "yyyy-MM-dd" of a date of a four-digit year; nullptr for other years.
char* IsoDate(char* out, const QDate& date)
{
    if (date.year() < 1000 || date.year() > 9999)
        return nullptr;
    out = Digits(out, date.year(), 4);
    *out++ = '-';
    out = Digits(out, date.month(), 2);
    *out++ = '-';
    return Digits(out, date.day(), 2);
}

} // namespace

bool AppendFormattedNumber(QByteArray& out, const TColumn& column, double value)
{
    char buffer[40];
    char* end = nullptr;
    const bool whole = value == std::trunc(value) && std::abs(value) < kExactWholes;
    switch (column.Kind) {
    case TColumnKind::Text:
        return false;
    case TColumnKind::Day:
        if (whole)
            end = IsoDate(buffer, kOleEpoch.addDays(static_cast<qint64>(value)));
        break;
    case TColumnKind::Integer:
        if (whole)
            end = std::to_chars(buffer, buffer + sizeof buffer, static_cast<qint64>(value)).ptr;
        break;
    case TColumnKind::Moment: {
        // As FormatCell: milliseconds since the epoch, counted in UTC.
        if (!(std::abs(value) < kExactWholes / kMsPerDay))
            return false;
        const auto ms = static_cast<qint64>(std::llround(value * kMsPerDay));
        const auto perDay = static_cast<qint64>(kMsPerDay);
        const qint64 days = ms / perDay - (ms % perDay < 0 ? 1 : 0);
        auto time = static_cast<int>(ms - days * perDay);
        end = IsoDate(buffer, kOleEpoch.addDays(days));
        if (end) {
            *end++ = 'T';
            end = Digits(end, time / 3600000, 2);
            *end++ = ':';
            end = Digits(end, time / 60000 % 60, 2);
            *end++ = ':';
            end = Digits(end, time / 1000 % 60, 2);
            *end++ = '.';
            end = Digits(end, time % 1000, 3);
        }
        break;
    }
    case TColumnKind::Number:
    case TColumnKind::Hours:
        if (value == 0) { // negative zero too, which Qt writes as "0"
            buffer[0] = '0';
            end = buffer + 1;
        } else if (std::abs(value) < kShortestDecimals)
            end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
        break;
    }
    if (!end)
        return false;
    out.append(buffer, end - buffer);
    return true;
}

bool ParseCell(const TColumn& column, const QString& text, QVariant& value, QString& why)
{
    const QString t = column.Kind == TColumnKind::Text ? text : text.trimmed();
    if (t.isEmpty()) {
        value = QVariant();
        if (column.Required)
            why = u"o valor é obrigatório"_s;
        return !column.Required;
    }
    double number = 0;
    QDate date;
    switch (column.Kind) {
    case TColumnKind::Text:
        if (column.Size > 0 && t.size() > column.Size) {
            why = u"o texto tem %1 caracteres; cabem %2"_s.arg(t.size()).arg(column.Size);
            return false;
        }
        value = t;
        return true;
    case TColumnKind::Day:
        if (!ParseDate(t, date)) {
            why = u"\"%1\" não é uma data (dd/mm/aaaa ou aaaa-mm-dd)"_s.arg(t);
            return false;
        }
        value = static_cast<qlonglong>(kOleEpoch.daysTo(date));
        return true;
    case TColumnKind::Moment:
        if (!ParseMoment(t, number)) {
            why = u"\"%1\" não é uma data com hora (dd/mm/aaaa hh:mm ou "
                  "aaaa-mm-ddThh:mm:ss)"_s.arg(t);
            return false;
        }
        value = number;
        return true;
    case TColumnKind::Integer: {
        bool ok = false;
        value = t.toLongLong(&ok);
        if (!ok)
            why = u"\"%1\" não é um número inteiro"_s.arg(t);
        return ok;
    }
    case TColumnKind::Hours:
        if (!(t.contains(u':') ? ParseClock(t, number) : ParseDecimal(t, number))) {
            why = u"\"%1\" não são horas (decimal, como 7,5, ou hh:mm)"_s.arg(t);
            return false;
        }
        if (number < 0 || number > kHoursInDay) {
            why = u"%1 horas num dia: as horas vão de 0 a 24"_s.arg(t);
            return false;
        }
        value = number;
        return true;
    case TColumnKind::Number:
        if (!ParseDecimal(t, number)) {
            why = u"\"%1\" não é um número: algarismos com no máximo uma vírgula ou um ponto, "
                  "que é sempre o decimal (sem separador de milhar: 1500 ou 1234,56)"_s.arg(t);
            return false;
        }
        value = number;
        return true;
    }
    return false;
}

} // namespace aph
