// The whole job at the real screen, under a real X server: confirm a filter,
// approve a day by typing in the grid, generate the CHT and find it listed;
// and a day approved with an occurrence from the keyboard alone. Every step
// goes through the Qt widgets, as mouse clicks and key presses.
#include "approval/cli_aph31500.h"
#include "approval/previacht.h"
#include "filter/cli_aph31501.h"
#include "host/framework/dbquery.h"
#include "host/framework/environment.h"
#include "host/qt/formview.h"
#include "host/qt/gridview.h"
#include "host/qt/qtdesktop.h"
#include "tests/e2e/screenfixture.h"
#include "tests/support/serverfixture.h"
#include "tests/support/text.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
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

class ApproveAtTheScreen : public ScreenAtTheDesktop
{
protected:
    void AddDays() override
    {
        AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, Day(2030, 3, 11), 8);
        AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, Day(2030, 3, 12), 7.5);
        AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, Day(2030, 3, 16), 3);
    }
    void Click(TForm* form, TControl* control)
    {
        QWidget* w = Widget(form, control);
        ASSERT_NE(w, nullptr) << control->Name().toStdString();
        QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center());
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

    // The keyboard: a key goes where the Qt focus is, as a person's does.
    void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr) << "a key with the focus nowhere";
        ++keys;
        QTest::keyClick(focus, key, modifiers);
    }
    void Type(const QString& text)
    {
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr) << "typing with the focus nowhere";
        keys += static_cast<int>(text.size());
        QTest::keyClicks(focus, text);
    }
    // Presses a key until the form's focus is on a control; a few presses at
    // most, as the form has few controls.
    void KeyTo(TForm& form, TControl* control, Qt::Key key, Qt::KeyboardModifiers modifiers)
    {
        for (int i = 0; i < 20 && form.ActiveControl() != control; ++i)
            Key(key, modifiers);
        ASSERT_EQ(form.ActiveControl(), control) << control->Name().toStdString();
    }
    // Arrows down or up a grid to the row with a value.
    void ArrowToRow(TDBGrid* grid, const char* field, const char* value)
    {
        const int row = RowOf(grid, field, value);
        ASSERT_GE(row, 0) << value;
        TClientDataSet* ds = grid->DataSet();
        for (int i = 0; i < 50 && ds->CurrentIndex() != row; ++i)
            Key(ds->CurrentIndex() < row ? Qt::Key_Down : Qt::Key_Up);
        ASSERT_EQ(ds->CurrentIndex(), row) << value;
    }
    // Arrows across a grid to the column of a field.
    void ArrowToColumn(TDBGrid* grid, const char* field)
    {
        const int column = grid->ColumnIndex(QString::fromUtf8(field));
        for (int i = 0; i < 20 && grid->SelectedIndex() != column; ++i)
            Key(grid->SelectedIndex() < column ? Qt::Key_Right : Qt::Key_Left);
        ASSERT_EQ(grid->SelectedIndex(), column) << field;
    }

    QString question;
    int keys = 0; // every key event Key and Type sent
};

// One employee's month as a clerk finds it: TF1's 22 working days of
// September 2025 on TP1/01/001, 8 hours each, none approved; on the 9th and
// the 17th the time tracker recorded 6 commission hours and no occurrence.
// The database holds nothing else, so that the filter as it opens shows
// this month.
class AMonthByKeyboard : public ApproveAtTheScreen
{
protected:
    void AddDays() override
    {
        m_db->Exec(u"DELETE FROM CSA"_s);
        m_db->Exec(u"DELETE FROM CHT"_s);
        for (QDate d(2025, 9, 1); d.month() == 9; d = d.addDays(1)) {
            if (d.dayOfWeek() > 5)
                continue;
            const bool occurrence = d.day() == 9 || d.day() == 17;
            AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s,
                   Day(d.year(), d.month(), d.day()), 8, {}, {},
                   occurrence ? QVariant(6.0) : QVariant());
            ++workDays;
        }
    }
    // The window a modal form or dialog opened becomes the active one, as
    // a window manager would make it.
    static void Activate(QWidget* w)
    {
        QApplication::setActiveWindow(w);
        EXPECT_TRUE(QTest::qWaitForWindowActive(w));
    }
    int workDays = 0;
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

    // Generate: what would be billed shows first, scrolled and left from
    // the keyboard; then the question is answered at its message box.
    QString previa;
    desktop.OnModalShown = [this, &previa](TForm& form, QWidget* frame) {
        auto& p = dynamic_cast<TfrmPreviaCHT&>(form);
        QApplication::setActiveWindow(frame);
        previa = p.lblResumo->Caption() + u'\n' + p.lblPendentes->Caption();
        if (!qEnvironmentVariableIsEmpty("APH_E2E_SHOTS"))
            frame->grab().save(
                QDir(qEnvironmentVariable("APH_E2E_SHOTS")).filePath(u"previa-cht.png"_s));
        QTest::keyClick(Widget(&p, p.dbgPrevia), Qt::Key_Down);
        QTest::mouseClick(Widget(&p, p.btnContinuar), Qt::LeftButton);
    };
    AnswerNextQuestion("Sim");
    Click(f, f->sbtGerarCHT);
    desktop.OnModalShown = nullptr;
    EXPECT_TRUE(previa.startsWith(u"Serão geradas"_s)) << previa.toStdString();
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

