#include "server/firmdata/trackerimport.h"

#include "server/common/readfile.h"
#include "server/common/clock.h"
#include "server/firmdata/csvfile.h"
#include "server/firmdata/datereading.h"
#include "server/firmdata/tables.h"
#include "server/storage/pendingdays.h"
#include "server/storage/storage.h"

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QTime>

#include <cmath>
#include <map>
#include <tuple>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

// The width of an employee's code.
constexpr int kEmployeeChars = ColumnSize("FUNCIONARIO", "CDFUNC");

constexpr qint64 kSecondsInHour = 3600;
constexpr qint64 kSecondsInDay = 24 * kSecondsInHour;

// The [colunas] keys that name a column of the export.
const QStringList kColumnKeys = {u"data"_s,     u"inicio"_s,  u"fim"_s,
                                 u"data_fim"_s, u"duracao"_s, u"pessoa"_s,
                                 u"cliente"_s,  u"projeto"_s, u"tarefa"_s};
const QString kDateFormat = u"formato_data"_s;
const QString kDateConfirmed = u"formato_data_confirmado"_s;

// Names as the map and the export compare them: any case, spaces
// collapsed.
QString Folded(const QString& text)
{
    return text.simplified().toCaseFolded();
}

// A [servicos] key: client, project and maybe task, each folded.
QString ServiceKey(const QStringList& parts)
{
    QStringList folded;
    for (const QString& p : parts)
        folded << Folded(p);
    return folded.join(u'|');
}

QString Unquoted(QString text)
{
    text = text.trimmed();
    if (text.size() >= 2 && text.startsWith(u'"') && text.endsWith(u'"'))
        text = text.mid(1, text.size() - 2);
    return text;
}

// The map file: what the export's columns are, and who and what its
// people and projects are here.
struct TTrackerMap
{
    QString File;
    QHash<QString, QString> Columns; // a [colunas] key: the export's title
    QString DateFormat;
    bool DateConfirmed = false;       // no file needs to tell day and month apart
    QHash<QString, QString> People;   // a folded person: CDFUNC
    QHash<QString, QString> Services; // a ServiceKey: "P/V/S"
    QString Column(const QString& key) const { return Columns.value(key); }
};

void MapService(TTrackerMap& map, const QString& key, const QString& value,
                const std::function<void(const QString&)>& refuse)
{
    const QStringList parts = key.split(u'|');
    QStringList service = value.split(u'/');
    for (QString& s : service)
        s = s.trimmed();
    if (parts.size() < 2 || parts.size() > 3)
        refuse(u"\"%1\" não é \"Cliente | Projeto\" nem \"Cliente | Projeto | Tarefa\""_s.arg(key));
    else if (service.size() != 3 || service.contains(QString()))
        refuse(u"\"%1\" não é um serviço contratado (NRPROPOSFAS/NRVERPROPFAS/NRSERVCONT)"_s.arg(
            value));
    else if (map.Services.contains(ServiceKey(parts)))
        refuse(u"\"%1\" já está no mapa"_s.arg(key));
    else
        map.Services.insert(ServiceKey(parts), service.join(u'/'));
}

// One "key = value" line of the map, in its section.
void MapEntry(TTrackerMap& map, const QString& section, const QString& key, const QString& value,
              qint64 line, TImportReport& report)
{
    const auto refuse = [&](const QString& why) {
        report.Error(map.File, line, QString(), why);
    };
    if (section == u"colunas") {
        if (key == kDateFormat)
            map.DateFormat = value;
        else if (key == kDateConfirmed &&
                 QStringList{u"sim"_s, u"não"_s, u"nao"_s}.contains(value.toLower()))
            map.DateConfirmed = value.toLower() == u"sim";
        else if (key == kDateConfirmed)
            refuse(u"%1 é sim ou não, não \"%2\""_s.arg(kDateConfirmed, value));
        else if (kColumnKeys.contains(key))
            map.Columns.insert(key, value);
        else
            refuse(u"\"%1\" não é uma chave de [colunas] (%2, %3, %4)"_s.arg(
                key, kColumnKeys.join(u", "), kDateFormat, kDateConfirmed));
    } else if (section == u"pessoas") {
        if (value.isEmpty() || value.size() > kEmployeeChars)
            refuse(u"o funcionário de \"%1\" deve ter de 1 a %2 caracteres"_s.arg(key).arg(
                kEmployeeChars));
        else if (map.People.contains(Folded(key)))
            refuse(u"\"%1\" já está no mapa"_s.arg(key));
        else
            map.People.insert(Folded(key), value);
    } else if (section == u"servicos") {
        MapService(map, key, value, refuse);
    } else {
        refuse(u"a chave \"%1\" está fora das seções [colunas], [pessoas] e [servicos]"_s.arg(key));
    }
}

