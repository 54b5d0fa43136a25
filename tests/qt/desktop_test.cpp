// The desktop with real windows: questions, modal forms, pickers, the busy
// indicator, and child windows that the forms decide to close.
#include "host/data/selection.h"
#include "host/framework/pickers.h"
#include "host/qt/pickerdialogs.h"
#include "host/ui/editors.h"
#include "tests/qt/gui_fixture.h"

#include <QAbstractButton>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

using namespace aph;
using namespace aph::test;

namespace {

struct Desktop_ : GuiTest
{};

QMessageBox* OpenMessageBox()
{
    return qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
}

QStringList ButtonTexts(QMessageBox* box)
{
    QStringList texts;
    for (QAbstractButton* b : box->buttons())
        texts << b->text();
    texts.sort();
    return texts;
}

QAbstractButton* ButtonNamed(QMessageBox* box, const QString& text)
{
    for (QAbstractButton* b : box->buttons())
        if (b->text() == text)
            return b;
    return nullptr;
}

void FillClients(TClientDataSet& ds)
{
    ds.AddField(S("CDCLIENTE"), TFieldType::ftString, 6)->SetVisible(false);
    ds.AddField(S("NMFANTCLIE"), TFieldType::ftString, 40)->SetDisplayLabel(S("Nome"));
    ds.CreateDataSet();
    for (const char* name : {"Metalúrgica Aurora", "Banco Horizonte", "Dr. Paulo Mendes"}) {
        ds.Append();
        ds.FieldByName(S("CDCLIENTE"))->SetAsString(QStringLiteral("%1").arg(ds.RecordCount()));
        ds.FieldByName(S("NMFANTCLIE"))->SetAsString(S(name));
        ds.Post();
    }
    ds.First();
}

} // namespace

TEST_F(Desktop_, QuestionsAndErrorsSpeakPortuguese)
{
    desktop->SetNonInteractive(false);
    QStringList seen;
    WhenModal([&] {
        QMessageBox* box = OpenMessageBox();
        ASSERT_NE(box, nullptr);
        seen = ButtonTexts(box);
        EXPECT_EQ(box->windowTitle(), S("Confirmação"));
        ButtonNamed(box, S("Sim"))->click();
    });
    EXPECT_EQ(
        desktop->MessageDlg(S("Confirma exclusão?"), TMsgDlgType::mtConfirmation, mbYes | mbNo),
        mrYes);
    EXPECT_EQ(seen, (QStringList{S("Não"), S("Sim")}));

    WhenModal([&] {
        QMessageBox* box = OpenMessageBox();
        ASSERT_NE(box, nullptr);
        seen = ButtonTexts(box);
        QTest::keyClick(box, Qt::Key_Escape);
    });
    EXPECT_EQ(desktop->MessageDlg(S("Há alterações."), TMsgDlgType::mtConfirmation,
                                  mbYes | mbNo | mbCancel),
              mrCancel)
        << "Escape cancels";
    EXPECT_EQ(seen, (QStringList{S("Cancelar"), S("Não"), S("Sim")}));

    WhenModal([&] {
        QMessageBox* box = OpenMessageBox();
        ASSERT_NE(box, nullptr);
        seen = QStringList{box->windowTitle(), box->text()} + ButtonTexts(box);
        box->buttons().first()->click();
    });
    Application()->ShowException(std::make_exception_ptr(Exception(S("Falha no servidor."))));
    EXPECT_EQ(seen, (QStringList{S("Erro"), S("Falha no servidor."), S("OK")}));
}

TEST_F(Desktop_, AModalFormRunsUntilItHasAResult)
{
    TForm form(S("frmPergunta"));
    form.SetClientSize(200, 80);
    auto* ok = form.Add<TButton>(S("btnOk"));
    ok->SetBounds(10, 10, 75, 25);
    ok->SetCaption(S("OK"));
    ok->SetModalResult(mrOk);
    bool shownAsWindow = false;
    WhenModal([&] {
        QWidget* window = desktop->WindowOf(&form);
        ASSERT_NE(window, nullptr);
        shownAsWindow = window->isVisible() && window->isModal();
        qobject_cast<QAbstractButton*>(desktop->ViewOf(&form)->WidgetOf(ok))->click();
    });
    EXPECT_EQ(form.ShowModal(), mrOk);
    EXPECT_TRUE(shownAsWindow);
    EXPECT_FALSE(desktop->WindowOf(&form)->isVisible());

    // Closing the window is the form's closing: the loop ends cancelled.
    WhenModal([&] { desktop->WindowOf(&form)->close(); });
    EXPECT_EQ(form.ShowModal(), mrCancel);
}

