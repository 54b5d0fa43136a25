// "Histórico do dia" and "Demonstrativo da CHT...": what the server keeps
// of a day, in a modal list; the statement of a CHT written to a file, its
// totals those of the screen's panel.
#include "approval/historicodia.h"
#include "tests/screens/world.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

struct DayHistory : MarchScreen
{
    void Open(const char* cht)
    {
        OpenMarch();
        OpenTf1(cht);
        UserFocus(f->dbgCSA);
    }
    // What the history window showed: its title, column titles and rows as
    // the grid shows them; closed with its button.
    struct TShown
    {
        QString Caption;
        QStringList Titles;
        QList<QStringList> Rows;
        int Result = 0;
    };
    TShown ShowHistory()
    {
        TShown shown;
        desktop->modal.push_back([&shown](TForm& form) {
            auto& h = dynamic_cast<TfrmHistoricoDia&>(form);
            shown.Caption = h.Caption();
            for (int c = 0; c < h.dbgHist->ColumnCount(); ++c)
                shown.Titles << h.dbgHist->Column(c)->TitleCaption();
            for (int r = 0; r < h.dbgHist->RowCount(); ++r) {
                QStringList cells;
                for (int c = 0; c < h.dbgHist->ColumnCount(); ++c)
                    cells << h.dbgHist->CellText(r, c);
                shown.Rows << cells;
            }
            UserClick(h.btnFechar);
        });
        UserClick(f->mnuHistoricoDia);
        EXPECT_TRUE(desktop->modal.empty()) << "the history showed as a modal form";
        return shown;
    }
};

} // namespace

TEST_F(DayHistory, TheDaysEditsAndItsChtShowOldestFirstInPortuguese)
{
    Open("");
    At(11, "QTHRAPROFATU"); // 8 hours worked, nothing approved
    UserType(*f, u"0700"_s);
    UserKey(*f, VK_DOWN);
    ASSERT_TRUE(desktop->errors.isEmpty()) << desktop->errors.join(u'\n').toStdString();
    desktop->answers = {mrYes};
    GoOnAtThePreview();
    UserClick(f->sbtGerarCHT);
    ASSERT_TRUE(desktop->errors.isEmpty()) << desktop->errors.join(u'\n').toStdString();
    const QString cht =
        m_db->Scalar(u"SELECT NRSEQUCHT FROM CSA WHERE CDFUNC = 'TF1' AND NRSERVCONT = '001' AND "
                     "DTSERVPREST = ?"_s,
                     {static_cast<qint64>(Day(2030, 3, 11))})
            .toString();
    ASSERT_FALSE(cht.isEmpty());
    OpenTf1(cht.toUtf8().constData());
    UserFocus(f->dbgCSA);
    At(11, "QTHRTRAB");

    const TShown shown = ShowHistory();
    EXPECT_TRUE(desktop->errors.isEmpty()) << desktop->errors.join(u'\n').toStdString();
    ASSERT_FALSE(CallsOf("GetHistCSA").isEmpty());
    EXPECT_EQ(CallsOf("GetHistCSA").last().Params,
              (QJsonArray{u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, Day(2030, 3, 11)}));
    EXPECT_EQ(shown.Caption, u"Histórico do dia 11/03/2030 — TF1 Teste Funcionário Um — "
                             "Cliente Teste Um / Desenvolvimento de sistemas"_s);
    EXPECT_EQ(
        shown.Titles,
        (QStringList{u"Data/hora"_s, u"Operador"_s, u"Evento"_s, u"Faturar antes"_s,
                     u"Faturar depois"_s, u"Comissão antes"_s, u"Comissão depois"_s,
                     u"Ocorrência antes"_s, u"Ocorrência depois"_s, u"CHT"_s, u"Situação antes"_s,
                     u"Situação depois"_s, u"Motivo"_s, u"Nota fiscal"_s}));
    ASSERT_EQ(shown.Rows.size(), 2) << "the edit, then the generation";
    const QStringList edit = shown.Rows[0].mid(2);
    EXPECT_EQ(edit, (QStringList{u"Aprovação alterada"_s, QString(), u"07:00"_s, QString(),
                                 u"08:00"_s, QString(), QString(), QString(), QString(), QString(),
                                 QString(), QString()}));
    EXPECT_TRUE(QRegularExpression(u"^\\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d:\\d\\d$"_s)
                    .match(shown.Rows[0][0])
                    .hasMatch())
        << shown.Rows[0][0].toStdString();
    EXPECT_FALSE(shown.Rows[0][1].isEmpty()) << "who did it";
    const QStringList generation = shown.Rows[1].mid(2);
    EXPECT_EQ(generation[0], u"CHT gerada"_s);
    EXPECT_EQ(generation[7], cht);
    EXPECT_EQ(generation[9], u"Pendente"_s);
    // The screen is as it was: browsing, nothing to save.
    EXPECT_EQ(f->cdsAuxCSA.State(), TDataSetState::dsBrowse);
    EXPECT_EQ(OleToDate(f->cdsAuxCSA.FieldByName(u"DTSERVPREST"_s)->AsDateTime()).day(), 11);
}