// What the map must say of the export's columns for an entry to be read.
void CheckColumns(const TTrackerMap& map, TImportReport& report)
{
    const auto missing = [&](const QString& key) {
        report.Error(map.File, 0, QString(), u"falta a chave \"%1\" na seção [colunas]"_s.arg(key));
    };
    for (const QString& key : {u"data"_s, kDateFormat, u"pessoa"_s, u"cliente"_s, u"projeto"_s})
        if ((key == kDateFormat ? map.DateFormat : map.Column(key)).isEmpty())
            missing(key);
    if (map.Column(u"duracao"_s).isEmpty() &&
        (map.Column(u"inicio"_s).isEmpty() || map.Column(u"fim"_s).isEmpty()))
        missing(u"duracao (ou inicio e fim)"_s);
    // A format that cannot write a date and read it back names no day.
    const QDate probe(2031, 12, 25);
    if (!map.DateFormat.isEmpty() &&
        QDate::fromString(probe.toString(map.DateFormat), map.DateFormat) != probe)
        report.Error(map.File, 0, QString(),
                     u"\"%1\" não é um formato de data (como dd/MM/yyyy ou yyyy-MM-dd)"_s.arg(
                         map.DateFormat));
}

// The largest map read: a map is a few dozen lines.
constexpr qint64 kMaxMapBytes = 256 * 1024;

// The map; a date format given on the command line replaces its own and
// confirms it.
TTrackerMap ReadMap(const QString& path, const QString& dateFormat, TImportReport& report)
{
    QFile file;
    OpenRegularFile(file, path, u"O mapa"_s);
    TTrackerMap map;
    map.File = QFileInfo(path).fileName();
    const QByteArray bytes = file.read(kMaxMapBytes + 1);
    if (bytes.size() > kMaxMapBytes)
        throw Exception(u"O mapa %1 passa de %2 bytes; um mapa tem poucas linhas."_s.arg(path).arg(
            kMaxMapBytes));
    QString text = QString::fromUtf8(bytes);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    const QStringList lines = text.split(u'\n');
    QString section;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            section = line.mid(1, line.size() - 2).trimmed().toLower();
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (equals <= 0)
            report.Error(map.File, i + 1, QString(), u"a linha não é \"chave = valor\""_s);
        else
            MapEntry(map, section, Unquoted(line.left(equals)), Unquoted(line.mid(equals + 1)),
                     i + 1, report);
    }
    if (!dateFormat.isEmpty()) {
        map.DateFormat = dateFormat;
        map.DateConfirmed = true;
    }
    CheckColumns(map, report);
    return map;
}

// A duration as hours: a decimal (comma or dot), h:mm or h:mm:ss; in
// seconds.
bool ParseSpan(const QString& text, qint64& seconds)
{
    static const QRegularExpression clock(uR"(^(\d+):([0-5]\d)(?::([0-5]\d))?$)"_s);
    if (const auto m = clock.match(text); m.hasMatch()) {
        seconds = m.captured(1).toLongLong() * kSecondsInHour + m.captured(2).toLongLong() * 60 +
                  m.captured(3).toLongLong();
        return true;
    }
    // Decimal hours read as every number of the firm's files is read.
    double hours = 0;
    if (!ParseDecimal(text, hours) || hours < 0)
        return false;
    seconds = std::llround(hours * kSecondsInHour);
    return true;
}

