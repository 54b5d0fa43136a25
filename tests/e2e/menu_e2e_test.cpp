// The desktop's newer commands at the real screen, under a real X server:
// a grid's context menu exporting to CSV, the pending days approved at
// once, a day's history and the CHT statement, each reached from the
// keyboard and answered at its own window.
#include "approval/cli_aph31500.h"
#include "approval/historicodia.h"
#include "filter/cli_aph31501.h"
#include "host/framework/dbquery.h"
#include "host/framework/environment.h"
#include "host/qt/formview.h"
#include "host/qt/gridview.h"
#include "host/qt/input.h"
#include "host/qt/qtdesktop.h"
#include "tests/e2e/screenfixture.h"
#include "tests/support/serverfixture.h"
#include "tests/support/text.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

class MenuAtTheScreen : public ScreenAtTheDesktop
{
protected:
    void AddDays() override
    {
        AddCht(u"T0001"_s, u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, u"P"_s);
        for (const auto& [day, hours] : {std::pair{1, 8.0}, {4, 7.5}, {5, 8.0}, {6, 9.0}})
            AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, Day(2030, 3, day), hours,
                   u"T0001"_s);
    }
    void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr) << "a key with the focus nowhere";
        QTest::keyClick(focus, key, modifiers);
    }
    // A picture of the screen around the main window and a window over it
    // (a menu, a question), for the documentation when APH_E2E_SHOTS names
    // a folder.
    void Shot(const char* name, QWidget* over = nullptr)
    {
        const QString shots = qEnvironmentVariable("APH_E2E_SHOTS");
        QRect area = window.frameGeometry();
        if (over) {
            EXPECT_TRUE(QTest::qWaitForWindowExposed(over->window()));
            area = area.united(over->window()->frameGeometry());
        }
        // The screen as it is now painted: what was under a window that went
        // away and the window on top, both drawn before the picture.
        QCoreApplication::processEvents();
        window.repaint();
        if (over)
            over->window()->repaint();
        const QImage image = QGuiApplication::primaryScreen()->grabWindow(0).toImage().copy(area);
        EXPECT_GT(image.width(), 800);
        if (!shots.isEmpty())
            image.save(QDir(shots).filePath(QString::fromUtf8(name)));
    }
    void OpenTheCht()
    {
        desktop.OnModalShown = [](TForm& form, QWidget* frame) {
            auto& d = static_cast<TfrmFiltroCsa&>(form);
            QApplication::setActiveWindow(frame);
            d.depDtInicial->SetDate(Day(2030, 3, 1));
            d.depDtFinal->SetDate(Day(2030, 3, 31));
            d.chbComCHTGerada->SetChecked(true);
            for (TCheckBox* box :
                 {d.chbCHT_Pendente, d.chbCHT_Aprovado, d.chbCHT_Faturado, d.chbCHT_Nao_Faturar})
                box->SetChecked(true);
            UserInput([&d] { d.sbtConfirma->Click(); });
        };
        IniProc();
        desktop.OnModalShown = nullptr;
        ASSERT_NE(frmAprovaHoras, nullptr);
        f = frmAprovaHoras;
        QApplication::setActiveWindow(&window);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        ClickCell(f->dbgPadrao, RowOf(f->dbgPadrao, "NRSERVCONT", "001"), 0);
        ClickCell(f->dbgFuncionario, RowOf(f->dbgFuncionario, "CDFUNC", "TF1"), 1);
        ClickCell(f->dbgCHT, RowOf(f->dbgCHT, "NRSEQUCHT", "T0001"), 2);
        ClickCell(f->dbgCSA, 0, 1);
        ASSERT_EQ(f->ActiveControl(), f->dbgCSA);
        // A message nobody expected is kept and closed, so that the test
        // fails instead of waiting.
        desktop.OnMessageShown = [this](QMessageBox& box) {
            unexpected << box.text();
            box.buttons().first()->click();
        };
    }

    TfrmAprovaHoras* f = nullptr;
    QTemporaryDir dir;
    QStringList unexpected;
};

} // namespace

