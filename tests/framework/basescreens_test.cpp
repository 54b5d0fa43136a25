#include "host/data/exceptions.h"
#include "host/framework/basescreens.h"
#include "tests/support/env.h"
#include "tests/support/scripted_desktop.h"
#include "tests/support/text.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace aph;
using namespace aph::test;

namespace {

class TfrmLista : public TfrmPadraoGrid
{
public:
    TfrmLista() : TfrmPadraoGrid(S("frmLista"))
    {
        cdsLista.AddField(S("NMFUNC"), TFieldType::ftString, 40);
        cdsLista.CreateDataSet();
        cdsLista.Append();
        cdsLista.FieldByName(S("NMFUNC"))->SetAsString(S("Ana"));
        cdsLista.Post();
        dtsPadrao->SetDataSet(&cdsLista);
        cdsLista.BeforePost = [this](TDataSet*) {
            if (refusePost)
                throw Exception(S("Registro recusado."));
        };
    }
    TClientDataSet cdsLista{S("cdsLista")};
    bool refusePost = false;
};

class TfrmFiltro : public TfrmFiltroPadrao
{
public:
    TfrmFiltro() : TfrmFiltroPadrao(S("frmFiltro"))
    {
        lblCodTela->SetCaption(S("TST00001"));
        chbSem = panFiltro->Add<TCheckBox>(S("chbSem"));
        depIni = panFiltro->Add<TDateEditPlus>(S("depIni"));
    }
    void btfSaveOpcClick(TObject* Sender) override
    {
        SetOptionValue(S("stCliente"), stCliente);
        TfrmFiltroPadrao::btfSaveOpcClick(Sender);
    }
    void btfLoadOpcClick(TObject* Sender) override
    {
        stCliente = OptionValue(S("stCliente"));
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
    EXPECT_EQ(form->sbtProcurar->Hint(), S("Procurar"));
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
    form->cdsLista.FieldByName(S("NMFUNC"))->SetAsString(S("Bia"));
    form->refusePost = true;
    desktop.answers = {mrYes};
    UserClick(form->sbtFechar);
    EXPECT_TRUE(Application()->Owns(form)) << "a refused post keeps the screen open";
    EXPECT_EQ(desktop.errors, QStringList{S("Registro recusado.")});
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
    dialog->stCliente = S(R"(["000,1","a \"b\"","x|y"])");
    dialog->chbSem->SetChecked(true);
    dialog->depIni->SetText(S("21/06/2008"));
    desktop.inputs = {S("Clientes do sul")};
    UserClick(dialog->btfSaveOpc);
    EXPECT_TRUE(desktop.errors.isEmpty()) << desktop.errors.join(u'\n').toStdString();
    EXPECT_EQ(dialog->SavedOptionSets(), QStringList{S("Clientes do sul")});

    dialog->stCliente.clear();
    dialog->chbSem->SetChecked(false);
    dialog->depIni->SetText(QString());
    desktop.stringPicks = {0};
    UserClick(dialog->btfLoadOpc);
    EXPECT_EQ(dialog->stCliente, S(R"(["000,1","a \"b\"","x|y"])"));
    EXPECT_TRUE(dialog->chbSem->Checked());
    EXPECT_EQ(dialog->depIni->Text(), S("21/06/2008"));
}

TEST(BaseFilterDialog, LoadingWithNothingSavedSaysSo)
{
    QTemporaryDir home;
    ScopedEnv config("XDG_CONFIG_HOME", home.path().toUtf8().constData());
    ScriptedDesktop desktop;
    auto* dialog = Application()->CreateForm<TfrmFiltro>();
    dialog->stCliente = S("T");
    UserClick(dialog->btfLoadOpc);
    EXPECT_EQ(desktop.questions, QStringList{S("Não há opções salvas para esta tela.")});
    EXPECT_EQ(dialog->stCliente, S("T"));
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