// A time of day, in 24 hours or with AM/PM, with or without seconds.
QTime ParseTime(const QString& text)
{
    const QString t = text.simplified().toUpper();
    for (const QString& form : {u"H:mm:ss"_s, u"H:mm"_s, u"HH:mm:ss"_s, u"HH:mm"_s, u"h:mm:ss AP"_s,
                                u"h:mm AP"_s, u"hh:mm:ss AP"_s, u"hh:mm AP"_s})
        if (const QTime time = QTime::fromString(t, form); time.isValid())
            return time;
    return {};
}

// Where the map's columns are in one export; -1 for those not named.
using TColumns = QHash<QString, qsizetype>;

QString FieldOf(const QStringList& fields, const TColumns& columns, const char* key)
{
    const qsizetype i = columns.value(QString::fromLatin1(key), -1);
    return i < 0 ? QString() : fields[i].trimmed();
}

QString ClockText(qint64 seconds)
{
    const qint64 minutes = (seconds + 30) / 60;
    return u"%1:%2"_s.arg(minutes / 60).arg(minutes % 60, 2, 10, QChar(u'0'));
}

// The entries of the exports, summed per employee, contracted service
// and day; handed on as the rows of a CSA file.
class TTrackerRows : public TImportRows
{
public:
    TTrackerRows(TStorage& storage, const TTrackerMap& map, TImportReport& report)
        : m_storage(storage), m_map(map), m_report(report),
          m_dates(map.DateFormat, map.DateConfirmed)
    {}
    // Reads one export and adds its entries to the days.
    void Read(const QString& path);
    // Refuses the days past 24 hours; the rest are the rows.
    void Close();
    qint64 Entries() const { return m_entries; }
    qsizetype Days() const { return m_sums.size(); }

    const QStringList& Header() const override { return m_header; }
    bool Next(QStringList& fields, qint64& row) override;
    TPlace Place(qint64 row) const override;

private:
    // The CSA an entry goes to: "P/V/S", CDFUNC, day.
    using TKey = std::tuple<QString, QString, QDate>;
    struct TSum
    {
        qint64 Seconds = 0;
        QString Company;
        TPlace First, Over; // the first entry; the one past 24 hours
        bool Refused = false;
    };

    bool FindColumns(const QStringList& header, const QString& file, TColumns& columns);
    bool ReadEntry(const QStringList& fields, const TColumns& columns, const TPlace& place);
    bool ReadSpan(const QString& duration, const QStringList& fields, const TColumns& columns,
                  const QDate& day, qint64 line, qint64& seconds, QString& why);
    bool FindService(const QStringList& fields, const TColumns& columns, QString& service,
                     QString& why) const;
    QString Company(const QString& employee);

    TStorage& m_storage;
    const TTrackerMap& m_map;
    TImportReport& m_report;
    const QStringList m_header = {u"NRPROPOSFAS"_s, u"NRVERPROPFAS"_s, u"NRSERVCONT"_s, u"CDFUNC"_s,
                                  u"DTSERVPREST"_s, u"CDEMPRESA"_s,    u"QTHRTRAB"_s};
    std::map<TKey, TSum> m_sums;
    std::map<TKey, TSum>::const_iterator m_next;
    QHash<QString, QString> m_companies; // CDFUNC: CDEMPRESA, empty if none
    std::vector<TPlace> m_places;        // of the rows handed on, from row 2
    qint64 m_entries = 0;
    TDateReading m_dates; // of the file being read
};

void TTrackerRows::Read(const QString& path)
{
    TCsvReader reader(path);
    const QString file = QFileInfo(path).fileName();
    TColumns columns;
    if (!FindColumns(reader.Header(), file, columns))
        return;
    m_dates.StartFile();
    QStringList fields;
    qint64 line = 0;
    while (reader.Next(fields, line)) {
        if (fields.size() != reader.Header().size())
            m_report.Error(file, line, QString(),
                           u"a linha tem %1 campos; o cabeçalho tem %2"_s.arg(fields.size())
                               .arg(reader.Header().size()));
        else if (ReadEntry(fields, columns, {file, line}))
            ++m_entries;
    }
    // The whole file is one reading: refused when its dates give two.
    QString why, column;
    if (m_dates.Ambiguous(why, line, column))
        m_report.Error(file, line, column, why);
}

