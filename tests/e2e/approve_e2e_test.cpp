// The whole job at the real screen, under a real X server: confirm a filter,
// approve a day by typing in the grid, generate the CHT and find it listed.
// Every step goes through the Qt widgets, as mouse clicks and key presses.
#include "approval/cli_aph31500.h"
#include "filter/cli_aph31501.h"
#include "host/framework/dbquery.h"
#include "host/framework/environment.h"
#include "host/qt/formview.h"
#include "host/qt/gridview.h"
#include "host/qt/qtdesktop.h"
#include "tests/support/serverfixture.h"
#include "tests/support/text.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QMessageBox>
#include <QTest>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

class ApproveAtTheScreen : public ServerTest
{
protected:
    void SetUp() override
    {
        ServerTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        AddTestWorld();
        AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, Day(2030, 3, 11), 8);
        AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, Day(2030, 3, 12), 7.5);
        AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, Day(2030, 3, 16), 3);
        SetFormatSettings(TFormatSettings::ForLocale(u"pt_BR.UTF-8"_s));
        SetHostEnvironment(
            {u"ANA"_s, u"0001"_s, u"127.0.0.1"_s, m_server->Port(), m_token, m_db->Spec()});
        dtmDBGeral()->Open(m_db->Spec());
        window.resize(1100, 720);
        window.setCentralWidget(mdi);
        window.show();
        desktop.SetMdiArea(mdi);
        Cli_aph31500_Initialization();
        Cli_aph31501_Initialization();
    }
    void TearDown() override
    {
        Cli_aph31501_Finalization();
        Cli_aph31500_Finalization();
        dtmDBGeral()->Close();
        ServerTest::TearDown();
    }

    QWidget* Widget(TForm* form, TControl* control)
    {
        TFormView* view = desktop.ViewOf(form);
        return view ? view->WidgetOf(control) : nullptr;
    }
    void Click(TForm* form, TControl* control)
    {
        QWidget* w = Widget(form, control);
        ASSERT_NE(w, nullptr) << control->Name().toStdString();
        QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center());
    }
    TGridView* Grid(TDBGrid* grid)
    {
        return dynamic_cast<TGridView*>(Widget(frmAprovaHoras, grid));
    }
    // A click on a cell of a grid on screen.
    void ClickCell(TDBGrid* grid, int row, int column)
    {
        TGridView* view = Grid(grid);
        ASSERT_NE(view, nullptr) << grid->Name().toStdString();
        const QRect cell = view->visualRect(view->model()->index(row, column));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.center());
    }
    int RowOf(TDBGrid* grid, const char* field, const char* value)
    {
        TClientDataSet* ds = grid->DataSet();
        for (int i = 0; i < ds->RecordCount(); ++i) {
            TClientDataSet::ActiveRecordScope scope(*ds, i);
            if (ds->FieldByName(QString::fromUtf8(field))->AsString() == QString::fromUtf8(value))
                return i;
        }
        return -1;
    }
    void Shot(const char* name)
    {
        const QImage image = window.grab().toImage();
        EXPECT_GT(image.width(), 800);
        const QString dir = qEnvironmentVariable("APH_E2E_SHOTS");
        if (!dir.isEmpty())
            image.save(QDir(dir).filePath(QString::fromUtf8(name)));
    }
    // Answers the next message box with one of its buttons, once it is on
    // screen; the question it asked is kept.
    void AnswerNextQuestion(const char* button)
    {
        desktop.OnMessageShown = [this, button](QMessageBox& box) {
            desktop.OnMessageShown = nullptr;
            question = box.text();
            for (QAbstractButton* b : box.buttons())
                if (b->text().remove(u'&') == QString::fromUtf8(button))
                    b->click();
        };
    }

    QString question;
    QMainWindow window;
    QMdiArea* mdi = new QMdiArea;
    TQtDesktop desktop;
};

} // namespace

