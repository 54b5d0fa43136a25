#include "host/data/exceptions.h"
#include "host/framework/basescreens.h"
#include "tests/support/env.h"
#include "tests/support/scripted_desktop.h"
#include "tests/support/text.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

class TfrmLista : public TfrmPadraoGrid
{
public:
    TfrmLista() : TfrmPadraoGrid(u"frmLista"_s)
    {
        cdsLista.AddField(u"NMFUNC"_s, TFieldType::ftString, 40);
        cdsLista.CreateDataSet();
        cdsLista.Append();
        cdsLista.FieldByName(u"NMFUNC"_s)->SetAsString(u"Ana"_s);
        cdsLista.Post();
        dtsPadrao->SetDataSet(&cdsLista);
        cdsLista.BeforePost = [this](TDataSet*) {
            if (refusePost)
                throw Exception(u"Registro recusado."_s);
        };
    }
    TClientDataSet cdsLista{u"cdsLista"_s};
    bool refusePost = false;
};

class TfrmFiltro : public TfrmFiltroPadrao
{
public:
    TfrmFiltro() : TfrmFiltroPadrao(u"frmFiltro"_s)
    {
        lblCodTela->SetCaption(u"TST00001"_s);
        chbSem = panFiltro->Add<TCheckBox>(u"chbSem"_s);
        depIni = panFiltro->Add<TDateEditPlus>(u"depIni"_s);
    }
    void btfSaveOpcClick(TObject* Sender) override
    {
        SetOptionValue(u"stCliente"_s, stCliente);
        TfrmFiltroPadrao::btfSaveOpcClick(Sender);
    }
    void btfLoadOpcClick(TObject* Sender) override
    {
        stCliente = OptionValue(u"stCliente"_s);
        TfrmFiltroPadrao::btfLoadOpcClick(Sender);
    }
    TCheckBox* chbSem;
    TDateEditPlus* depIni;
    QString stCliente;
};

} // namespace

TEST(BaseGridScreen, ToolbarAndMenuAfterCreation)
{
    ScriptedDesktop desktop;
    auto* form = Application()->CreateForm<TfrmLista>();
    EXPECT_EQ(form->FormStyle(), TFormStyle::fsMDIChild);
    EXPECT_EQ(form->sbtProcurar->Hint(), u"Procurar"_s);
    EXPECT_FALSE(form->mnuIncluir->Enabled());
    EXPECT_FALSE(form->mnuConfirmar->Enabled());
    EXPECT_FALSE(form->sbtAlterar->Enabled());
    EXPECT_EQ(form->panMenu->BoundsRect().height(), 31);
    EXPECT_EQ(form->panDbgPadrao->BoundsRect().top(), 0);
    // The entries run their buttons' actions once enabled.
    form->mnuAlterar->SetEnabled(true);
    UserClick(form->mnuAlterar);
    EXPECT_EQ(form->cdsLista.State(), TDataSetState::dsEdit);
    form->mnuCancelar->SetEnabled(true);
    UserClick(form->mnuCancelar);
    EXPECT_EQ(form->cdsLista.State(), TDataSetState::dsBrowse);
}

TEST(BaseGridScreen, ClosingWithARowInEditAsksAndKeepsWhatCannotBeSaved)
{
    ScriptedDesktop desktop;
    auto* form = Application()->CreateForm<TfrmLista>();
    form->Show();
    form->cdsLista.Edit();
    form->cdsLista.FieldByName(u"NMFUNC"_s)->SetAsString(u"Bia"_s);
    form->refusePost = true;
    desktop.answers = {mrYes};
    UserClick(form->sbtFechar);
    EXPECT_TRUE(Application()->Owns(form)) << "a refused post keeps the screen open";
    EXPECT_EQ(desktop.errors, QStringList{u"Registro recusado."_s});
    EXPECT_EQ(form->cdsLista.State(), TDataSetState::dsEdit);
    desktop.answers = {mrCancel};
    UserClick(form->sbtFechar);
    EXPECT_TRUE(Application()->Owns(form));
    form->refusePost = false;
    desktop.answers = {mrYes};
    bool closed = false;
    form->OnDestroy = [&](TObject*) {
        closed = true;
    };
    UserClick(form->sbtFechar);
    EXPECT_TRUE(closed) << "closing frees the screen";
}

