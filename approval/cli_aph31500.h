#pragma once

#include "filter/aprovahorasintf.h"
#include "filter/filtro.h"
#include "host/framework/basescreens.h"
#include "host/framework/dbquery.h"
#include "host/framework/moduleexport.h"
#include "host/framework/netconnection.h"

#include <QJsonArray>
#include <QStringList>

#include <functional>
#include <optional>

namespace aph {

enum class TChtAction; // service/policy.h
struct TChtStepPolicy;

// "Apuração de CHT": from a contracted service down to one employee's days
// of hours, approved day by day for billing and commission.
class TfrmAprovaHoras : public TfrmPadraoGrid
{
public:
    TfrmAprovaHoras();
    ~TfrmAprovaHoras() override;

    // --- Datasets, queries, data sources, connection ---------------------
    TClientDataSet cdsServPrest{QStringLiteral("cdsServPrest")};
    TClientDataSet cdsFunc{QStringLiteral("cdsFunc")};
    TClientDataSet cdsCHT{QStringLiteral("cdsCHT")};
    TClientDataSet cdsCSA{QStringLiteral("cdsCSA")};
    TClientDataSet cdsAuxCSA{QStringLiteral("cdsAuxCSA")};
    TADOIBQuery qryOcorr{QStringLiteral("qryOcorr")};
    TDataSource dtsServPrest{QStringLiteral("dtsServPrest")};
    TDataSource dtsFunc{QStringLiteral("dtsFunc")};
    TDataSource dtsCHT{QStringLiteral("dtsCHT")};
    TDataSource dtsOcorr{QStringLiteral("dtsOcorr")};
    TNetConnection netAprovCsa{QStringLiteral("netAprovCsa")};

    // --- Controls ----------------------------------------------------------
    TSplitter* splDetalhe;
    TPanel* panDetalhes;
    TPanel* panSubDetalhe;
    TScrollBox* scbFuncionario;
    TDBGrid* dbgFuncionario;
    TSplitter* splSubDetalhe;
    TScrollBox* scbCHT;
    TDBGrid* dbgCHT;
    TPanel* panCSA;
    TScrollBox* scbCSA;
    TDBGrid* dbgCSA;
    TPanel* panTotalizadorCSA;
    TLabel* Label2;
    TLabel* Label3;
    TLabel* lblPendenteAmostra; // a pending day's hours, as the grid draws them
    TLabel* lblPendente;
    // Says why the days shown take no typing (an approved or billed CHT, a
    // package service's billed hours); empty when they do.
    TLabel* lblBloqueio;
    TLabel* lblHoraTrab;
    TLabel* lblTotHoraTrab;
    TLabel* Label1;
    TLabel* lblVrHoraContratual;
    TLabel* lblHoraFat;
    TLabel* lblTotHoraFat;
    TLabel* lblHrComissionada;
    TLabel* lblTotHoraComis;
    TLabel* lblVrHora;
    TLabel* lblValorHoraAtual;
    TBevel* Bevel1;
    TLabel* lblVrFaturar;
    TLabel* lblTotHorasFinal;
    TLabel* lblX;
    TLabel* lblValorHoraFinal;
    TLabel* lblIgual;
    TNumberEdit* nedVrFaturar;
    TDBText* dbtNome;
    TSpeedButton* sbtFiltrar;
    TSpeedButton* sbtGerarCHT;
    TMenuItem* N1;
    TMenuItem* mnuFiltrar;
    TMenuItem* mnuGerarCHT;
    TMenuItem* N2;
    TMenuItem* mnuAprovarPendentes;
    TMenuItem* mnuHistoricoDia;
    TMenuItem* mnuDemonstrativoCHT;
    // The CHTs of the last generation, pending, through the filter.
    TMenuItem* mnuCHTsGeradas = nullptr;
    TMenuItem* mnuPendencias;
    // "Aprovar CHT", "Reabrir CHT...", "Marcar como faturada...",
    // "Desfazer faturamento...", in that order.
    QList<TMenuItem*> mnuPassosCHT;
    TMenuItem* mnuAceiteCHT = nullptr;

    // What the filter dialog reaches of this screen.
    TAprovaHorasRef Ref;

    // --- Creation and closing ---------------------------------------------------
    void FormCreate(TObject* Sender) override;
    void FormClose(TObject* Sender, TCloseAction& Action) override;
    void netAprovCsaBeforeConnect(TObject* Sender);

