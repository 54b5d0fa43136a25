// A time tracker's per-entry export brought in as CSAs through a map: the
// shipped maps read exports of their product's shape, the entries of a
// day are summed, and what the map does not cover is refused.
#include "tests/support/serverfixture.h"

#include <QDate>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cmath>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

// The firm's part of a map: who its people are, what its projects are.
const QByteArray kSections = "\n[pessoas]\n"
                             "ana@firma.com.br = TF1\n"
                             "Bruno@Firma.com.br = TF2\n"
                             "[servicos]\n"
                             "Cliente X | Projeto Y = TP1/01/001\n"
                             "cliente x | projeto y | Treinamento = TP1/01/002\n"
                             "Cliente X | Projeto W = TP1/01/009\n";

class TrackerImportTest : public ServerTest
{
protected:
    QTemporaryDir dir;

    void SetUp() override
    {
        ServerTest::SetUp();
        AddTestWorld();
    }
    QString File(const QString& name, const QByteArray& text)
    {
        return WriteTestFile(dir.path(), name, text);
    }
    // The shipped map with the test's people and services appended.
    QString Map(const QString& product)
    {
        QFile shipped(QString::fromUtf8(APH_MAPS_DIR) + u'/' + product);
        EXPECT_TRUE(shipped.open(QIODevice::ReadOnly)) << product.toStdString();
        return File(product, shipped.readAll() + kSections);
    }
    int Import(const QString& map, const QString& file, QString& text,
               const QStringList& extra = {})
    {
        QString out, err;
        const int code = RunServerCommand(QStringList{u"import"_s, m_db->Spec(), file, u"--mapa"_s,
                                                      map, u"--operador"_s, u"ANA"_s} +
                                              extra,
                                          &out, &err);
        text = out + err;
        return code;
    }
    // A column of the CSA of TP1/01 of the employee, service and day of
    // March 2030.
    QVariant Csa(const char* column, const char* employee, const char* service, int day)
    {
        return m_db->Scalar(u"SELECT %1 FROM CSA WHERE NRPROPOSFAS = 'TP1' AND NRSERVCONT = ? "
                            "AND CDFUNC = ? AND DTSERVPREST = ?"_s.arg(QString::fromLatin1(column)),
                            {QString::fromLatin1(service), QString::fromLatin1(employee),
                             static_cast<qint64>(Day(2030, 3, day))});
    }
};

struct TExpectedCsa
{
    const char* Employee;
    const char* Company; // the employee's, from FUNCIONARIO
    const char* Service;
    int Day; // of March 2030
    qint64 Seconds;
};

} // namespace