TEST_F(ApproveAtTheScreen, ApproveADayWithAnOccurrenceWithoutTheMouse)
{
    m_db->Exec(u"INSERT INTO OCORRENCIA (CDGRPOCOR, CDOCORR, DSOCORR) VALUES (?, ?, ?)"_s,
               {u"09"_s, u"01"_s, u"Visita ao cliente"_s});

    // The filter: the period typed as digits, each date entered with Tab
    // (its text selected, so typing replaces it), and Enter confirms.
    desktop.OnModalShown = [this](TForm& form, QWidget* frame) {
        auto& d = static_cast<TfrmFiltroCsa&>(form);
        QApplication::setActiveWindow(frame);
        EXPECT_TRUE(QTest::qWaitForWindowActive(frame));
        KeyTo(d, d.depDtInicial, Qt::Key_Tab, Qt::NoModifier);
        Type(u"01032030"_s);
        KeyTo(d, d.depDtFinal, Qt::Key_Tab, Qt::NoModifier);
        Type(u"31032030"_s);
        EXPECT_EQ(d.depDtFinal->Text(), u"31/03/2030"_s);
        Key(Qt::Key_Return);
    };
    IniProc();
    desktop.OnModalShown = nullptr;
    ASSERT_NE(frmAprovaHoras, nullptr);
    TfrmAprovaHoras* f = frmAprovaHoras;
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    ASSERT_EQ(desktop.Messages(), QStringList());
    EXPECT_EQ(Filtro.DtInicial, Day(2030, 3, 1));
    EXPECT_EQ(Filtro.DtFinal, Day(2030, 3, 31));
    ASSERT_GT(f->cdsServPrest.RecordCount(), 0);

    // Down the lists: the service, Ctrl+Tab, the employee, Ctrl+Tab, the
    // CHT list (the days without CHT), Ctrl+Tab, the days.
    ASSERT_EQ(f->ActiveControl(), f->dbgPadrao);
    ArrowToRow(f->dbgPadrao, "NRSERVCONT", "001");
    KeyTo(*f, f->dbgFuncionario, Qt::Key_Tab, Qt::ControlModifier);
    ArrowToRow(f->dbgFuncionario, "CDFUNC", "TF1");
    KeyTo(*f, f->dbgCHT, Qt::Key_Tab, Qt::ControlModifier);
    ASSERT_EQ(f->cdsCHT.FieldByName(u"DSREFECHT"_s)->AsString(), u"CSA´s sem CHT Gerada"_s);
    KeyTo(*f, f->dbgCSA, Qt::Key_Tab, Qt::ControlModifier);
    ASSERT_EQ(f->cdsAuxCSA.RecordCount(), 3);

    // The 12th: 7 of its 7.5 hours for commission, so an occurrence is due.
    ArrowToRow(f->dbgCSA, "QTHRTRAB", "7,5");
    ArrowToColumn(f->dbgCSA, "QTHRAPRCOMIS");
    Type(u"0700"_s);
    EXPECT_EQ(Grid(f->dbgCSA)->CellEditor()->text(), u"07:00"_s);
    Key(Qt::Key_Tab);
    ASSERT_EQ(f->dbgCSA->SelectedIndex(), f->dbgCSA->ColumnIndex(u"DSOCORR"_s));

    // Ctrl+Enter opens the occurrence picker; it is answered by typing a
    // search and Enter.
    QString pickerTitle;
    desktop.OnDialogShown = [this, &pickerTitle](QDialog& dialog) {
        desktop.OnDialogShown = nullptr;
        pickerTitle = dialog.windowTitle();
        QApplication::setActiveWindow(&dialog);
        EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog));
        Type(u"visita"_s);
        Key(Qt::Key_Return);
    };
    Key(Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(pickerTitle, u"Ocorrência"_s);
    EXPECT_EQ(f->cdsAuxCSA.State(), TDataSetState::dsEdit);
    EXPECT_EQ(f->cdsAuxCSA.FieldByName(u"DSOCORR"_s)->AsString(), u"Visita ao cliente"_s);
    Shot("e2e-teclado.png");

    // Down posts the day, which saves it.
    Key(Qt::Key_Down);
    EXPECT_EQ(f->cdsAuxCSA.State(), TDataSetState::dsBrowse);
    const QList<QVariantList> stored = m_db->Rows(
        u"SELECT QTHRAPRCOMIS, QTHRAPROFATU, CDGRPOCOR, CDOCORR FROM CSA WHERE CDFUNC = 'TF1' "
        "AND DTSERVPREST = ?"_s,
        {static_cast<qint64>(Day(2030, 3, 12))});
    ASSERT_EQ(stored.size(), 1);
    EXPECT_EQ(stored[0][0].toDouble(), 7.0);
    EXPECT_EQ(stored[0][1].toDouble(), 7.5) << "billing left empty takes the hours worked";
    EXPECT_EQ(stored[0][2].toString(), u"09"_s);
    EXPECT_EQ(stored[0][3].toString(), u"01"_s);
    EXPECT_TRUE(desktop.Messages().isEmpty()) << desktop.Messages().join(u'\n').toStdString();
}

