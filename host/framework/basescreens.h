#pragma once

#include "host/data/dataset.h"
#include "host/framework/messages.h"
#include "host/ui/dbcontrols.h"
#include "host/ui/dbgrid.h"
#include "host/ui/editors.h"
#include "host/ui/form.h"
#include "host/ui/menu.h"

namespace aph {

// The base of list screens: a toolbar of maintenance buttons with their
// menu entries, a page holding the master grid, a navigator below, the data
// source the toolbar works on, the message table and the screen code.
class TfrmPadraoGrid : public TForm
{
public:
    explicit TfrmPadraoGrid(QString name);
    ~TfrmPadraoGrid() override;

    TPanel* panMenu = nullptr;
    TSpeedButton* sbtIncluir = nullptr;
    TSpeedButton* sbtAlterar = nullptr;
    TSpeedButton* sbtExcluir = nullptr;
    TSpeedButton* sbtProcurar = nullptr;
    TSpeedButton* sbtVerificar = nullptr;
    TSpeedButton* sbtCancelar = nullptr;
    TSpeedButton* sbtConfirmar = nullptr;
    TSpeedButton* sbtImprimir = nullptr;
    TSpeedButton* sbtAjuda = nullptr;
    TSpeedButton* sbtFechar = nullptr;
    TLabel* lblCodTela = nullptr;
    TMainMenu* mnuMenu = nullptr;
    TMenuItem* mnuManutencao = nullptr;
    TMenuItem* mnuIncluir = nullptr;
    TMenuItem* mnuAlterar = nullptr;
    TMenuItem* mnuExcluir = nullptr;
    TMenuItem* mnuProcurar = nullptr;
    TMenuItem* mnuVerificar = nullptr;
    TMenuItem* mnuCancelar = nullptr;
    TMenuItem* mnuConfirmar = nullptr;
    TPageControl* pgcPadrao = nullptr;
    TTabSheet* tshPadrao = nullptr;
    TPanel* panDbgPadrao = nullptr;
    TScrollBox* scbFolhaDados = nullptr;
    TDBGrid* dbgPadrao = nullptr;
    TPanel* panNavigator = nullptr;
    TDBNavigator* dbnPadrao = nullptr;
    TDataSource* dtsPadrao = nullptr;
    TMessages* msgPadrao = nullptr;

    // Screens that replace these call the base first (creation) or inside
    // their own (closing).
    virtual void FormCreate(TObject* Sender);
    virtual void FormClose(TObject* Sender, TCloseAction& Action);
    virtual void FormCloseQuery(TObject* Sender, bool& CanClose);

    virtual void sbtIncluirClick(TObject* Sender);
    virtual void sbtAlterarClick(TObject* Sender);
    virtual void sbtExcluirClick(TObject* Sender);
    virtual void sbtProcurarClick(TObject* Sender);
    virtual void sbtVerificarClick(TObject* Sender);
    virtual void sbtCancelarClick(TObject* Sender);
    virtual void sbtConfirmarClick(TObject* Sender);
    virtual void sbtImprimirClick(TObject* Sender);
    virtual void sbtAjudaClick(TObject* Sender);
    virtual void sbtFecharClick(TObject* Sender);

    // Key handlers the screens' list grids share: lists are browsed, never
    // extended or shortened from the keyboard.
    void dbgPadraoKeyDown(TObject* Sender, TWord& Key, TShiftState Shift);
    void dbgPadraoKeyPress(TObject* Sender, QChar& Key);

protected:
    // Wires the handlers by name; screens call it once their own controls
    // exist, then run FormCreate.
    void WireBase();
    TClientDataSet* PadraoDataSet() const { return dtsPadrao->DataSet(); }

private:
    // The toolbar's keys, on its buttons and their menu entries.
    void SetShortCuts();

    std::unique_ptr<TDataSource> m_dtsPadrao;
    std::unique_ptr<TMessages> m_msgPadrao;
};

// The base of filter dialogs: a filter area, a button panel with the
// confirm button and the option-set buttons, the message table and the
// screen code. Option sets are name=value lists saved per screen code.
class TfrmFiltroPadrao : public TForm
{
public:
    explicit TfrmFiltroPadrao(QString name);
    ~TfrmFiltroPadrao() override;

    TPanel* panFiltro = nullptr;
    TPanel* panBotoes = nullptr;
    TSpeedButton* sbtConfirma = nullptr;
    TSpeedButton* sbtCancela = nullptr;
    TSpeedButton* btfSaveOpc = nullptr;
    TSpeedButton* btfLoadOpc = nullptr;
    TLabel* lblCodTela = nullptr;
    TMessages* msgPadrao = nullptr;
    // The option set being saved or just loaded, as name=value lines.
    QStringList Opcoes;

    QString OptionValue(const QString& name) const;
    void SetOptionValue(const QString& name, const QString& value);

    virtual void FormCreate(TObject* Sender);
    virtual void sbtConfirmaClick(TObject* Sender);
    virtual void sbtCancelaClick(TObject* Sender);
    // Saving: the screen puts its own values into Opcoes, then calls this,
    // which adds the states of the filter area's boxes and dates and asks
    // for a name.
    virtual void btfSaveOpcClick(TObject* Sender);
    // Loading: the base has already filled Opcoes from the chosen set when
    // this runs; the screen reads its values, then calls this, which puts
    // the boxes and dates back.
    virtual void btfLoadOpcClick(TObject* Sender);

    // Where option sets of a screen code are kept.
    static QString OptionFile(const QString& screenCode);
    QStringList SavedOptionSets() const;
    // The set the operator marked, when saving it, as the one the screen
    // opens with; empty for none (the screen's own first show).
    QString StartOptionSet() const;
    // Fills Opcoes from the marked set; false when none is marked. The
    // screen calls it at its first show, then btfLoadOpcClick.
    bool LoadStartOptionSet();

protected:
    void WireBase();

private:
    bool ChooseOptionSet();
    void ReadOptionSet(const QString& name);
    // After a save: asks whether the set is the one the screen opens with.
    void AskStartOptionSet(const QString& name);
    std::unique_ptr<TMessages> m_msgPadrao;
};

} // namespace aph