    // --- Drill-down ---------------------------------------------------------------
    void cdsServPrestAfterScroll(TDataSet* DataSet);
    void cdsFuncAfterScroll(TDataSet* DataSet);
    void cdsCHTAfterScroll(TDataSet* DataSet);
    void AdcionaData();
    void LoadCSA();
    void HabilitaGrid(bool Enabled);
    void dtsPadraoStateChange(TObject* Sender);
    void sbtFiltrarClick(TObject* Sender);
    void mnuFiltrarClick(TObject* Sender);
    void sbtVerificarClick(TObject* Sender) override;

    // --- Hours and their text -------------------------------------------------------
    QString CalculaTempo(double Tempo) const;
    void cdsAuxCSAQTHRTRABGetText(TField* Sender, QString& Text, bool DisplayText);
    void cdsAuxCSAQTHRAPROFATUGetText(TField* Sender, QString& Text, bool DisplayText);
    void cdsAuxCSAQTHRAPRCOMISGetText(TField* Sender, QString& Text, bool DisplayText);
    void cdsAuxCSAQTHRAPROFATUSetText(TField* Sender, const QString& Text);
    void cdsAuxCSAQTHRAPRCOMISSetText(TField* Sender, const QString& Text);
    void cdsAuxCSADTSERVPRESTGetText(TField* Sender, QString& Text, bool DisplayText);
    void cdsAuxCSAINCLUSAOGetText(TField* Sender, QString& Text, bool DisplayText);

    // --- Editing and validation ---------------------------------------------------------
    void dbgCSAColEnter(TObject* Sender);
    void dbgCSAColExit(TObject* Sender);
    void dbgCSAEditButtonClick(TObject* Sender);
    void dbgCSAEnter(TObject* Sender);
    void dbgCSAExit(TObject* Sender);
    void dbgCSAKeyDown(TObject* Sender, TWord& Key, TShiftState Shift);
    void dbgCSAKeyPress(TObject* Sender, QChar& Key);
    void cdsAuxCSABeforeEdit(TDataSet* DataSet);
    // The situation of the current CHT when it may not change ("A", "R").
    QString SituacaoBloqueada() const;
    void MostraBloqueio();
    void cdsAuxCSAAfterEdit(TDataSet* DataSet);
    void cdsAuxCSABeforePost(TDataSet* DataSet);
    void cdsAuxCSAAfterPost(TDataSet* DataSet);
    void cdsAuxCSAAfterCancel(TDataSet* DataSet);
    void cdsCSABeforePost(TDataSet* DataSet);

    // --- Totals ---------------------------------------------------------------------------
    void TotalizaCSA();
    // Days with hours whose billed or commission approval is still empty.
    int ContaPendentes();
    void MostraPendentes();

    // --- Saving and generating -----------------------------------------------------------
    void cdsCSAAfterPost(TDataSet* DataSet);
    void sbtGerarCHTClick(TObject* Sender);
    // What the generation would bill, shown before its question; false
    // when there is nothing to generate (said, and nothing asked) or the
    // clerk went back from it.
    bool PreviaCHT();
    void mnuCHTsGeradasClick(TObject* Sender);
    // Every figure of the totals panel blank.
    void LimpaTotais();
    void sbtProcurarClick(TObject* Sender) override;

    // --- Pending days at once, a day's history, the CHT statement ---------------------
    void mnuAprovarPendentesClick(TObject* Sender);
    void mnuHistoricoDiaClick(TObject* Sender);
    void mnuDemonstrativoCHTClick(TObject* Sender);
    // "Pendências": the filter's days that need a person, Enter goes to one.
    void mnuPendenciasClick(TObject* Sender);

    // --- A CHT's steps, and what the operator's roles allow ------------------------
    // Takes the current CHT one step (approve, reopen, bill, undo the
    // billing) after asking what the step needs.
    void PassoCHT(TChtAction acao);
    // SetStatusCHT for the CHT; throws the server's refusal.
    void EnviaPassoCHT(const QString& cht, TChtAction acao, const QString& motivo,
                       const QString& nota);
    // Disables, after the screen's state has enabled them, the commands
    // the server would refuse this operator.
    void HabilitaPapeis();
    // The CHT's steps this operator may take on the current CHT now.
    void HabilitaPassosCHT();
    // The client's acceptance link of an approved CHT (aprovahoras_aceite).
    void CreateAceiteMessages();
    void CreateAceiteMenu();
    void HabilitaAceiteCHT();
    void AceiteCHT();
    // What is wrong with a step's typed reason or invoice (campo: its
    // prompt's key); empty when it will do.
    QString ConfereCampoCHT(const char* campo, const QString& valor) const;
    // Days may be edited only by an operator who may approve them; asks
    // the server again before it refuses, and says which role is missing.
    bool PodeEditarDias();
    // A command's key pressed while it is disabled for want of a role:
    // runs it when the server now grants the role, else says which is
    // missing in the status bar.
    void ComandoSemPapel(TControl* comando);
    // After a step: the CHT kept on its list in its new situation, and the
    // status bar saying what changed.
    void DepoisDoPassoCHT(const QString& cht, const TChtStepPolicy& passo, const char* feito);