// Each product's shape through its shipped map: two entries of a day
// summed, a task with a line of its own and one going to its project, a
// duration as hh:mm:ss or from start to end past midnight (12-hour clock),
// people in any case. The same export again changes nothing.
TEST_F(TrackerImportTest, ShippedMapsSumTheEntriesOfEachDay)
{
    const struct
    {
        const char* Map;
        QStringList Extra; // the export's days are all 12 or less: the format confirmed
        QByteArray Export;
        std::vector<TExpectedCsa> Csas;
    } cases[] = {
        {"clockify.ini",
         {u"--formato-data"_s, u"MM/dd/yyyy"_s},
         "\xEF\xBB\xBF"
         "Project,Client,Description,Task,User,Email,Tags,Billable,Start Date,Start Time,End "
         "Date,End Time,Duration (h),Duration (decimal),Billable Rate (USD),Billable Amount (USD)\n"
         "Projeto Y,Cliente X,Reunião,,Ana Souza,ana@firma.com.br,,Yes,03/02/2030,09:00:00 AM,"
         "03/02/2030,11:30:00 AM,02:30:00,2.50,0.00,0.00\n"
         "Projeto Y,Cliente X,\"Código, testes\",,Ana Souza,ANA@firma.com.br,,Yes,03/02/2030,"
         "01:00:00 PM,03/02/2030,02:15:00 PM,01:15:00,1.25,0.00,0.00\n"
         "Projeto Y,Cliente X,Curso,Treinamento,Bruno Lima,bruno@firma.com.br,,No,03/02/2030,"
         "10:00:00 PM,03/03/2030,01:30:00 AM,,,0.00,0.00\n"
         "Projeto Y,Cliente X,,Outra,Ana Souza,ana@firma.com.br,,Yes,03/03/2030,08:00:00 AM,"
         "03/03/2030,08:45:00 AM,00:45:00,0.75,0.00,0.00\n",
         {{"TF1", "01", "001", 2, 13500},
          {"TF2", "02", "002", 2, 12600},
          {"TF1", "01", "001", 3, 2700}}},
        {"toggl.ini",
         {},
         "User,Email,Client,Project,Task,Description,Billable,Start date,Start time,End date,End "
         "time,Duration,Tags\n"
         "Ana Souza,ana@firma.com.br,Cliente X,Projeto Y,,Análise,Yes,2030-03-04,08:00:00,"
         "2030-03-04,09:20:30,01:20:30,\n"
         "Ana Souza,ana@firma.com.br,Cliente X,Projeto Y,Treinamento,Curso,Yes,2030-03-04,"
         "10:00:00,2030-03-04,10:40:00,00:40:00,\n"
         "Ana Souza,ana@firma.com.br,Cliente X,Projeto Y,Treinamento,Curso,Yes,2030-03-04,"
         "14:00:00,2030-03-04,15:05:15,01:05:15,\"a, b\"\n"
         "Bruno Lima,bruno@firma.com.br,Cliente X,Projeto Y,,,No,2030-03-04,09:00:00,"
         "2030-03-04,16:59:59,07:59:59,\n",
         {{"TF1", "01", "001", 4, 4830},
          {"TF1", "01", "002", 4, 6315},
          {"TF2", "02", "001", 4, 28799}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Map);
        const QString map = Map(QString::fromLatin1(c.Map));
        const QString file = File(u"entradas.csv"_s, c.Export);
        QString text;
        ASSERT_EQ(Import(map, file, text, c.Extra), 0) << text.toStdString();
        EXPECT_TRUE(text.contains(u"Controle de tempo: 4 entrada(s) lida(s), somada(s) em 3 "
                                  "CSA(s)."_s))
            << text.toStdString();
        for (const TExpectedCsa& e : c.Csas) {
            SCOPED_TRACE(std::string(e.Employee) + " " + e.Service);
            EXPECT_NEAR(Csa("QTHRTRAB", e.Employee, e.Service, e.Day).toDouble(),
                        static_cast<double>(e.Seconds) / 3600, 1e-9);
            EXPECT_EQ(Csa("CDEMPRESA", e.Employee, e.Service, e.Day).toString(),
                      QString::fromLatin1(e.Company));
            // Who brought the day in: the import's operator.
            EXPECT_EQ(Csa("CDOPERINCL", e.Employee, e.Service, e.Day).toString(), u"ANA"_s);
            EXPECT_FALSE(Csa("DTINCLUSAO", e.Employee, e.Service, e.Day).isNull());
        }
        ASSERT_EQ(Import(map, file, text, c.Extra), 0) << text.toStdString();
        EXPECT_TRUE(text.contains(QRegularExpression(u"CSA +0 +0 +3 +0"_s))) << text.toStdString();
    }
}

// What the map does not cover, or the checks of a CSA refuse, is reported
// with the export's line, and nothing of the export is written: line 2 is
// a good entry each time.
TEST_F(TrackerImportTest, EntriesTheMapOrTheChecksRefuseWriteNothing)
{
    AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF2"_s, u"02"_s, Day(2030, 3, 5), 4, {}, 4);
    const QByteArray head = "User,Email,Client,Project,Task,Description,Billable,Start date,"
                            "Start time,End date,End time,Duration,Tags\n"
                            "Ana,ana@firma.com.br,Cliente X,Projeto Y,,,No,2030-03-04,,,,"
                            "02:00:00,\n";
    const struct
    {
        QByteArray Line;
        QString Error;
    } cases[] = {
        {"Carla,carla@firma.com.br,Cliente X,Projeto Y,,,No,2030-03-04,,,,01:00:00,",
         u"linha 3: a pessoa \"carla@firma.com.br\" não está no mapa"_s},
        // What the report quotes of a field stays on its line, control
        // characters shown as escapes.
        {"Carla,\"carla@firma.com.br\nforjada\x1b[31m\",Cliente X,Projeto Y,,,No,2030-03-04,,,,"
         "01:00:00,",
         u"linha 3: a pessoa \"carla@firma.com.br\\x0aforjada\\x1b[31m\" não está no mapa"_s},
        {"Ana,ana@firma.com.br,Cliente X,Projeto Z,Treinamento,,No,2030-03-04,,,,01:00:00,",
         u"linha 3: o projeto \"Projeto Z\" do cliente \"Cliente X\" não está no mapa"_s},
        {"Ana,ana@firma.com.br,Cliente X,Projeto Y,,,No,2030-03-04,,,,22:30:00,",
         u"linha 3: as entradas de TF1 em 04/03/2030 no serviço TP1/01/001 somam 24:30 horas; "
         "um dia tem no máximo 24"_s},
        {"Ana,ana@firma.com.br,Cliente X,Projeto Y,,,No,2030-02-30,,,,01:00:00,",
         u"linha 3, coluna Start date: a data \"2030-02-30\" não está no formato yyyy-MM-dd"_s},
        {"Ana,ana@firma.com.br,Cliente X,Projeto Y,,,No,2030-03-06,,,,1h30,",
         u"linha 3: a duração \"1h30\" não são horas (decimal, hh:mm ou hh:mm:ss)"_s},
        {"Ana,ana@firma.com.br,Cliente X,Projeto W,,,No,2030-03-06,,,,01:00:00,",
         u"linha 3, coluna NRPROPOSFAS: o serviço contratado TP1/01/009 não está cadastrado"_s},
        {"Bruno,bruno@firma.com.br,Cliente X,Projeto Y,,,No,2030-03-05,,,,05:00:00,",
         u"linha 3, coluna DTSERVPREST: conflito: a CSA de 05/03/2030 já teve as aprovações "
         "definidas; a importação não a altera"_s},
    };
    const QString map = Map(u"toggl.ini"_s);
    for (const auto& c : cases) {
        const QString file = File(u"entradas.csv"_s, head + c.Line + '\n');
        QString text;
        EXPECT_EQ(Import(map, file, text), 1);
        EXPECT_TRUE(text.contains(u"entradas.csv, "_s + c.Error) &&
                    text.contains(u"1 erro(s): nada foi gravado"_s))
            << c.Line.toStdString() << "\n"
            << text.toStdString();
        EXPECT_EQ(m_db->Scalar(u"SELECT COUNT(*) FROM CSA WHERE NRPROPOSFAS = 'TP1'"_s).toInt(), 1);
    }
}

namespace {

// A Clockify export whose dates are given line by line: Ana's three
// entries and Bruno's one, each "date,hh:mm:ss" (start and end dates the
// same).
QByteArray ClockifyExport(const std::vector<std::pair<const char*, const char*>>& entries)
{
    QByteArray text = "Project,Client,Description,Task,User,Email,Tags,Billable,Start Date,Start "
                      "Time,End Date,End Time,Duration (h),Duration (decimal),Billable Rate "
                      "(USD),Billable Amount (USD)\n";
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const QByteArray person = i == 2 ? "bruno@firma.com.br" : "ana@firma.com.br";
        const QByteArray date = entries[i].first;
        text += "Projeto Y,Cliente X,,,Pessoa," + person + ",,Yes," + date + ",09:00:00 AM," +
                date + ",10:00:00 AM," + entries[i].second + ",,0.00,0.00\n";
    }
    return text;
}

// "  TF1 Teste Funcionário Um — 03/2030: 2 dias, 3:15 h", the report's
// hours of an employee in a month.
const QRegularExpression
    kMonthLine(u"^  (\\S+) (.+) — (\\d\\d)/(\\d{4}): (\\d+) dias?, (\\d+):(\\d\\d) h$"_s,
               QRegularExpression::MultilineOption);

// The "CDFUNC MM/yyyy" of the report's month lines, each line's name, days
// and hours held against a bare count of the CSAs in the database when
// written; and nothing written beyond them (nothing at all when not
// written).
QStringList CheckedMonths(TTestDatabase& db, const QString& report, bool written)
{
    QStringList months;
    qint64 listedDays = 0;
    for (const auto& m : kMonthLine.globalMatch(report)) {
        SCOPED_TRACE(m.captured(0).toStdString());
        const QString employee = m.captured(1);
        const int month = m.captured(3).toInt(), year = m.captured(4).toInt();
        months << employee + u' ' + m.captured(3) + u'/' + m.captured(4);
        listedDays += m.captured(5).toLongLong();
        EXPECT_EQ(
            m.captured(2),
            db.Scalar(u"SELECT NMFUNC FROM FUNCIONARIO WHERE CDFUNC = ?"_s, {employee}).toString());
        if (!written)
            continue;
        const QDate next = QDate(year, month, 1).addMonths(1);
        const QList<QVariantList> rows =
            db.Rows(u"SELECT COUNT(DISTINCT DTSERVPREST), SUM(QTHRTRAB) FROM CSA WHERE CDFUNC = ? "
                    "AND DTSERVPREST >= ? AND DTSERVPREST < ?"_s,
                    {employee, static_cast<qint64>(Day(year, month, 1)),
                     static_cast<qint64>(Day(next.year(), next.month(), 1))});
        EXPECT_EQ(rows.size(), 1);
        if (rows.size() != 1)
            continue;
        EXPECT_EQ(m.captured(5).toLongLong(), rows[0][0].toLongLong());
        EXPECT_EQ(m.captured(6).toLongLong() * 60 + m.captured(7).toLongLong(),
                  std::llround(rows[0][1].toDouble() * 60));
    }
    const qint64 writtenDays =
        db.Scalar(u"SELECT COUNT(*) FROM (SELECT DISTINCT CDFUNC, DTSERVPREST FROM CSA WHERE "
                  "NRPROPOSFAS = 'TP1') D"_s)
            .toLongLong();
    EXPECT_EQ(writtenDays, written ? listedDays : 0);
    return months;
}

} // namespace