bool TTrackerRows::FindColumns(const QStringList& header, const QString& file, TColumns& columns)
{
    bool found = true;
    for (const QString& key : kColumnKeys) {
        const QString title = m_map.Column(key);
        columns[key] = title.isEmpty() ? -1 : header.indexOf(title.trimmed().toUpper());
        if (!title.isEmpty() && columns[key] < 0) {
            m_report.Error(
                file, 1, QString(),
                u"a coluna \"%1\" (%2, no mapa) não está no cabeçalho"_s.arg(title, key));
            found = false;
        }
    }
    return found;
}

// Reads an entry and adds it to its day; false, with its errors reported,
// when the map does not cover it or a field is no value.
bool TTrackerRows::ReadEntry(const QStringList& fields, const TColumns& columns,
                             const TPlace& place)
{
    const auto field = [&](const char* key) {
        return FieldOf(fields, columns, key);
    };
    bool ok = true;
    const auto refuse = [&](const QString& why) {
        m_report.Error(place.File, place.Line, QString(), why);
        ok = false;
    };
    QString why;
    const QDate day = m_dates.Read(field("data"), place.Line, m_map.Column(u"data"_s), why);
    if (!day.isValid()) {
        m_report.Error(place.File, place.Line, m_map.Column(u"data"_s), why);
        ok = false;
    }
    qint64 seconds = 0;
    if (day.isValid() &&
        !ReadSpan(field("duracao"), fields, columns, day, place.Line, seconds, why))
        refuse(why);
    const QString person = field("pessoa");
    const QString employee = m_map.People.value(Folded(person));
    QString company;
    if (employee.isEmpty())
        refuse(u"a pessoa \"%1\" não está no mapa"_s.arg(person));
    else if ((company = Company(employee)).isEmpty())
        refuse(u"o funcionário %1, da pessoa \"%2\" no mapa, não está cadastrado"_s.arg(employee,
                                                                                        person));
    QString service;
    if (!FindService(fields, columns, service, why))
        refuse(why);
    if (!ok)
        return false;
    TSum& sum = m_sums[{service, employee, day}];
    if (sum.First.File.isEmpty()) {
        sum.First = place;
        sum.Company = company;
    }
    if (sum.Seconds <= kSecondsInDay && sum.Seconds + seconds > kSecondsInDay)
        sum.Over = place;
    sum.Seconds += seconds;
    return true;
}

// The entry's length: its duration when the map names one and the entry
// has it, else from its start to its end (the next day when the end comes
// before the start and no end date says otherwise).
bool TTrackerRows::ReadSpan(const QString& duration, const QStringList& fields,
                            const TColumns& columns, const QDate& day, qint64 line, qint64& seconds,
                            QString& why)
{
    if (!duration.isEmpty()) {
        if (ParseSpan(duration, seconds))
            return true;
        why = u"a duração \"%1\" não são horas (decimal, hh:mm ou hh:mm:ss)"_s.arg(duration);
        return false;
    }
    const auto field = [&](const char* key) {
        return FieldOf(fields, columns, key);
    };
    if (columns.value(u"inicio"_s, -1) < 0 || columns.value(u"fim"_s, -1) < 0) {
        why = u"a entrada não tem duração"_s;
        return false;
    }
    const QTime start = ParseTime(field("inicio")), end = ParseTime(field("fim"));
    if (!start.isValid() || !end.isValid()) {
        why = u"o início \"%1\" ou o fim \"%2\" não é uma hora (hh:mm, hh:mm:ss, com AM/PM ou "
              "não)"_s.arg(field("inicio"), field("fim"));
        return false;
    }
    const QDate endDay =
        field("data_fim").isEmpty()
            ? day.addDays(end < start ? 1 : 0)
            : m_dates.Read(field("data_fim"), line, m_map.Column(u"data_fim"_s), why);
    if (!endDay.isValid())
        return false;
    seconds = day.daysTo(endDay) * kSecondsInDay + start.secsTo(end);
    if (seconds < 0) {
        why = u"o fim vem antes do início"_s;
        return false;
    }
    return true;
}

