#pragma once

#include "filter/filtro.h"
#include "host/framework/basescreens.h"
#include "host/framework/dbquery.h"

namespace aph {

// The filter dialog "Filtro Apuração CHT": which clients, employees,
// proposals, period and situations the approval screen shows.
class TfrmFiltroCsa : public TfrmFiltroPadrao
{
public:
    TfrmFiltroCsa();
    ~TfrmFiltroCsa() override;

    // Controls.
    TGroupBox* grbCliente;
    TRadioButton* rbtTodosCli;
    TRadioButton* rbtListaCli;
    TBtnPesquisa* btnPesqCli;
    TGroupBox* grbFuncionario;
    TRadioButton* rbtTodosFunc;
    TRadioButton* rbtListaFunc;
    TBtnPesquisa* btnPesqFunc;
    TGroupBox* grbSituacao;
    TCheckBox* chbSemCHTGerada;
    TCheckBox* chbComCHTGerada;
    TGroupBox* grbProposta;
    TRadioButton* rbtTodosProp;
    TRadioButton* rbtListaProp;
    TBtnPesquisa* btnPesqProp;
    TGroupBox* grbPeriodo;
    TLabel* lblDe;
    TDateEditPlus* depDtInicial;
    TLabel* lblAte;
    TDateEditPlus* depDtFinal;
    TGroupBox* grbSituacaoCHT;
    TCheckBox* chbCHT_Pendente;
    TCheckBox* chbCHT_Aprovado;
    TCheckBox* chbCHT_Faturado;
    TCheckBox* chbCHT_Nao_Faturar;

    // Queries and lists.
    TADOIBQuery qryData{QStringLiteral("qryData")};
    TADOIBQuery qryCliente{QStringLiteral("qryCliente")};
    TDataSource dtsCliente{QStringLiteral("dtsCliente")};
    TADOIBQuery qryFuncionario{QStringLiteral("qryFuncionario")};
    TDataSource dtsFuncionario{QStringLiteral("dtsFuncionario")};
    TClientDataSet cdsProposta{QStringLiteral("cdsProposta")};
    TDataSource dtsProposta{QStringLiteral("dtsProposta")};

    // Working fields.
    QString stCliente;
    QString stFuncionario;
    QString stProposta;
    QString stSituacaoCSA;
    QString stSituacaoCHT;

    // Life cycle.
    void FormCreate(TObject* Sender) override;
    void FormActivate(TObject* Sender);
    void FormClose(TObject* Sender, TCloseAction& Action);

    // Reactions.
    void rbtTodosCliClick(TObject* Sender);
    void rbtListaCliClick(TObject* Sender);
    void rbtTodosFuncClick(TObject* Sender);
    void rbtListaFuncClick(TObject* Sender);
    void rbtTodosPropClick(TObject* Sender);
    void rbtListaPropClick(TObject* Sender);
    void chbComCHTGeradaClick(TObject* Sender);
    void depDtInicialExit(TObject* Sender);
    void depDtFinalExit(TObject* Sender);
    // PageUp and PageDown in either date: the whole month before or after
    // the one the period ends in.
    void depPeriodoKeyDown(TObject* Sender, TWord& Key, TShiftState Shift);

    // Checks.
    void Vd_Cliente();
    void Vd_Funcionario();
    void Vd_Proposta();
    void Vd_DtInicial(bool required);
    void Vd_DtFinal(bool required);

    // Option sets.
    void btfSaveOpcClick(TObject* Sender) override;
    void btfLoadOpcClick(TObject* Sender) override;

    // Pickers.
    void btnPesqCliClick(TObject* Sender);
    void btnPesqFuncClick(TObject* Sender);
    void btnPesqPropClick(TObject* Sender);
    void qryClienteNRINSJURCLIEGetText(TField* Sender, QString& Text, bool DisplayText);
    void cdsPropostaNRINSJURCLIEGetText(TField* Sender, QString& Text, bool DisplayText);

    // Confirmation: by the dialog's own button, or a refresh on behalf of
    // the approval screen for any other sender.
    void sbtConfirmaClick(TObject* Sender) override;
    // The CSA and CHT situation codes the service reads, from the boxes
    // (the approval screen rebuilds them when it sets the boxes itself).
    void BuildSituationCodes();

private:
    // The choices, lists, dates and CSA boxes from Filtro, and the four CHT
    // situation boxes too when asked.
    void RestoreFromFiltro(bool chtBoxes);
    // The dialog's choices into Filtro, for the screen and the next showing.
    void StoreFiltro();
    // The services for the filter, then the dialog closes.
    void LoadServices();
    void FetchServices();
    // The proposal list for the picker, from the approval service.
    void LoadProposals();
    // The dialog's parts, made once by the constructor.
    void CreateTopGroups();
    void CreateBottomGroups();
    void CreateMessages();
    void CreateQueries();
    void CreatePickers();
    void WireHandlers();
    void ChoiceClick(TRadioButton* todos, TBtnPesquisa* picker, bool lista);
    void Vd_Lista(TRadioButton* lista, const QString& selection, const char* key);
    void FocusDate(TDateEditPlus* target, TDateEditPlus* other);
    // A month and year typed in "De" fills the period with the whole month.
    void ExpandTypedMonth();
    void Vd_Data(TDateEditPlus* edit, TDateEditPlus* other, bool required, const char* emptyKey,
                 bool editIsStart);
    // Whether the dialog has been shown since it was made: the first show
    // loads the option set the operator marked, if any.
    bool m_mostrado = false;
};

// Shows the filter dialog modally, creating it on first use.
void CriaFiltroCsa();

} // namespace aph

extern "C" {
// The one filter dialog; null until it is first shown.
APH_MODULE_EXPORT extern aph::TfrmFiltroCsa* frmFiltroCsa;
}

namespace aph {
// Unit start and end, run by the module's load and unload.
void Cli_aph31501_Initialization();
void Cli_aph31501_Finalization();
} // namespace aph