TEST_F(DayHistory, ADayWithoutEventsShowsAnEmptyList)
{
    Open("T0001");
    At(4, "QTHRTRAB");
    desktop->modal.clear();
    const TShown shown = ShowHistory();
    EXPECT_TRUE(desktop->errors.isEmpty()) << desktop->errors.join(u'\n').toStdString();
    EXPECT_TRUE(shown.Caption.startsWith(u"Histórico do dia 04/03/2030 — TF1 "_s))
        << shown.Caption.toStdString();
    EXPECT_TRUE(shown.Rows.isEmpty());
}

namespace {

// The statement against the totals panel, one CHT per way of charging:
// T0001 by the hour, T0002 a package, T0003 a fixed value.
struct Statement : DayHistory
{
    QTemporaryDir dir;

    void SetUp() override
    {
        DayHistory::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        m_db->Exec(u"UPDATE CSA SET QTHRAPROFATU = 7 WHERE CDFUNC = 'TF1' AND "
                   "NRSERVCONT = '001' AND DTSERVPREST = ?"_s,
                   {static_cast<qint64>(Day(2030, 3, 4))});
        AddCht(u"T0002"_s, u"TP1"_s, u"01"_s, u"002"_s, u"TF1"_s, u"01"_s, u"P"_s);
        m_db->Exec(u"UPDATE CSA SET NRSEQUCHT = 'T0002' WHERE NRPROPOSFAS = 'TP1' AND "
                   "NRSERVCONT = '002'"_s);
        AddCsa(u"TP1"_s, u"01"_s, u"002"_s, u"TF1"_s, u"01"_s, Day(2030, 3, 7), 5.25, u"T0002"_s,
               4.5, 5.25);
        AddCht(u"T0003"_s, u"TP2"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, u"P"_s);
        AddCsa(u"TP2"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, Day(2030, 3, 8), 6, u"T0003"_s, 6,
               6);
    }
    // A CHT of TF1 on a proposal's service.
    void OpenCht(const char* proposal, const char* service, const char* cht)
    {
        TClientDataSet& sp = f->cdsServPrest;
        int row = -1;
        for (int i = 0; i < sp.RecordCount() && row < 0; ++i) {
            TClientDataSet::ActiveRecordScope scope(sp, i);
            if (sp.FieldByName(u"NRPROPOSFAS"_s)->AsString() == QString::fromUtf8(proposal) &&
                sp.FieldByName(u"NRSERVCONT"_s)->AsString() == QString::fromUtf8(service))
                row = i;
        }
        ASSERT_GE(row, 0) << proposal << "/" << service;
        Input([&] { f->dbgPadrao->ClickCell(row, 0); });
        GoTo(f->dbgFuncionario, "CDFUNC", "TF1");
        GoTo(f->dbgCHT, "NRSEQUCHT", cht);
    }
    // The statement of the CHT on screen, as CSV, read back; version is
    // the line picked in the question which one (0 the client's).
    QStringList Csv(int version = 1)
    {
        const QString path = dir.filePath(u"dem.csv"_s);
        QFile::remove(path);
        desktop->stringPicks = {version};
        desktop->saveFiles = {path};
        UserClick(f->mnuDemonstrativoCHT);
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split(u"\r\n"_s);
    }
    // Hours and amount of the screen's panel, and of the statement's lines
    // that begin with "Total" and "Valor a faturar".
    static QStringList Panel(const TfrmAprovaHoras& f)
    {
        return {f.lblTotHoraTrab->Caption(), f.lblTotHoraFat->Caption(),
                f.lblTotHoraComis->Caption(), QString::number(f.nedVrFaturar->Value(), 'f', 2)};
    }
    static QStringList FromStatement(const QStringList& lines)
    {
        QStringList figures;
        static const QRegularExpression hours(u"^\\d+:\\d\\d$"_s);
        for (const QString& line : lines)
            if (line.startsWith(u"Total;"))
                for (const QString& cell : line.split(u';'))
                    if (hours.match(cell).hasMatch())
                        figures << cell;
        for (const QString& line : lines)
            if (line.startsWith(u"Valor a faturar;")) {
                QString amount = line.section(u';', 1);
                amount.remove(u"R$"_s).remove(u'.').replace(u',', u'.');
                figures << QString::number(amount.trimmed().toDouble(), 'f', 2);
            }
        return figures;
    }
};

} // namespace