// The contracted service of the entry's client and project, or of its
// task when the map has a line for it.
bool TTrackerRows::FindService(const QStringList& fields, const TColumns& columns, QString& service,
                               QString& why) const
{
    const auto field = [&](const char* key) {
        return FieldOf(fields, columns, key);
    };
    const QString client = field("cliente"), project = field("projeto"), task = field("tarefa");
    if (!task.isEmpty())
        service = m_map.Services.value(ServiceKey({client, project, task}));
    if (service.isEmpty())
        service = m_map.Services.value(ServiceKey({client, project}));
    if (service.isEmpty())
        why = u"o projeto \"%1\" do cliente \"%2\" não está no mapa"_s.arg(project, client);
    return !service.isEmpty();
}

// The employee's company, from FUNCIONARIO; empty for one not there.
QString TTrackerRows::Company(const QString& employee)
{
    auto it = m_companies.find(employee);
    if (it == m_companies.end()) {
        QSqlQuery& q =
            m_storage.Select(u"SELECT CDEMPRESA FROM FUNCIONARIO WHERE CDFUNC = ?"_s, {employee});
        it = m_companies.insert(employee, q.next() ? q.value(0).toString() : QString());
        TStorage::Done(q);
    }
    return *it;
}

void TTrackerRows::Close()
{
    for (auto& [key, sum] : m_sums) {
        if (sum.Seconds <= kSecondsInDay)
            continue;
        const auto& [service, employee, day] = key;
        m_report.Error(sum.Over.File, sum.Over.Line, QString(),
                       u"as entradas de %1 em %2 no serviço %3 somam %4 horas; um dia tem no "
                       "máximo 24"_s.arg(employee, day.toString(u"dd/MM/yyyy"_s), service,
                                         ClockText(sum.Seconds)));
        ++m_report.Of(u"CSA"_s).Refused;
        sum.Refused = true;
    }
    m_next = m_sums.cbegin();
}

bool TTrackerRows::Next(QStringList& fields, qint64& row)
{
    while (m_next != m_sums.cend() && m_next->second.Refused)
        ++m_next;
    if (m_next == m_sums.cend())
        return false;
    const auto& [key, sum] = *m_next++;
    const auto& [service, employee, day] = key;
    fields = service.split(u'/');
    fields << employee << day.toString(Qt::ISODate) << sum.Company
           << QString::number(static_cast<double>(sum.Seconds) / kSecondsInHour, 'g',
                              QLocale::FloatingPointShortest);
    m_places.push_back(sum.First);
    row = static_cast<qint64>(m_places.size()) + 1;
    return true;
}

TImportRows::TPlace TTrackerRows::Place(qint64 row) const
{
    if (row < 2 || row - 2 >= static_cast<qint64>(m_places.size()))
        return {m_map.File, 0};
    return m_places[static_cast<std::size_t>(row - 2)];
}

} // namespace

TImportReport ImportTrackerFiles(TStorage& storage, const QStringList& files,
                                 const QString& mapPath, bool dryRun, TImportStamp stamp,
                                 const QString& dateFormat)
{
    TImportReport report;
    if (stamp.When == 0)
        stamp.When = NowOle();
    TTrackerMap map;
    try {
        map = ReadMap(mapPath, dateFormat, report);
    } catch (const Exception& e) {
        report.Error(e.Message(), 0, QString(), QString());
    }
    if (!report.Ok())
        return report; // without its map no entry can be read
    TTransaction tx(storage, TTransaction::Mode::Write);
    storage.LockDataLoad();
    TakeImportOperator(storage, stamp, report);
    TTrackerRows rows(storage, map, report);
    for (const QString& path : files) {
        try {
            rows.Read(path);
        } catch (const EStorageError&) {
            throw;
        } catch (const Exception& e) {
            report.Error(e.Message(), 0, QString(), QString());
        }
    }
    rows.Close();
    ImportRows(storage, *FindFirmTable(u"CSA"_s), rows, report, stamp);
    RebuildPendingFixed(storage);
    report.Note(
        u"Controle de tempo: %1 entrada(s) lida(s), somada(s) em %2 CSA(s)."_s.arg(rows.Entries())
            .arg(rows.Days()));
    if (report.Ok() && !dryRun) {
        RecordImportRun(storage, report, files, mapPath, stamp);
        tx.Commit();
    }
    return report;
}

} // namespace aph