    // Commission hours that differ from the hours worked (in whole
    // thousandths) need an occurrence.
    static bool ComissaoPedeOcorrencia(double trab, double comis);

    // --- Painting and code captions ------------------------------------------------------
    void dbgCSADrawColumnCell(TObject* Sender, const QRect& Rect, int DataCol, TColumn* Column,
                              TGridDrawState State);
    void dbgCHTDrawColumnCell(TObject* Sender, const QRect& Rect, int DataCol, TColumn* Column,
                              TGridDrawState State);
    void cdsCHTIDSTATUSCHTGetText(TField* Sender, QString& Text, bool DisplayText);
    void cdsServPrestIDTIPOCOBRCONTGetText(TField* Sender, QString& Text, bool DisplayText);

private:
    void CreateDataSets();
    void CreateListFields();
    void CreateDayFields();
    void CreateOccurrenceQuery();
    void CreateMessages();
    void CreateHistoryMessages();
    void CreateChtMessages();
    void CreateChtMenu();
    void CreateLayout();
    void CreatePanels();
    void CreateGrids();
    void CreateToolbar();
    void CreateTotals();
    void WireHandlers();
    void WireDataSets();
    void WireGrids();
    void WireToolbar();
    // The days of the current CHT ("S") or of the CSAs without one ("N")
    // into the server copy.
    void FetchCSA(const QString& kind);
    // The totals panel from a walk over the working copy's days.
    void SumCSA();
    // The server copy's change to the server; on refusal the server copy
    // goes back to what the server holds.
    void SaveCSA();
    // CHTs for everything the filter shows, then the screen reloaded.
    void GenerateCHT();
    // A day whose empty approvals take the hours worked.
    struct TDiaPendente
    {
        QString Dia; // DTSERVPREST as the datasets locate it
        double Horas = 0;
    };
    struct TPendentes
    {
        QList<TDiaPendente> Dias;
        double Horas = 0;
        int Fora = 0; // pending, but the day's checks would refuse them
    };
    TPendentes DiasPendentes();
    QString PerguntaPendentes(const TPendentes& pendentes) const;
    // The days to the server in one save, then into the working copy.
    void AprovaPendentes(const QList<TDiaPendente>& dias);
    void AprovaNaCopia(const QList<TDiaPendente>& dias);
    void CreateExtraMenu();
    void CreatePreviewMessages();
    void CreateGeneratedChtsMenu();
    // SetCHT's and GetPrevCHT's params, from Filtro.
    QJsonArray ArgumentosGeracao() const;
    // After a generation of chts CHTs and the reload.
    void DepoisDaGeracao(int chts);
    // The filter of the last generation that made CHTs.
    std::optional<TFILTRO> m_filtroGerado;
    void CreateOutstandingDaysMessages();
    void CreateOutstandingDaysMenu();
    // The screen on the service, employee, CHT and day of the current line
    // of a GetPendencias list; false when one of them is not on screen.
    bool VaiParaPendencia(const TClientDataSet& pend);
    // Which lines of the list are the service's or employee's the clerk
    // opened it from (the grid with the focus); empty for none.
    std::function<bool(const TDataPacket&, const TRowValues&)> ProprioDaPendencia() const;
    // The file names the grids' exports propose.
    void CreateExportNames();
    // Occurrence codes of the history as "grupo/código – descrição".
    std::function<QString(const QString&)> OccurrenceNames(const QString& dayGroup);
    TDataSource::TNotifyEvent StateChangeHandler();
    TClientDataSet::TDataSetNotifyEvent BeforePostHandler();
};

} // namespace aph

extern "C" {
APH_MODULE_EXPORT extern aph::TfrmAprovaHoras* frmAprovaHoras;
APH_MODULE_EXPORT extern bool boIdCriado;
APH_MODULE_EXPORT extern double dbvtf;
APH_MODULE_EXPORT extern QStringList* stlMarcado;
// The module's one entry: opens the approval screen and its filter.
APH_MODULE_EXPORT void IniProc();
}

namespace aph {
void Cli_aph31500_Initialization();
void Cli_aph31500_Finalization();
} // namespace aph