TEST_F(MenuAtTheScreen, TheDaysGoToCsvFromTheGridsMenu)
{
    OpenTheCht();
    const QString path = dir.filePath(u"dias.csv"_s);
    QTimer::singleShot(0, qApp, [this] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
        menu->setActiveAction(menu->findChild<QAction*>(u"exportCsv"_s));
        Shot("menu-csv.png", menu);
        QTest::keyClick(menu, Qt::Key_Return);
    });
    desktop.OnDialogShown = [path](QDialog& dialog) {
        qobject_cast<QFileDialog*>(&dialog)->selectFile(path);
        dialog.accept();
    };
    Key(Qt::Key_F10, Qt::ShiftModifier);
    desktop.OnDialogShown = nullptr;
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll().mid(3)).split(u"\r\n"_s);
    ASSERT_EQ(lines.size(), f->cdsAuxCSA.RecordCount() + 2);
    EXPECT_TRUE(lines[1].startsWith(u"01/03/2030 sex;08:00;08:00;08:00;"_s))
        << lines[1].toStdString();
    EXPECT_TRUE(unexpected.isEmpty()) << unexpected.join(u'\n').toStdString();
}

TEST_F(MenuAtTheScreen, PendingDaysAreApprovedAfterTheQuestion)
{
    OpenTheCht();
    QString question;
    desktop.OnMessageShown = [this, &question](QMessageBox& box) {
        question = box.text();
        Shot("aprovar-pendentes.png", &box);
        for (QAbstractButton* b : box.buttons())
            if (b->text().remove(u'&') == u"Sim")
                b->click();
    };
    Key(Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(question, u"Aprovar 4 dias pendentes, 32:30 horas?"_s);
    EXPECT_EQ(m_db->Scalar(u"SELECT COUNT(*) FROM CSA WHERE CDFUNC = 'TF1' AND NRSEQUCHT = "
                           "'T0001' AND QTHRAPROFATU = QTHRTRAB AND QTHRAPRCOMIS = QTHRTRAB"_s)
                  .toInt(),
              4);
    EXPECT_EQ(f->lblTotHoraFat->Caption(), u"32:30"_s);
    EXPECT_TRUE(unexpected.isEmpty()) << unexpected.join(u'\n').toStdString();
}

TEST_F(MenuAtTheScreen, TheDaysHistoryAndTheChtStatement)
{
    OpenTheCht();
    // The 4th, approved by hand, then its history.
    ClickCell(f->dbgCSA, RowOf(f->dbgCSA, "QTHRTRAB", "7,5"), 2);
    QTest::keyClicks(Grid(f->dbgCSA), u"0700"_s);
    Key(Qt::Key_Down);
    int rows = -1;
    desktop.OnModalShown = [this, &rows](TForm& form, QWidget* frame) {
        auto& h = dynamic_cast<TfrmHistoricoDia&>(form);
        QApplication::setActiveWindow(frame);
        rows = h.dbgHist->RowCount();
        Shot("historico-dia.png", frame);
        QTest::mouseClick(Widget(&h, h.btnFechar), Qt::LeftButton);
    };
    ClickCell(f->dbgCSA, RowOf(f->dbgCSA, "QTHRTRAB", "7,5"), 0);
    Key(Qt::Key_H, Qt::ControlModifier | Qt::ShiftModifier);
    desktop.OnModalShown = nullptr;
    EXPECT_EQ(rows, 1);
    // No window manager gives the main window back its activation.
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    // The statement as PDF: Enter takes the client's version, then the
    // file's type chosen in the dialog.
    const QString path = dir.filePath(u"CHT-T0001.pdf"_s);
    desktop.OnDialogShown = [this, path](QDialog& dialog) {
        auto* files = qobject_cast<QFileDialog*>(&dialog);
        if (!files) {
            QTest::keyClick(dialog.focusWidget() ? dialog.focusWidget() : &dialog, Qt::Key_Return);
            return;
        }
        files->selectFile(path);
        Shot("demonstrativo.png", &dialog);
        dialog.accept();
    };
    QString status;
    desktop.OnStatus = [&status](const QString& text) {
        status = text;
    };
    Key(Qt::Key_D, Qt::ControlModifier | Qt::ShiftModifier);
    desktop.OnDialogShown = nullptr;
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << unexpected.join(u'\n').toStdString();
    const QByteArray pdf = file.readAll();
    EXPECT_TRUE(pdf.startsWith("%PDF-"));
    EXPECT_TRUE(pdf.contains("(Emitente:)")) << "Enter took another version than the client's";
    EXPECT_EQ(status, u"Demonstrativo da CHT T0001 salvo em %1"_s.arg(path));
    EXPECT_TRUE(unexpected.isEmpty()) << unexpected.join(u'\n').toStdString();
}

// An operator who supervises and bills approves the CHT from Manutenção
// (its days lock), reopens it with a reason typed in its window, approves
// it again and marks it billed; the day's history shows each step by
// name, with the reason and the invoice.
TEST_F(MenuAtTheScreen, AChtIsApprovedReopenedWithAReasonAndTheHistorySaysSo)
{
    // Ana supervises; here she may bill too.
    m_db->Exec(u"INSERT INTO APH_PAPEL (CDOPERADOR, DSPAPEL) VALUES ('ANA', 'faturar')"_s);
    OpenTheCht();
    const auto step = [this](int index) {
        QAction* action = desktop.ViewOf(f)->ActionOf(f->mnuPassosCHT[index]);
        ASSERT_NE(action, nullptr);
        ASSERT_TRUE(action->isEnabled()) << action->text().toStdString();
        action->trigger();
    };
    const auto yes = [](QMessageBox& box) {
        for (QAbstractButton* b : box.buttons())
            if (b->text().remove(u'&') == u"Sim")
                b->click();
    };
    const auto typing = [this](const QString& text) {
        desktop.OnDialogShown = [text](QDialog& dialog) {
            dialog.findChild<QLineEdit*>(u"value"_s)->setText(text);
            dialog.accept();
        };
    };
    desktop.OnMessageShown = yes;
    step(0);
    EXPECT_TRUE(f->lblBloqueio->Visible()) << "an approved CHT's days lock";
    typing(u"Dia 4 revisto com o cliente"_s);
    step(1);
    step(0);
    typing(u"NF-2030-17"_s);
    step(2);
    desktop.OnDialogShown = nullptr;
    EXPECT_EQ(m_db->Scalar(u"SELECT IDSTATUSCHT FROM CHT WHERE NRSEQUCHT = 'T0001'"_s).toString(),
              u"R"_s);
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    QStringList reasons;
    desktop.OnModalShown = [this, &reasons](TForm& form, QWidget* frame) {
        auto& h = dynamic_cast<TfrmHistoricoDia&>(form);
        QApplication::setActiveWindow(frame);
        for (int r = 0; r < h.dbgHist->RowCount(); ++r)
            reasons << h.dbgHist->CellText(r, 1) + u'|' + h.dbgHist->CellText(r, 12) + u'|' +
                           h.dbgHist->CellText(r, 13);
        // The reason and invoice are the last columns: End, from the
        // keyboard, brings them into view.
        auto* grid = dynamic_cast<TGridView*>(Widget(&h, h.dbgHist));
        ASSERT_NE(grid, nullptr);
        EXPECT_EQ(h.ActiveControl(), h.dbgHist) << "the list has the keys from the start";
        Key(Qt::Key_End);
        EXPECT_EQ(h.dbgHist->SelectedIndex(), h.dbgHist->ColumnCount() - 1);
        const QRect last = grid->visualRect(grid->model()->index(0, h.dbgHist->ColumnCount() - 1));
        EXPECT_TRUE(grid->viewport()->rect().contains(last)) << "the last column in view";
        Shot("historico-cht.png", frame);
        QTest::mouseClick(Widget(&h, h.btnFechar), Qt::LeftButton);
    };
    ClickCell(f->dbgCSA, RowOf(f->dbgCSA, "QTHRTRAB", "7,5"), 0);
    Key(Qt::Key_H, Qt::ControlModifier | Qt::ShiftModifier);
    desktop.OnModalShown = nullptr;
    const QString ana = u"Ana Beatriz Souza|"_s;
    EXPECT_EQ(reasons, (QStringList{ana + u"|"_s, ana + u"Dia 4 revisto com o cliente|"_s,
                                    ana + u"|"_s, ana + u"|NF-2030-17"_s}));
}