TEST(BaseFilterDialog, OptionSetsRoundTripThroughTheConfigurationFolder)
{
    QTemporaryDir home;
    ScopedEnv config("XDG_CONFIG_HOME", home.path().toUtf8().constData());
    ScriptedDesktop desktop;
    auto* dialog = Application()->CreateForm<TfrmFiltro>();
    dialog->stCliente = uR"(["000,1","a \"b\"","x|y"])"_s;
    dialog->chbSem->SetChecked(true);
    dialog->depIni->SetText(u"21/06/2008"_s);
    desktop.inputs = {u"Clientes do sul"_s};
    UserClick(dialog->btfSaveOpc);
    EXPECT_TRUE(desktop.errors.isEmpty()) << desktop.errors.join(u'\n').toStdString();
    EXPECT_EQ(dialog->SavedOptionSets(), QStringList{u"Clientes do sul"_s});

    dialog->stCliente.clear();
    dialog->chbSem->SetChecked(false);
    dialog->depIni->SetText(QString());
    desktop.stringPicks = {0};
    UserClick(dialog->btfLoadOpc);
    EXPECT_EQ(dialog->stCliente, uR"(["000,1","a \"b\"","x|y"])"_s);
    EXPECT_TRUE(dialog->chbSem->Checked());
    EXPECT_EQ(dialog->depIni->Text(), u"21/06/2008"_s);
}

TEST(BaseFilterDialog, LoadingWithNothingSavedSaysSo)
{
    QTemporaryDir home;
    ScopedEnv config("XDG_CONFIG_HOME", home.path().toUtf8().constData());
    ScriptedDesktop desktop;
    auto* dialog = Application()->CreateForm<TfrmFiltro>();
    dialog->stCliente = u"T"_s;
    UserClick(dialog->btfLoadOpc);
    EXPECT_EQ(desktop.questions, QStringList{u"Não há opções salvas para esta tela."_s});
    EXPECT_EQ(dialog->stCliente, u"T"_s);
}

TEST(BaseFilterDialog, ConfirmEndsTheModalLoopAndCancelCloses)
{
    ScriptedDesktop desktop;
    auto* dialog = Application()->CreateForm<TfrmFiltro>();
    desktop.modal.push_back([](TForm& f) { UserClick(static_cast<TfrmFiltro&>(f).sbtConfirma); });
    EXPECT_EQ(dialog->ShowModal(), mrOk);
    EXPECT_FALSE(dialog->Visible());
    desktop.modal.push_back([](TForm& f) { UserClick(static_cast<TfrmFiltro&>(f).sbtCancela); });
    EXPECT_EQ(dialog->ShowModal(), mrCancel);
    EXPECT_EQ(dialog->ShowModal(), mrCancel) << "no script: the user closes it";
}

TEST(BaseFilterDialog, EnterConfirmsAndEscapeCancelsFromAnyBox)
{
    ScriptedDesktop desktop;
    auto* dialog = Application()->CreateForm<TfrmFiltro>();
    desktop.modal.push_back([](TForm& f) {
        static_cast<TfrmFiltro&>(f).depIni->SetFocus();
        UserKey(f, VK_RETURN);
    });
    EXPECT_EQ(dialog->ShowModal(), mrOk);
    desktop.modal.push_back([](TForm& f) {
        static_cast<TfrmFiltro&>(f).chbSem->SetFocus();
        UserKey(f, VK_ESCAPE);
        EXPECT_EQ(f.ModalResult(), mrCancel) << "the cancel button closed it";
    });
    EXPECT_EQ(dialog->ShowModal(), mrCancel);
    EXPECT_EQ(dialog->sbtConfirma, dialog->DefaultButton());
}
