// The desktop with real windows: questions, modal forms, pickers, the busy
// indicator, and child windows that the forms decide to close.
#include "host/data/selection.h"
#include "host/framework/pickers.h"
#include "host/qt/pickerdialogs.h"
#include "host/ui/editors.h"
#include "tests/qt/gui_fixture.h"

#include <QAbstractButton>
#include <QDialog>
#include <QListWidget>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

using namespace Qt::StringLiterals;

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
    ds.AddField(u"CDCLIENTE"_s, TFieldType::ftString, 6)->SetVisible(false);
    ds.AddField(u"NMFANTCLIE"_s, TFieldType::ftString, 40)->SetDisplayLabel(u"Nome"_s);
    ds.CreateDataSet();
    for (const char* name : {"Metalúrgica Aurora", "Banco Horizonte", "Dr. Paulo Mendes"}) {
        ds.Append();
        ds.FieldByName(u"CDCLIENTE"_s)->SetAsString(u"%1"_s.arg(ds.RecordCount()));
        ds.FieldByName(u"NMFANTCLIE"_s)->SetAsString(QString::fromUtf8(name));
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
        EXPECT_EQ(box->windowTitle(), u"Confirmação"_s);
        ButtonNamed(box, u"Sim"_s)->click();
    });
    EXPECT_EQ(
        desktop->MessageDlg(u"Confirma exclusão?"_s, TMsgDlgType::mtConfirmation, mbYes | mbNo),
        mrYes);
    EXPECT_EQ(seen, (QStringList{u"Não"_s, u"Sim"_s}));

    WhenModal([&] {
        QMessageBox* box = OpenMessageBox();
        ASSERT_NE(box, nullptr);
        seen = ButtonTexts(box);
        QTest::keyClick(box, Qt::Key_Escape);
    });
    EXPECT_EQ(desktop->MessageDlg(u"Há alterações."_s, TMsgDlgType::mtConfirmation,
                                  mbYes | mbNo | mbCancel),
              mrCancel)
        << "Escape cancels";
    EXPECT_EQ(seen, (QStringList{u"Cancelar"_s, u"Não"_s, u"Sim"_s}));

    WhenModal([&] {
        QMessageBox* box = OpenMessageBox();
        ASSERT_NE(box, nullptr);
        seen = QStringList{box->windowTitle(), box->text()} + ButtonTexts(box);
        box->buttons().first()->click();
    });
    Application()->ShowException(std::make_exception_ptr(Exception(u"Falha no servidor."_s)));
    EXPECT_EQ(seen, (QStringList{u"Erro"_s, u"Falha no servidor."_s, u"OK"_s}));
}

// The questions that name a CHT or a statement's version show their title
// and every choice whole.
TEST_F(Desktop_, DialogsAreWideEnoughForTheirTitleAndChoices)
{
    desktop->SetNonInteractive(false);
    const QString title = u"Marcar a CHT 00022 como faturada"_s;
    const QString longest = u"Interno (com comissão, ocorrências e situação)"_s;
    struct TSeen
    {
        int Width = 0, Title = 0, List = 0, Item = 0;
    } seen;
    desktop->OnDialogShown = [&](QDialog& dialog) {
        seen.Width = dialog.width();
        seen.Title = dialog.fontMetrics().horizontalAdvance(dialog.windowTitle());
        if (auto* list = dialog.findChild<QListWidget*>(u"list"_s)) {
            seen.List = list->viewport()->width();
            seen.Item = list->fontMetrics().horizontalAdvance(longest);
        }
        dialog.reject();
    };
    QString value;
    EXPECT_FALSE(desktop->InputQuery(title, u"Número da nota fiscal:"_s, value, {}));
    EXPECT_GT(seen.Width, seen.Title) << "the title whole, beside the title bar's buttons";
    int index = 0;
    EXPECT_FALSE(desktop->PickString(u"Versão do demonstrativo"_s, {u"Cliente"_s, longest}, index));
    EXPECT_GT(seen.Width, seen.Title);
    EXPECT_GE(seen.List, seen.Item) << "the longest choice whole";
    desktop->OnDialogShown = nullptr;
}