TEST_F(Desktop_, TheBusyIndicatorAndWaitCursorNest)
{
    QWidget indicator;
    desktop->SetBusyIndicator(&indicator);
    EXPECT_TRUE(indicator.isHidden());
    Application()->BusyBegin(0);
    Application()->BusyBegin(0);
    EXPECT_FALSE(indicator.isHidden());
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    Application()->BusyEnd();
    EXPECT_FALSE(indicator.isHidden()) << "the inner end keeps it";
    Application()->SetCursor(TCursor::crHourGlass);
    Application()->BusyEnd();
    EXPECT_TRUE(indicator.isHidden());
    EXPECT_NE(QApplication::overrideCursor(), nullptr) << "the hourglass was asked for";
    Application()->SetCursor(TCursor::crDefault);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(Desktop_, TheListPickerSearchesTicksAndGivesTheSelection)
{
    desktop->SetNonInteractive(false);
    TClientDataSet ds(S("qryCliente"));
    TDataSource dts(S("dtsCliente"));
    FillClients(ds);
    dts.SetDataSet(&ds);
    QStringList shownAtStart;
    WhenModal([&] {
        auto* dialog = dynamic_cast<TPickListDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), S("Cliente"));
        shownAtStart = dialog->TickedKeys(); // the current choice comes ticked
        dialog->SetSearch(S("aurora"));
        ASSERT_EQ(dialog->Shown(), QList<int>{0});
        dialog->SetTicked(0, true);
        dialog->SetSearch(QString());
        EXPECT_EQ(dialog->Shown().size(), 3) << "clearing the search shows every row";
        dialog->findChild<QPushButton*>(S("ok"))->click();
    });
    QString selection = EncodeSelection({S("3")});
    ASSERT_TRUE(PesquisaLista(&dts, S("CDCLIENTE"), S("Cliente|Não há cliente"), false, selection));
    EXPECT_EQ(shownAtStart, QStringList{S("3")});
    EXPECT_EQ(DecodeSelection(selection).Keys, (QStringList{S("1"), S("3")}));

    // Leaving with Cancelar keeps the selection as it was.
    WhenModal(
        [&] { QApplication::activeModalWidget()->findChild<QPushButton*>(S("cancel"))->click(); });
    const QString before = selection;
    EXPECT_FALSE(
        PesquisaLista(&dts, S("CDCLIENTE"), S("Cliente|Não há cliente"), false, selection));
    EXPECT_EQ(selection, before);
}

TEST_F(Desktop_, TheRowPickerAndTheSearchLeaveTheDataSetOnTheRowFound)
{
    desktop->SetNonInteractive(false);
    TClientDataSet ds(S("qryCliente"));
    TDataSource dts(S("dtsCliente"));
    FillClients(ds);
    dts.SetDataSet(&ds);
    WhenModal([&] {
        auto* dialog = dynamic_cast<TPickRowDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->SetSearch(S("mendes"));
        dialog->findChild<QPushButton*>(S("ok"))->click();
    });
    EXPECT_TRUE(Pesquisar(&dts, S("Ocorrência"), false, true));
    EXPECT_EQ(ds.RecNo(), 3);

    WhenModal([&] {
        auto* dialog = dynamic_cast<TSearchDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->SetField(S("NMFANTCLIE"));
        dialog->SetValue(S("banco"));
        dialog->findChild<QPushButton*>(S("ok"))->click();
    });
    EXPECT_TRUE(Procura(&ds));
    EXPECT_EQ(ds.RecNo(), 2);
}

TEST_F(Desktop_, ChildFormsOpenInTheWorkAreaAndCloseAsTheFormDecides)
{
    QMdiArea area;
    area.resize(800, 600);
    area.show();
    desktop->SetMdiArea(&area);
    auto form = std::make_unique<TForm>(S("frmFilho"));
    form->SetFormStyle(TFormStyle::fsMDIChild);
    form->SetCaption(S("Filho"));
    form->SetClientSize(300, 200);
    auto* edit = form->Add<TEdit>(S("edtNome"));
    edit->SetBounds(8, 8, 100, 21);
    bool mayClose = false;
    form->OnCloseQuery = [&](TObject*, bool& can) {
        can = mayClose;
    };
    form->OnClose = [](TObject*, TCloseAction& action) {
        action = TCloseAction::caHide;
    };
    form->Show();
    ASSERT_EQ(area.subWindowList().size(), 1);
    QMdiSubWindow* sub = area.subWindowList().first();
    EXPECT_EQ(sub->windowTitle(), S("Filho"));
    EXPECT_TRUE(sub->isVisible());
    EXPECT_EQ(form->ActiveControl(), edit) << "a form opens on its first control";

    sub->close();
    EXPECT_TRUE(sub->isVisible()) << "the form refused";
    EXPECT_TRUE(form->Visible());
    mayClose = true;
    sub->close();
    EXPECT_FALSE(sub->isVisible());
    EXPECT_FALSE(form->Visible());

    // The form is destroyed: its window goes with it.
    form->Show();
    form.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(area.subWindowList().isEmpty());
}