TEST_F(Statement, ItsTotalsAndAmountAreThePanelsForEachWayOfCharging)
{
    OpenMarch();
    struct TCase
    {
        const char* Proposal;
        const char* Service;
        const char* Cht;
    };
    for (const TCase& c : {TCase{"TP1", "001", "T0001"}, TCase{"TP1", "002", "T0002"},
                           TCase{"TP2", "001", "T0003"}}) {
        SCOPED_TRACE(c.Cht);
        OpenCht(c.Proposal, c.Service, c.Cht);
        const QStringList lines = Csv();
        ASSERT_GT(lines.size(), 1) << desktop->errors.join(u'\n').toStdString();
        EXPECT_EQ(CallsOf("GetDemCHT").last().Params,
                  (QJsonArray{QString::fromUtf8(c.Cht), u"csv"_s, u"interno"_s}));
        EXPECT_EQ(FromStatement(lines), Panel(*f));
        EXPECT_NE(f->nedVrFaturar->Value(), 0);
        // The client's version: the billed hours and the amount, the same.
        const QStringList client = Csv(0);
        EXPECT_EQ(CallsOf("GetDemCHT").last().Params,
                  (QJsonArray{QString::fromUtf8(c.Cht), u"csv"_s, u"cliente"_s}));
        const QStringList panel = Panel(*f);
        EXPECT_EQ(FromStatement(client), (QStringList{panel[1], panel[3]}));
    }
    EXPECT_TRUE(desktop->errors.isEmpty()) << desktop->errors.join(u'\n').toStdString();
}