TEST_F(ApproveAtTheScreen, ApproveADayGenerateTheChtAndSeeItListed)
{
    // The filter: March 2030, CSAs without CHT and with CHTs of any situation.
    desktop.OnModalShown = [this](TForm& form, QWidget* frame) {
        auto& d = static_cast<TfrmFiltroCsa&>(form);
        // No window manager runs on this display: the dialog is made the
        // active window as one would make it so.
        QApplication::setActiveWindow(frame);
        EXPECT_TRUE(QTest::qWaitForWindowActive(frame));
        Click(&d, d.depDtInicial);
        QTest::keyClicks(Widget(&d, d.depDtInicial), u"01/03/2030"_s);
        Click(&d, d.depDtFinal);
        QTest::keyClicks(Widget(&d, d.depDtFinal), u"31/03/2030"_s);
        Click(&d, d.chbComCHTGerada);
        for (TCheckBox* box :
             {d.chbCHT_Pendente, d.chbCHT_Aprovado, d.chbCHT_Faturado, d.chbCHT_Nao_Faturar})
            Click(&d, box);
        if (!qEnvironmentVariableIsEmpty("APH_E2E_SHOTS"))
            Widget(&d, &d)->window()->grab().save(
                QDir(qEnvironmentVariable("APH_E2E_SHOTS")).filePath(u"e2e-filtro.png"_s));
        Click(&d, d.sbtConfirma);
    };
    IniProc();
    desktop.OnModalShown = nullptr;
    ASSERT_NE(frmAprovaHoras, nullptr);
    TfrmAprovaHoras* f = frmAprovaHoras;
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    ASSERT_EQ(desktop.Messages(), QStringList());
    EXPECT_EQ(Filtro.DtInicial, Day(2030, 3, 1));
    ASSERT_GT(f->cdsServPrest.RecordCount(), 0);

    // Service 001 of TP1, employee TF1: their days without CHT.
    ClickCell(f->dbgPadrao, RowOf(f->dbgPadrao, "NRSERVCONT", "001"), 0);
    ClickCell(f->dbgFuncionario, RowOf(f->dbgFuncionario, "CDFUNC", "TF1"), 1);
    ASSERT_EQ(f->cdsAuxCSA.RecordCount(), 3);
    ASSERT_EQ(f->cdsCHT.FieldByName(u"DSREFECHT"_s)->AsString(), u"CSA´s sem CHT Gerada"_s);

    // Approve 7 of the 7.5 hours of the 12th for billing: click the cell,
    // type, and move down, which posts and saves the day.
    ClickCell(f->dbgCSA, RowOf(f->dbgCSA, "QTHRTRAB", "7,5"),
              f->dbgCSA->ColumnIndex(u"QTHRAPROFATU"_s));
    QTest::keyClicks(Grid(f->dbgCSA), u"0700"_s);
    EXPECT_EQ(Grid(f->dbgCSA)->CellEditor()->text(), u"07:00"_s);
    EXPECT_FALSE(f->dbgPadrao->Enabled()) << "the lists above are locked while the day is in edit";
    Shot("e2e-editando.png");
    QTest::keyClick(Grid(f->dbgCSA), Qt::Key_Down);
    EXPECT_EQ(f->cdsAuxCSA.State(), TDataSetState::dsBrowse);
    EXPECT_EQ(
        m_db->Scalar(u"SELECT QTHRAPROFATU FROM CSA WHERE CDFUNC = 'TF1' AND DTSERVPREST = ?"_s,
                     {static_cast<qint64>(Day(2030, 3, 12))})
            .toDouble(),
        7.0);
    EXPECT_EQ(f->lblTotHoraFat->Caption(), u"07:00"_s);
    Shot("e2e-aprovado.png");

    // Generate: the question is answered at its message box.
    AnswerNextQuestion("Sim");
    Click(f, f->sbtGerarCHT);
    EXPECT_EQ(question, u"Confirma a geração da CHT para todas as CSA´s mostradas na tela?"_s);
    EXPECT_EQ(
        m_db->Scalar(u"SELECT COUNT(*) FROM CSA WHERE CDFUNC = 'TF1' AND NRSERVCONT = '001' AND "
                     "NRSEQUCHT IS NULL"_s)
            .toInt(),
        0);

    // The new CHT is listed, pending, with its days and their gaps.
    ClickCell(f->dbgPadrao, RowOf(f->dbgPadrao, "NRSERVCONT", "001"), 0);
    ClickCell(f->dbgFuncionario, RowOf(f->dbgFuncionario, "CDFUNC", "TF1"), 1);
    int generated = -1;
    for (int i = 0; i < f->cdsCHT.RecordCount(); ++i) {
        TClientDataSet::ActiveRecordScope scope(f->cdsCHT, i);
        if (!f->cdsCHT.FieldByName(u"NRSEQUCHT"_s)->AsString().isEmpty())
            generated = i;
    }
    ASSERT_GE(generated, 0) << "the generated CHT is listed";
    EXPECT_EQ(f->dbgCHT->CellText(generated, 0), u"Pendente"_s);
    ClickCell(f->dbgCHT, generated, 2);
    EXPECT_EQ(f->cdsAuxCSA.RecordCount(), 6) << "11th to 16th, the gaps filled";
    EXPECT_EQ(f->lblTotHoraFat->Caption(), u"18:00"_s) << "approvals filled at generation";
    Shot("e2e-cht-gerada.png");
    EXPECT_TRUE(desktop.Messages().isEmpty()) << desktop.Messages().join(u'\n').toStdString();
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