TEST_F(Desktop_, AModalFormRunsUntilItHasAResult)
{
    TForm form(u"frmPergunta"_s);
    form.SetClientSize(200, 80);
    auto* ok = form.Add<TButton>(u"btnOk"_s);
    ok->SetBounds(10, 10, 75, 25);
    ok->SetCaption(u"OK"_s);
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
    TClientDataSet ds(u"qryCliente"_s);
    TDataSource dts(u"dtsCliente"_s);
    FillClients(ds);
    dts.SetDataSet(&ds);
    QStringList shownAtStart;
    WhenModal([&] {
        auto* dialog = dynamic_cast<TPickListDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), u"Cliente"_s);
        shownAtStart = dialog->TickedKeys(); // the current choice comes ticked
        dialog->SetSearch(u"aurora"_s);
        ASSERT_EQ(dialog->Shown(), QList<int>{0});
        dialog->SetTicked(0, true);
        dialog->SetSearch(QString());
        EXPECT_EQ(dialog->Shown().size(), 3) << "clearing the search shows every row";
        dialog->findChild<QPushButton*>(u"ok"_s)->click();
    });
    QString selection = EncodeSelection({u"3"_s});
    ASSERT_TRUE(PesquisaLista(&dts, u"CDCLIENTE"_s, u"Cliente|Não há cliente"_s, false, selection));
    EXPECT_EQ(shownAtStart, QStringList{u"3"_s});
    EXPECT_EQ(DecodeSelection(selection).Keys, (QStringList{u"1"_s, u"3"_s}));

    // Leaving with Cancelar keeps the selection as it was.
    WhenModal(
        [&] { QApplication::activeModalWidget()->findChild<QPushButton*>(u"cancel"_s)->click(); });
    const QString before = selection;
    EXPECT_FALSE(
        PesquisaLista(&dts, u"CDCLIENTE"_s, u"Cliente|Não há cliente"_s, false, selection));
    EXPECT_EQ(selection, before);
}

TEST_F(Desktop_, TheRowPickerAndTheSearchLeaveTheDataSetOnTheRowFound)
{
    desktop->SetNonInteractive(false);
    TClientDataSet ds(u"qryCliente"_s);
    TDataSource dts(u"dtsCliente"_s);
    FillClients(ds);
    dts.SetDataSet(&ds);
    WhenModal([&] {
        auto* dialog = dynamic_cast<TPickRowDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->SetSearch(u"mendes"_s);
        dialog->findChild<QPushButton*>(u"ok"_s)->click();
    });
    EXPECT_TRUE(Pesquisar(&dts, u"Ocorrência"_s, false, true));
    EXPECT_EQ(ds.RecNo(), 3);

    WhenModal([&] {
        auto* dialog = dynamic_cast<TSearchDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->SetField(u"NMFANTCLIE"_s);
        dialog->SetValue(u"banco"_s);
        dialog->findChild<QPushButton*>(u"ok"_s)->click();
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
    auto form = std::make_unique<TForm>(u"frmFilho"_s);
    form->SetFormStyle(TFormStyle::fsMDIChild);
    form->SetCaption(u"Filho"_s);
    form->SetClientSize(300, 200);
    auto* edit = form->Add<TEdit>(u"edtNome"_s);
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
    EXPECT_EQ(sub->windowTitle(), u"Filho"_s);
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

namespace {

// A window's title as the window system shows it: Qt appends the
// application's display name to a title that does not end with it.
QString ShownTitle(const QWidget& window)
{
    const QString name = QGuiApplication::applicationDisplayName();
    const QString title = window.windowTitle();
    return title.endsWith(name) ? title : title + u" — "_s + name;
}

} // namespace

TEST_F(Desktop_, AMaximisedFormNamesTheApplicationOnceInTheMainWindowTitle)
{
    const QString displayName = QGuiApplication::applicationDisplayName();
    QGuiApplication::setApplicationDisplayName(u"Aprovação de Horas"_s);
    QMainWindow main;
    auto* area = new QMdiArea(&main);
    main.setCentralWidget(area);
    main.menuBar()->addMenu(u"&Janela"_s); // a maximised form's buttons go there
    main.resize(800, 600);
    desktop->SetApplicationTitle(u"Aprovação de Horas"_s);
    desktop->SetMdiArea(area);
    main.show();
    EXPECT_EQ(ShownTitle(main), u"Aprovação de Horas"_s);

    auto form = std::make_unique<TForm>(u"frmAprovaHoras"_s);
    form->SetFormStyle(TFormStyle::fsMDIChild);
    form->SetCaption(u"Apuração de CHT"_s);
    form->SetClientSize(300, 200);
    form->Show();
    ASSERT_EQ(area->subWindowList().size(), 1);
    QMdiSubWindow* sub = area->subWindowList().first();
    EXPECT_EQ(ShownTitle(*sub), u"Apuração de CHT"_s);
    sub->showMaximized();
    EXPECT_EQ(ShownTitle(main), u"Aprovação de Horas - [Apuração de CHT]"_s);
    sub->showNormal();
    EXPECT_EQ(ShownTitle(main), u"Aprovação de Horas"_s);
    form.reset();
    QGuiApplication::setApplicationDisplayName(displayName);
}