TEST_F(AMonthByKeyboard, TwentyKeysOrFewerApproveTheMonth)
{
    ASSERT_EQ(workDays, 22);
    // Every modal window answers from the keyboard: the filter as it opens,
    // the list of pendências on its first line, the occurrence picker on
    // its first occurrence, the bulk question with its default, Yes.
    desktop.OnModalShown = [this](TForm&, QWidget* frame) {
        Activate(frame);
        Key(Qt::Key_Return);
    };
    desktop.OnDialogShown = [this](QDialog& dialog) {
        Activate(&dialog);
        Key(Qt::Key_Return);
    };
    desktop.OnMessageShown = [this](QMessageBox& box) {
        question = box.text();
        Activate(&box);
        Key(Qt::Key_Return);
    };
    IniProc();
    TfrmAprovaHoras* f = frmAprovaHoras;
    ASSERT_NE(f, nullptr);
    Activate(&window);
    ASSERT_LE(Filtro.DtInicial, Day(2025, 9, 1)) << "the filter as it opens holds the month";
    ASSERT_EQ(f->cdsAuxCSA.RecordCount(), 22);

    // Each occurrence day: Ctrl+Shift+P and Enter go to it, on its
    // occurrence cell; Ctrl+Enter and Enter pick the occurrence; Down saves.
    for (int day : {9, 17}) {
        SCOPED_TRACE(day);
        Key(Qt::Key_P, Qt::ControlModifier | Qt::ShiftModifier);
        Activate(&window);
        ASSERT_EQ(OleToDate(f->cdsAuxCSA.FieldByName(u"DTSERVPREST"_s)->AsDateTime()).day(), day);
        ASSERT_EQ(f->dbgCSA->SelectedIndex(), f->dbgCSA->ColumnIndex(u"DSOCORR"_s));
        Key(Qt::Key_Return, Qt::ControlModifier);
        Activate(&window);
        ASSERT_FALSE(f->cdsAuxCSA.FieldByName(u"CDOCORR"_s)->AsString().isEmpty());
        Key(Qt::Key_Down);
        ASSERT_EQ(f->cdsAuxCSA.State(), TDataSetState::dsBrowse);
    }
    // The rest at once: Ctrl+Shift+A, and Enter says Yes.
    Key(Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(question.startsWith(u"Aprovar 20 dias pendentes"_s)) << question.toStdString();

    const QList<QVariantList> stored =
        m_db->Rows(u"SELECT QTHRAPROFATU, QTHRAPRCOMIS, CDOCORR FROM CSA WHERE CDFUNC = 'TF1' "
                   "ORDER BY DTSERVPREST"_s);
    ASSERT_EQ(stored.size(), 22);
    int withOccurrence = 0;
    for (const QVariantList& row : stored) {
        EXPECT_EQ(row[0].toDouble(), 8.0) << "billed: the hours worked";
        EXPECT_FALSE(row[1].isNull());
        withOccurrence += row[2].isNull() ? 0 : 1;
    }
    EXPECT_EQ(withOccurrence, 2);
    EXPECT_EQ(f->ContaPendentes(), 0);
    std::printf("Aprovar um mês pelo teclado: %d teclas\n", keys);
    EXPECT_LE(keys, 20) << "the key route of one month";
    EXPECT_TRUE(desktop.Messages().isEmpty()) << desktop.Messages().join(u'\n').toStdString();
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
