// A time tracker's per-entry export brought in as CSAs through a map: the
// shipped maps read exports of their product's shape, the entries of a
// day are summed, and what the map does not cover is refused.
#include "tests/support/serverfixture.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

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
        const QString path = dir.filePath(name);
        QFile f(path);
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(text);
        return path;
    }
    // The shipped map with the test's people and services appended.
    QString Map(const QString& product)
    {
        QFile shipped(QString::fromUtf8(APH_MAPS_DIR) + u'/' + product);
        EXPECT_TRUE(shipped.open(QIODevice::ReadOnly)) << product.toStdString();
        return File(product, shipped.readAll() + kSections);
    }
    int Import(const QString& map, const QString& file, QString& text)
    {
        QString out, err;
        const int code = RunServerCommand(
            {u"import"_s, m_db->Spec(), file, u"--mapa"_s, map, u"--operador"_s, u"ANA"_s}, &out,
            &err);
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
        QByteArray Export;
        std::vector<TExpectedCsa> Csas;
    } cases[] = {
        {"clockify.ini",
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
        ASSERT_EQ(Import(map, file, text), 0) << text.toStdString();
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
        ASSERT_EQ(Import(map, file, text), 0) << text.toStdString();
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
        {"Ana,ana@firma.com.br,Cliente X,Projeto Z,Treinamento,,No,2030-03-04,,,,01:00:00,",
         u"linha 3: o projeto \"Projeto Z\" do cliente \"Cliente X\" não está no mapa"_s},
        {"Ana,ana@firma.com.br,Cliente X,Projeto Y,,,No,2030-03-04,,,,22:30:00,",
         u"linha 3: as entradas de TF1 em 04/03/2030 no serviço TP1/01/001 somam 24:30 horas; "
         "um dia tem no máximo 24"_s},
        {"Ana,ana@firma.com.br,Cliente X,Projeto Y,,,No,2030-02-30,,,,01:00:00,",
         u"linha 3: a data \"2030-02-30\" não está no formato yyyy-MM-dd"_s},
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