// A date column is read one way over the whole file: a file whose days
// all fit both dd/MM and MM/dd is refused with both readings of its first
// date unless the map or the command line confirms the format; a value
// that fits only the other reading is refused by its line; what is written
// is listed by employee and month, and each of those lines agrees with a
// bare count of the CSAs written.
TEST_F(TrackerImportTest, DatesAreReadOneWayAndTheReportSaysWhichMonths)
{
    const std::vector<std::pair<const char*, const char*>> ambiguous = {{"03/11/2030", "02:30:00"},
                                                                        {"04/02/2030", "01:15:00"},
                                                                        {"03/11/2030", "03:00:00"},
                                                                        {"03/12/2030", "00:45:00"}};
    const std::vector<std::pair<const char*, const char*>> decided = {{"03/13/2030", "01:00:00"},
                                                                      {"03/11/2030", "02:00:00"}};
    const std::vector<std::pair<const char*, const char*>> conflicting = {
        {"03/13/2030", "01:00:00"}, {"13/03/2030", "02:00:00"}};
    QFile shipped(QString::fromUtf8(APH_MAPS_DIR) + u"/clockify.ini"_s);
    ASSERT_TRUE(shipped.open(QIODevice::ReadOnly));
    const QByteArray text = shipped.readAll();
    ASSERT_TRUE(text.contains("\nformato_data_confirmado = não\n"));
    const QString map = Map(u"clockify.ini"_s);
    QByteArray confirmedText = text;
    confirmedText.replace("\nformato_data_confirmado = não\n", "\nformato_data_confirmado = sim\n");
    const QString confirmed = File(u"confirmado.ini"_s, confirmedText + kSections);
    const struct
    {
        const char* Name;
        std::vector<std::pair<const char*, const char*>> Entries;
        QString Map;
        QStringList Extra;
        int Code;
        QStringList Says;   // what the output holds
        QStringList Months; // "CDFUNC MM/yyyy" of the report, in its order
        bool Written;
    } cases[] = {
        {"ambiguous, shipped map",
         ambiguous,
         map,
         {},
         1,
         {u"entradas.csv, linha 2, coluna Start Date: nenhuma data do arquivo tem o dia acima de "
          "12"_s,
          u"03/11/2030: 11 de março (MM/dd) ou 3 de novembro (dd/MM)"_s, u"SERIAM INSERIDAS"_s,
          u"1 erro(s): nada foi gravado"_s},
         {u"TF1 03/2030"_s, u"TF1 04/2030"_s, u"TF2 03/2030"_s},
         false},
        {"ambiguous, confirmed by the map",
         ambiguous,
         confirmed,
         {},
         0,
         {u"Horas gravadas, por funcionário e mês:"_s, u"Importação concluída."_s},
         {u"TF1 03/2030"_s, u"TF1 04/2030"_s, u"TF2 03/2030"_s},
         true},
        {"ambiguous, dd/MM on the command line",
         ambiguous,
         map,
         {u"--formato-data"_s, u"dd/MM/yyyy"_s},
         0,
         {u"Importação concluída."_s},
         {u"TF1 02/2030"_s, u"TF1 11/2030"_s, u"TF1 12/2030"_s, u"TF2 11/2030"_s},
         true},
        {"ambiguous, confirmed, dry run",
         ambiguous,
         confirmed,
         {u"--dry-run"_s},
         0,
         {u"Horas que seriam gravadas, por funcionário e mês:"_s, u"SERIAM INSERIDAS"_s},
         {u"TF1 03/2030"_s, u"TF1 04/2030"_s, u"TF2 03/2030"_s},
         false},
        {"a day past 12 decides", decided, map, {}, 0, {}, {u"TF1 03/2030"_s}, true},
        {"a value only the other reading fits",
         conflicting,
         confirmed,
         {},
         1,
         {u"entradas.csv, linha 3, coluna Start Date: a data \"13/03/2030\" não está no formato "
          "MM/dd/yyyy; lida como dd/MM/yyyy seria 13 de março"_s},
         {u"TF1 03/2030"_s},
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        m_db->Exec(u"DELETE FROM CSA WHERE NRPROPOSFAS = 'TP1'"_s);
        const QString file = File(u"entradas.csv"_s, ClockifyExport(c.Entries));
        QString out, err;
        EXPECT_EQ(RunServerCommand(QStringList{u"import"_s, m_db->Spec(), file, u"--mapa"_s, c.Map,
                                               u"--operador"_s, u"ANA"_s} +
                                       c.Extra,
                                   &out, &err),
                  c.Code);
        const QString report = out + err;
        for (const QString& says : c.Says)
            EXPECT_TRUE(report.contains(says)) << says.toStdString() << "\n"
                                               << report.toStdString();
        EXPECT_EQ(CheckedMonths(*m_db, report, c.Written), c.Months) << report.toStdString();
    }
    // A CSA file of the firm's own is listed the same way: two services on
    // one day are one day.
    m_db->Exec(u"DELETE FROM CSA WHERE NRPROPOSFAS = 'TP1'"_s);
    const QString csas = File(u"csa.csv"_s, "NRPROPOSFAS;NRVERPROPFAS;NRSERVCONT;CDFUNC;"
                                            "DTSERVPREST;CDEMPRESA;QTHRTRAB\n"
                                            "TP1;01;001;TF2;02/05/2030;02;4,5\n"
                                            "TP1;01;002;TF2;02/05/2030;02;1\n"
                                            "TP1;01;001;TF2;03/05/2030;02;02:00\n");
    QString out, err;
    ASSERT_EQ(
        RunServerCommand({u"import"_s, m_db->Spec(), csas, u"--operador"_s, u"ANA"_s}, &out, &err),
        0)
        << err.toStdString();
    EXPECT_TRUE(out.contains(u"TF2 Teste Funcionário Dois — 05/2030: 2 dias, 7:30 h"_s))
        << out.toStdString();
    EXPECT_EQ(CheckedMonths(*m_db, out, true), QStringList{u"TF2 05/2030"_s});
}