TEST_F(Statement, ThePdfIsWrittenWhereTheUserSaidAndTheStatusBarSaysWhere)
{
    m_db->Exec(u"UPDATE CHT SET IDSTATUSCHT = 'A' WHERE NRSEQUCHT = 'T0003'"_s);
    OpenMarch();
    OpenCht("TP1", "001", "T0001");
    const QString path = dir.filePath(u"T0001"_s);
    // Enter on the question which version takes the first line, the
    // client's.
    desktop->stringPicks = {0};
    desktop->saveFiles = {path + u".pdf"_s};
    UserClick(f->mnuDemonstrativoCHT);
    EXPECT_TRUE(desktop->errors.isEmpty()) << desktop->errors.join(u'\n').toStdString();
    EXPECT_EQ(desktop->questions.last(), u"Demonstrativo da CHT T0001: qual versão?"_s);
    ASSERT_EQ(desktop->saveFileTitles.size(), 1);
    EXPECT_EQ(desktop->saveFileTitles[0],
              u"Demonstrativo da CHT T0001|Demonstrativo em PDF (*.pdf);;Planilha CSV (*.csv)"_s);
    // T0001 is pending: the client's file is named a preview.
    EXPECT_EQ(desktop->saveFileSuggestions, (QStringList{u"CHT-T0001-cliente-previa.pdf"_s}));
    EXPECT_EQ(CallsOf("GetDemCHT").last().Params, (QJsonArray{u"T0001"_s, u"pdf"_s, u"cliente"_s}));
    QFile file(path + u".pdf"_s);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().startsWith("%PDF-"));
    EXPECT_EQ(desktop->statuses.last(),
              u"Demonstrativo da CHT T0001 salvo em %1"_s.arg(path + u".pdf"_s));

    // The user gives up, at the version or at the file: nothing asked of
    // the server. The internal version proposes its own name.
    const auto asked = CallsOf("GetDemCHT").size();
    UserClick(f->mnuDemonstrativoCHT);
    desktop->stringPicks = {1};
    UserClick(f->mnuDemonstrativoCHT);
    EXPECT_EQ(desktop->saveFileSuggestions.last(), u"CHT-T0001-interno.pdf"_s);
    EXPECT_EQ(CallsOf("GetDemCHT").size(), asked);
    // An approved CHT's is the statement itself.
    OpenCht("TP2", "001", "T0003");
    desktop->stringPicks = {0};
    UserClick(f->mnuDemonstrativoCHT);
    EXPECT_EQ(desktop->saveFileSuggestions.last(), u"CHT-T0003-cliente.pdf"_s);
    EXPECT_EQ(CallsOf("GetDemCHT").size(), asked);

    // The row of the CSAs without CHT has no statement.
    OpenCht("TP1", "001", "");
    UserClick(f->mnuDemonstrativoCHT);
    EXPECT_EQ(desktop->questions.last(), f->msgPadrao->Msg(u"DEM_SEM_CHT"_s));
    EXPECT_EQ(CallsOf("GetDemCHT").size(), asked);
}

TEST_F(Statement, TheServersRefusalIsShownAndNoFileIsWritten)
{
    OpenMarch();
    OpenCht("TP1", "001", "T0001");
    // The CHT is undone meanwhile.
    m_db->Exec(u"UPDATE CSA SET NRSEQUCHT = NULL WHERE NRSEQUCHT = 'T0001'"_s);
    m_db->Exec(u"DELETE FROM CHT WHERE NRSEQUCHT = 'T0001'"_s);
    const QString path = dir.filePath(u"dem.csv"_s);
    desktop->stringPicks = {0};
    desktop->saveFiles = {path};
    UserClick(f->mnuDemonstrativoCHT);
    ASSERT_EQ(desktop->errors.size(), 1);
    EXPECT_TRUE(desktop->errors[0].contains(u"T0001"_s)) << desktop->errors[0].toStdString();
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_TRUE(desktop->statuses.isEmpty());
}

// An occurrence code lives in several groups ("01" in three): the history
// names it by the day's group, with its description.
TEST_F(DayHistory, AnOccurrenceShowsItsGroupCodeAndDescription)
{
    m_db->Exec(u"UPDATE CSA SET CDOCORR = '01', CDGRPOCOR = '02' WHERE CDFUNC = 'TF1' AND "
               "NRSERVCONT = '001' AND DTSERVPREST = ?"_s,
               {static_cast<qint64>(Day(2030, 3, 12))});
    Open("");
    At(12, "QTHRAPROFATU");
    UserType(*f, u"0700"_s);
    UserKey(*f, VK_UP);
    ASSERT_TRUE(desktop->errors.isEmpty()) << desktop->errors.join(u'\n').toStdString();
    At(12, "QTHRTRAB");
    const TShown shown = ShowHistory();
    ASSERT_EQ(shown.Rows.size(), 1);
    EXPECT_EQ(shown.Rows[0][7], u"02/01 – Hora extra não autorizada"_s) << "before";
    EXPECT_EQ(shown.Rows[0][8], u"02/01 – Hora extra não autorizada"_s) << "after";
}
