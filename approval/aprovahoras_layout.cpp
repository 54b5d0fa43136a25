// The approval screen's datasets, layout, grids, toolbar, menu and message
// table, and its creation and closing.
#include "approval/cli_aph31500.h"
#include "filter/cli_aph31501.h"
#include "host/framework/environment.h"
#include "host/framework/functions.h"

extern "C" {
aph::TfrmAprovaHoras* frmAprovaHoras = nullptr;
bool boIdCriado = false;
double dbvtf = 0;
QStringList* stlMarcado = nullptr;
}

namespace aph {

namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

TField* Str(TClientDataSet& ds, const char* name, int size, const char* label = nullptr,
            bool hidden = false)
{
    TField* f = ds.AddField(S(name), TFieldType::ftString, size);
    if (label)
        f->SetDisplayLabel(S(label));
    f->SetVisible(!hidden);
    return f;
}

TField* Num(TClientDataSet& ds, const char* name, const char* label = nullptr, bool hidden = false)
{
    TField* f = ds.AddField(S(name), TFieldType::ftFloat);
    if (label)
        f->SetDisplayLabel(S(label));
    f->SetVisible(!hidden);
    return f;
}

TField* Date(TClientDataSet& ds, const char* name, const char* label = nullptr, bool hidden = false)
{
    TField* f = ds.AddField(S(name), TFieldType::ftDateTime);
    if (label)
        f->SetDisplayLabel(S(label));
    f->SetVisible(!hidden);
    return f;
}

// The eighteen CSA fields, in their order, for the server and working copies.
void CsaFields(TClientDataSet& ds, bool allHidden)
{
    Str(ds, "CDGRPOCOR", 2, nullptr, allHidden);
    Str(ds, "CDOCORR", 2, nullptr, allHidden);
    Str(ds, "DSOCORR", 40, nullptr, allHidden);
    Str(ds, "CDEMPRESA", 2, nullptr, allHidden);
    Str(ds, "CDFUNC", 10, nullptr, allHidden);
    Str(ds, "CDCLIENTE", 21, nullptr, allHidden);
    Str(ds, "NRSERVPREST", 5, nullptr, allHidden);
    Date(ds, "DTSERVPREST", nullptr, allHidden);
    Str(ds, "CDTIPOSERV", 3, nullptr, allHidden);
    Str(ds, "NRAPURFATFAS", 10, nullptr, allHidden);
    Num(ds, "QTHRAPRCOMIS", nullptr, allHidden);
    Num(ds, "QTHRAPROFATU", nullptr, allHidden);
    Num(ds, "QTHRTRAB", nullptr, allHidden);
    Str(ds, "NRVERPROPFAS", 2, nullptr, allHidden);
    Str(ds, "NRPROPOSFAS", 20, nullptr, allHidden);
    Str(ds, "NRSEQUCHT", 5, nullptr, allHidden);
    Str(ds, "NRSERVCONT", 3, nullptr, allHidden);
    Str(ds, "INCLUSAO", 66, "Inclusão", true);
}

constexpr TGridOptions kListOptions = dgTitles | dgColumnResize | dgColLines | dgRowLines | dgTabs |
                                      dgAlwaysShowSelection | dgConfirmDelete | dgCancelOnExit;

TFont TitleFont()
{
    TFont f;
    f.Name = S("MS Sans Serif");
    f.Size = 8;
    return f;
}

TLabel* CaptionLabel(TPanel* panel, const char* name, const char* caption, int left, int top)
{
    auto* l = panel->Add<TLabel>(S(name));
    const QString text = S(caption);
    l->SetBounds(left, top, static_cast<int>(text.size()) * 6 + 2, 13);
    l->SetCaption(text);
    TFont f;
    f.Name = S("MS Sans Serif");
    f.Size = 8;
    f.Color = clBlack;
    l->SetFont(f);
    l->SetColor(clBtnFace);
    return l;
}

TLabel* ValueLabel(TPanel* panel, const char* name, int left, int top)
{
    auto* l = panel->Add<TLabel>(S(name));
    l->SetBounds(left, top, 66, 15);
    l->SetColor(clWhite);
    l->SetTransparent(false);
    l->SetAlignment(TLabel::TTextAlign::Right);
    TFont f = l->Font();
    f.Bold = true;
    l->SetFont(f);
    l->SetEnabled(false);
    return l;
}

} // namespace

TfrmAprovaHoras::TfrmAprovaHoras() : TfrmPadraoGrid(S("frmAprovaHoras"))
{
    SetCaption(S("Apuração de CHT"));
    SetClientSize(965, 570);
    lblCodTela->SetCaption(S("APH31500"));
    CreateDataSets();
    CreateLayout();
    CreateTotals();
    WireHandlers();

    Ref.netAprovCsa = &netAprovCsa;
    Ref.cdsServPrest = &cdsServPrest;
    Ref.cdsFunc = &cdsFunc;
    Ref.cdsCHT = &cdsCHT;
    Ref.cdsCSA = &cdsCSA;
    Ref.cdsAuxCSA = &cdsAuxCSA;
    Ref.dtsServPrest = &dtsServPrest;
    Ref.lblTotHoraFat = lblTotHoraFat;
    Ref.lblTotHoraComis = lblTotHoraComis;
    Ref.nedVrFaturar = nedVrFaturar;
    Ref.dbgPadrao = dbgPadrao;
    Ref.cdsServPrestAfterScroll = [this](TDataSet* d) {
        cdsServPrestAfterScroll(d);
    };
}

TfrmAprovaHoras::~TfrmAprovaHoras()
{
    if (frmAprovaHoras == this)
        frmAprovaHoras = nullptr;
    // Nothing of this screen may run while its parts go away.
    dtsPadrao->OnStateChange = nullptr;
    for (TClientDataSet* ds : {&cdsServPrest, &cdsFunc, &cdsCHT, &cdsCSA, &cdsAuxCSA}) {
        ds->AfterScroll = nullptr;
        ds->AfterPost = nullptr;
    }
    dtsPadrao->SetDataSet(nullptr);
}

void TfrmAprovaHoras::CreateDataSets()
{
    Str(cdsServPrest, "CDCLIENTE", 21, nullptr, true);
    Str(cdsServPrest, "NMFANTCLIE", 50, "Cliente");
    Str(cdsServPrest, "NRPROPOSTA", 23, "Proposta");
    Str(cdsServPrest, "DSREFEPROPOSFAS", 100, "Referência da Proposta");
    Str(cdsServPrest, "NRPROPOSFAS", 20, "Proposta", true);
    Str(cdsServPrest, "NRVERPROPFAS", 2, nullptr, true);
    Str(cdsServPrest, "CDTIPOSERV", 3, nullptr, true);
    Str(cdsServPrest, "NMTIPOSERV", 80, "Tipo de Atividade");
    Num(cdsServPrest, "QTSERVCONT", nullptr, true);
    Str(cdsServPrest, "DSLOCALCONT", 250, nullptr, true);
    Str(cdsServPrest, "NRSERVCONT", 3, nullptr, true);
    Str(cdsServPrest, "IDTIPOCOBRCONT", 1, "Cobrança", true)->OnGetText =
        [this](TField* s, QString& t, bool d) {
            cdsServPrestIDTIPOCOBRCONTGetText(s, t, d);
        };
    Num(cdsServPrest, "VRHORACLIE", nullptr, true)->SetDisplayFormat(S("#,###,##0.00"));
    Num(cdsServPrest, "VRDEHORACLIE", nullptr, true)->SetDisplayFormat(S("#,###,##0.00"));

    Str(cdsFunc, "NMFUNC", 40, "Funcionário");
    Str(cdsFunc, "CDFUNC", 10, nullptr, true);
    Str(cdsFunc, "CDEMPRESA", 2, nullptr, true);

    Str(cdsCHT, "NRSEQUCHT", 5, nullptr, true);
    Str(cdsCHT, "DSREFECHT", 100, "CHT");
    Date(cdsCHT, "DTINCLCHT", "Dt. Lançamento");
    Str(cdsCHT, "CDOPERINCL", 12, nullptr, true);
    Str(cdsCHT, "NMOPERADOR", 50, "Operador");
    Num(cdsCHT, "QTSERVCONT", nullptr, true);
    Str(cdsCHT, "IDTIPOCOBRCONT", 1, nullptr, true);
    Num(cdsCHT, "QTHRTRAB", nullptr, true);
    Str(cdsCHT, "IDSTATUSCHT", 1, nullptr, true)->OnGetText = [this](TField* s, QString& t,
                                                                     bool d) {
        cdsCHTIDSTATUSCHTGetText(s, t, d);
    };

    CsaFields(cdsCSA, false);
    CsaFields(cdsAuxCSA, true);
    cdsAuxCSA.SetIndexFieldNames(S("DTSERVPREST"));
    TField* f = cdsAuxCSA.FieldByName(S("DTSERVPREST"));
    f->SetDisplayLabel(S("Data"));
    f->OnGetText = [this](TField* s, QString& t, bool d) {
        cdsAuxCSADTSERVPRESTGetText(s, t, d);
    };
    f = cdsAuxCSA.FieldByName(S("QTHRAPRCOMIS"));
    f->SetDisplayFormat(S("!990:00;1; "));
    f->SetEditFormat(S("!990:00;1; "));
    f->OnGetText = [this](TField* s, QString& t, bool d) {
        cdsAuxCSAQTHRAPRCOMISGetText(s, t, d);
    };
    f->OnSetText = [this](TField* s, const QString& t) {
        cdsAuxCSAQTHRAPRCOMISSetText(s, t);
    };
    f = cdsAuxCSA.FieldByName(S("QTHRAPROFATU"));
    f->SetDisplayFormat(S("!990:00;1; "));
    f->SetEditFormat(S("!990:00;1; "));
    f->OnGetText = [this](TField* s, QString& t, bool d) {
        cdsAuxCSAQTHRAPROFATUGetText(s, t, d);
    };
    f->OnSetText = [this](TField* s, const QString& t) {
        cdsAuxCSAQTHRAPROFATUSetText(s, t);
    };
    f = cdsAuxCSA.FieldByName(S("QTHRTRAB"));
    f->SetReadOnly(true);
    f->OnGetText = [this](TField* s, QString& t, bool d) {
        cdsAuxCSAQTHRTRABGetText(s, t, d);
    };
    f = cdsAuxCSA.FieldByName(S("INCLUSAO"));
    f->OnGetText = [this](TField* s, QString& t, bool d) {
        cdsAuxCSAINCLUSAOGetText(s, t, d);
    };

    qryOcorr.SQL = {S("SELECT"),   S("  CDGRPOCOR, CDOCORR, DSOCORR"), S("FROM"), S("  OCORRENCIA"),
                    S("ORDER BY"), S("  CDGRPOCOR, CDOCORR")};
    qryOcorr.SQL_IB = qryOcorr.SQL;
    f = Str(qryOcorr, "CDOCORR", 2, "Código");
    f->SetDisplayWidth(7);
    f = Str(qryOcorr, "CDGRPOCOR", 2, "Grupo");
    f->SetDisplayWidth(7);
    Str(qryOcorr, "DSOCORR", 40, "Descrição");

    dtsServPrest.SetDataSet(&cdsServPrest);
    dtsFunc.SetDataSet(&cdsFunc);
    dtsCHT.SetDataSet(&cdsCHT);
    dtsPadrao->SetDataSet(&cdsAuxCSA);
    dtsOcorr.SetDataSet(&qryOcorr);

    netAprovCsa.SetServerName(S("APH31500.rdmAprovCsaFat"));
    netAprovCsa.SetHost(S("127.0.0.1"));
    netAprovCsa.SetThrowException(false);

    msgPadrao->SetScreenCode(S("APH31500"));
    msgPadrao->SetLines({
        S("Excl|Confirma exclusão?"),
        S("Hr_Aprov<|Quantidade de Horas Aprovadas para Comissão deve ser menor ou igual à "
          "Quantidade de Horas Trabalhadas."),
        S("Ocorr_Inf|Ocorrência deve ser informada."),
        S("ocorrencia|Ocorrência"),
        S("Hr_Norm<|Quantidade de Horas Normais para Faturamento deve ser menor ou igual à "
          "Quantidade de Horas Trabalhadas."),
        S("Hr_Extr<|Quantidade de Horas Extras para Faturamento deve ser menor ou igual à "
          "Quantidade de Horas Trabalhadas."),
        S("Hr_Total<|A soma da Quantidade de Horas Aprovadas para Comissão e da Quantidade de "
          "Horas Extras deve ser menor ou igual à Quantidade de Horas Trabalhadas."),
        S("NAO_FATURAR|Não faturar"),
        S("APROVADA|Aprovada"),
        S("PENDENTE|Pendente"),
        S("FATURADA|Faturada"),
        S("CONF_GERAR_CHT|Confirma a geração da CHT para todas as CSA´s mostradas na tela?"),
        S("HORA|Vr. Hora"),
        S("FIXO|Vr. Fixo"),
        S("PACOTE|Vr. Pacote"),
    });
}

void TfrmAprovaHoras::CreateLayout()
{
    // The page: services on top, then employees and CHTs beside the days.
    splDetalhe = tshPadrao->Add<TSplitter>(S("splDetalhe"));
    splDetalhe->SetAlign(TAlign::alTop);
    splDetalhe->SetHeight(5);
    panDetalhes = tshPadrao->Add<TPanel>(S("panDetalhes"));
    panDetalhes->SetAlign(TAlign::alClient);
    panSubDetalhe = panDetalhes->Add<TPanel>(S("panSubDetalhe"));
    panSubDetalhe->SetAlign(TAlign::alLeft);
    panSubDetalhe->SetWidth(430);
    scbFuncionario = panSubDetalhe->Add<TScrollBox>(S("scbFuncionario"));
    scbFuncionario->SetAlign(TAlign::alTop);
    scbFuncionario->SetHeight(153);
    dbgFuncionario = scbFuncionario->Add<TDBGrid>(S("dbgFuncionario"));
    dbgFuncionario->SetAlign(TAlign::alClient);
    splSubDetalhe = panSubDetalhe->Add<TSplitter>(S("splSubDetalhe"));
    splSubDetalhe->SetAlign(TAlign::alTop);
    splSubDetalhe->SetHeight(4);
    scbCHT = panSubDetalhe->Add<TScrollBox>(S("scbCHT"));
    scbCHT->SetAlign(TAlign::alClient);
    dbgCHT = scbCHT->Add<TDBGrid>(S("dbgCHT"));
    dbgCHT->SetAlign(TAlign::alClient);
    panCSA = panDetalhes->Add<TPanel>(S("panCSA"));
    panCSA->SetAlign(TAlign::alClient);
    scbCSA = panCSA->Add<TScrollBox>(S("scbCSA"));
    scbCSA->SetAlign(TAlign::alClient);
    dbgCSA = scbCSA->Add<TDBGrid>(S("dbgCSA"));
    dbgCSA->SetAlign(TAlign::alClient);

    dbtNome = panNavigator->Add<TDBText>(S("dbtNome"));
    dbtNome->SetAlign(TAlign::alClient);
    dbtNome->SetDataSource(&dtsServPrest);
    dbtNome->SetDataField(S("NMFANTCLIE"));
    dbnPadrao->SetDataSource(&dtsServPrest);

    // Grids: no indicator, titles, resizable columns, lines, tabs, the
    // selection always shown; only the days take edits, only the employees
    // select whole rows.
    dbgPadrao->SetDataSource(&dtsServPrest);
    dbgPadrao->SetOptions(kListOptions);
    dbgFuncionario->SetDataSource(&dtsFunc);
    dbgFuncionario->SetOptions(kListOptions | dgRowSelect);
    dbgCHT->SetDataSource(&dtsCHT);
    dbgCHT->SetOptions(kListOptions);
    dbgCSA->SetDataSource(dtsPadrao);
    dbgCSA->SetOptions(kListOptions | dgEditing);
    for (TDBGrid* g : {dbgFuncionario, dbgCHT, dbgCSA}) {
        g->SetColor(clInfoBk);
        g->SetTitleFont(TitleFont());
    }
    dbgCHT->SetDefaultDrawing(false);
    dbgCSA->SetDefaultDrawing(false);

    dbgPadrao->AddColumn(S("NMFANTCLIE"), {}, 169);
    dbgPadrao->AddColumn(S("NMTIPOSERV"), {}, 132);
    dbgPadrao->AddColumn(S("NRPROPOSTA"), {}, 87);
    dbgPadrao->AddColumn(S("DSREFEPROPOSFAS"), S("Referência da proposta"), 131);
    dbgPadrao->AddColumn(S("DSLOCALCONT"), S("Desc.Local"), 97);
    dbgPadrao->AddColumn(S("IDTIPOCOBRCONT"), {}, 57);
    dbgPadrao->AddColumn(S("QTSERVCONT"), S("Hr. Contratada"), 74);
    dbgPadrao->AddColumn(S("VRHORACLIE"), S("Vr.Hr.Contrato"));
    dbgFuncionario->AddColumn(S("CDFUNC"), S("Código"));
    dbgFuncionario->AddColumn(S("NMFUNC"), S("Nome do Funcionário"), 344);
    dbgCHT->AddColumn(S("IDSTATUSCHT"), S("Situação CHT"));
    dbgCHT->AddColumn(S("NRSEQUCHT"), S("Nr. CHT"), 45);
    dbgCHT->AddColumn(S("DSREFECHT"), S("Descrição da CHT"), 204);
    dbgCHT->AddColumn(S("DTINCLCHT"), S("Dt. Geração CHT"), 90);
    dbgCHT->AddColumn(S("NMOPERADOR"), {}, 112);
    dbgCSA->AddColumn(S("DTSERVPREST"), {}, 81);
    dbgCSA->AddColumn(S("QTHRTRAB"), S("Hrs.Serv.Prestado"), 94);
    dbgCSA->AddColumn(S("QTHRAPROFATU"), S("Hrs.Serv.Fat."));
    dbgCSA->AddColumn(S("QTHRAPRCOMIS"), S("Hrs.Comissão"), 67);
    dbgCSA->AddColumn(S("DSOCORR"), S("Ocorrência"), 63, TColumnButtonStyle::cbsEllipsis);
    dbgCSA->AddColumn(S("INCLUSAO"));

    // Toolbar: this screen's own buttons, and the base's last three moved
    // after them.
    sbtFiltrar = panMenu->Add<TSpeedButton>(S("sbtFiltrar"));
    sbtFiltrar->SetBounds(182, 5, 21, 21);
    sbtFiltrar->SetHint(S("Filtrar"));
    sbtFiltrar->SetGlyph(S("filter"));
    sbtGerarCHT = panMenu->Add<TSpeedButton>(S("sbtGerarCHT"));
    sbtGerarCHT->SetBounds(204, 5, 21, 21);
    sbtGerarCHT->SetHint(S("Gerar CHT"));
    sbtGerarCHT->SetGlyph(S("generate"));
    sbtGerarCHT->SetEnabled(false);
    for (TSpeedButton* b : {sbtFiltrar, sbtGerarCHT}) {
        b->SetFlat(true);
        b->SetShowHint(true);
    }
    sbtImprimir->SetLeft(239);
    sbtImprimir->SetEnabled(false);
    sbtAjuda->SetLeft(275);
    sbtFechar->SetLeft(311);

    N1 = mnuManutencao->Add<TMenuItem>(S("N1"));
    N1->SetCaption(S("-"));
    mnuFiltrar = mnuManutencao->Add<TMenuItem>(S("mnuFiltrar"));
    mnuFiltrar->SetCaption(S("&Filtrar"));
    mnuFiltrar->SetHint(S("Filtrar"));
    mnuFiltrar->SetShortCut(ShortCut('L', ssCtrl));
    mnuGerarCHT = mnuManutencao->Add<TMenuItem>(S("mnuGerarCHT"));
    mnuGerarCHT->SetCaption(S("&Gerar CHT"));
    mnuGerarCHT->SetShortCut(ShortCut('G', ssCtrl));
}

void TfrmAprovaHoras::CreateTotals()
{
    panTotalizadorCSA = scbCSA->Add<TPanel>(S("panTotalizadorCSA"));
    panTotalizadorCSA->SetAlign(TAlign::alBottom);
    panTotalizadorCSA->SetBounds(0, 0, 513, 93);
    Label2 = CaptionLabel(panTotalizadorCSA, "Label2", "         ", 6, 8);
    Label2->SetBounds(6, 8, 27, 13);
    Label2->SetColor(clRed);
    Label2->SetTransparent(false);
    Label3 = CaptionLabel(panTotalizadorCSA, "Label3", "Hora Extra", 40, 8);
    lblHoraTrab = CaptionLabel(panTotalizadorCSA, "lblHoraTrab", "Horas Trabalhadas", 4, 32);
    lblTotHoraTrab = ValueLabel(panTotalizadorCSA, "lblTotHoraTrab", 97, 32);
    Label1 = CaptionLabel(panTotalizadorCSA, "Label1", "Vr.Hora Contratual", 351, 32);
    lblVrHoraContratual = ValueLabel(panTotalizadorCSA, "lblVrHoraContratual", 443, 32);
    lblHoraFat = CaptionLabel(panTotalizadorCSA, "lblHoraFat", "Horas Faturadas", 4, 51);
    lblTotHoraFat = ValueLabel(panTotalizadorCSA, "lblTotHoraFat", 97, 51);
    lblHrComissionada =
        CaptionLabel(panTotalizadorCSA, "lblHrComissionada", "Horas Comissionadas", 169, 51);
    lblTotHoraComis = ValueLabel(panTotalizadorCSA, "lblTotHoraComis", 282, 50);
    lblVrHora = CaptionLabel(panTotalizadorCSA, "lblVrHora", "Vr. Hora à Faturar", 351, 51);
    lblValorHoraAtual = ValueLabel(panTotalizadorCSA, "lblValorHoraAtual", 443, 50);
    Bevel1 = panTotalizadorCSA->Add<TBevel>(S("Bevel1"));
    Bevel1->SetBounds(1, 68, 510, 2);
    lblVrFaturar = CaptionLabel(panTotalizadorCSA, "lblVrFaturar", "Valor a Faturar", 6, 74);
    lblTotHorasFinal = ValueLabel(panTotalizadorCSA, "lblTotHorasFinal", 96, 74);
    lblX = CaptionLabel(panTotalizadorCSA, "lblX", "X", 214, 75);
    TFont bold = lblX->Font();
    bold.Bold = true;
    lblX->SetFont(bold);
    lblValorHoraFinal = ValueLabel(panTotalizadorCSA, "lblValorHoraFinal", 283, 74);
    lblIgual = CaptionLabel(panTotalizadorCSA, "lblIgual", "=", 376, 67);
    lblIgual->SetBounds(376, 67, 16, 23);
    TFont tahoma;
    tahoma.Name = S("Tahoma");
    tahoma.Size = 14; // font height -19 at 96 dpi
    tahoma.Bold = true;
    tahoma.Color = clBlack;
    lblIgual->SetFont(tahoma);
    lblIgual->SetTransparent(true);
    nedVrFaturar = panTotalizadorCSA->Add<TNumberEdit>(S("nedVrFaturar"));
    nedVrFaturar->SetBounds(409, 72, 100, 19);
    nedVrFaturar->SetReadOnly(true);
    nedVrFaturar->SetCurrency(true);
    nedVrFaturar->SetThousandSeparator(false);
    nedVrFaturar->SetDecimals(2);
    TFont red = nedVrFaturar->Font();
    red.Bold = true;
    red.Color = clRed;
    nedVrFaturar->SetFont(red);
    nedVrFaturar->SetTabStop(false);
    nedVrFaturar->Clear();
}

TDataSource::TNotifyEvent TfrmAprovaHoras::StateChangeHandler()
{
    return [this](TObject* s) {
        dtsPadraoStateChange(s);
    };
}

TClientDataSet::TDataSetNotifyEvent TfrmAprovaHoras::BeforePostHandler()
{
    return [this](TDataSet* d) {
        cdsAuxCSABeforePost(d);
    };
}

void TfrmAprovaHoras::WireHandlers()
{
    cdsServPrest.AfterScroll = [this](TDataSet* d) {
        cdsServPrestAfterScroll(d);
    };
    cdsFunc.AfterScroll = [this](TDataSet* d) {
        cdsFuncAfterScroll(d);
    };
    cdsCHT.AfterScroll = [this](TDataSet* d) {
        cdsCHTAfterScroll(d);
    };
    cdsCSA.BeforePost = [this](TDataSet* d) {
        cdsCSABeforePost(d);
    };
    cdsCSA.AfterPost = [this](TDataSet* d) {
        cdsCSAAfterPost(d);
    };
    cdsAuxCSA.BeforeEdit = [this](TDataSet* d) {
        cdsAuxCSABeforeEdit(d);
    };
    cdsAuxCSA.AfterEdit = [this](TDataSet* d) {
        cdsAuxCSAAfterEdit(d);
    };
    cdsAuxCSA.BeforePost = BeforePostHandler();
    cdsAuxCSA.AfterPost = [this](TDataSet* d) {
        cdsAuxCSAAfterPost(d);
    };
    cdsAuxCSA.AfterCancel = [this](TDataSet* d) {
        cdsAuxCSAAfterCancel(d);
    };
    dtsPadrao->OnStateChange = StateChangeHandler();
    // The editable-cell rule holds for the cell under the cursor after a
    // change of row or a new load too, not only when the column changes.
    dtsPadrao->OnDataChange = [this](TObject*, TField* field) {
        if (!field)
            dbgCSAColEnter(dbgCSA);
    };
    netAprovCsa.BeforeConnect = [this](TObject* s) {
        netAprovCsaBeforeConnect(s);
    };

    dbgCSA->OnColEnter = [this](TObject* s) {
        dbgCSAColEnter(s);
    };
    dbgCSA->OnColExit = [this](TObject* s) {
        dbgCSAColExit(s);
    };
    dbgCSA->OnEditButtonClick = [this](TObject* s) {
        dbgCSAEditButtonClick(s);
    };
    dbgCSA->OnEnter = [this](TObject* s) {
        dbgCSAEnter(s);
    };
    dbgCSA->OnExit = [this](TObject* s) {
        dbgCSAExit(s);
    };
    dbgCSA->OnKeyDown = [this](TObject* s, TWord& k, TShiftState sh) {
        dbgCSAKeyDown(s, k, sh);
    };
    dbgCSA->OnKeyPress = [this](TObject* s, QChar& k) {
        dbgCSAKeyPress(s, k);
    };
    dbgCSA->OnDrawColumnCell = [this](TObject* s, const QRect& r, int c, TColumn* col,
                                      TGridDrawState st) {
        dbgCSADrawColumnCell(s, r, c, col, st);
    };
    dbgCHT->OnDrawColumnCell = [this](TObject* s, const QRect& r, int c, TColumn* col,
                                      TGridDrawState st) {
        dbgCHTDrawColumnCell(s, r, c, col, st);
    };
    for (TDBGrid* g : {dbgFuncionario, dbgCHT}) {
        g->OnKeyDown = [this](TObject* s, TWord& k, TShiftState sh) {
            dbgPadraoKeyDown(s, k, sh);
        };
        g->OnKeyPress = [this](TObject* s, QChar& k) {
            dbgPadraoKeyPress(s, k);
        };
    }

    sbtFiltrar->OnClick = [this](TObject* s) {
        sbtFiltrarClick(s);
    };
    mnuFiltrar->OnClick = [this](TObject* s) {
        mnuFiltrarClick(s);
    };
    sbtGerarCHT->OnClick = [this](TObject* s) {
        sbtGerarCHTClick(s);
    };
    mnuGerarCHT->OnClick = [this](TObject*) {
        sbtGerarCHTClick(sbtGerarCHT);
    };
}

// --- Creation and closing --------------------------------------------------------

void TfrmAprovaHoras::FormCreate(TObject* Sender)
{
    TfrmPadraoGrid::FormCreate(Sender);
    dbvtf = 0;
    delete stlMarcado;
    stlMarcado = new QStringList();
    cdsAuxCSA.FieldByName(S("QTHRAPRCOMIS"))->SetEditMask(S("!90:00;1; "));
    cdsAuxCSA.FieldByName(S("QTHRAPROFATU"))->SetEditMask(S("!90:00;1; "));
    ActiveShowAvi(Application()->MainForm(), 0);
    try {
        netAprovCsa.SetConnected(true);
    } catch (...) {
        DeactiveShowAvi();
        throw;
    }
    DeactiveShowAvi();
}

void TfrmAprovaHoras::FormClose(TObject* Sender, TCloseAction& Action)
{
    netAprovCsa.SetConnected(false);
    TfrmPadraoGrid::FormClose(Sender, Action);
    boIdCriado = false;
}

void TfrmAprovaHoras::netAprovCsaBeforeConnect(TObject*)
{
    netAprovCsa.SetHost(WebURL());
    netAprovCsa.SetPort(WebPort());
}

// --- The module's entry ---------------------------------------------------------------

void Cli_aph31500_Initialization()
{
    boIdCriado = false;
    AprovaHorasAtual = []() -> const TAprovaHorasRef* {
        return frmAprovaHoras ? &frmAprovaHoras->Ref : nullptr;
    };
}

void Cli_aph31500_Finalization()
{
    // The screen's code goes away with the module: the screen goes first.
    if (frmAprovaHoras)
        Application()->DestroyForm(frmAprovaHoras);
    frmAprovaHoras = nullptr;
    boIdCriado = false;
    AprovaHorasAtual = nullptr;
    delete stlMarcado;
    stlMarcado = nullptr;
}

} // namespace aph

extern "C" void IniProc()
{
    using namespace aph;
    Application()->SetCursor(TCursor::crHourGlass);
    try {
        if (!boIdCriado) {
            frmAprovaHoras = Application()->CreateForm<TfrmAprovaHoras>();
            boIdCriado = true; // only once the creation has returned
        }
        frmAprovaHoras->Show();
    } catch (...) {
        // A failed creation must not leave the hourglass behind.
        Application()->SetCursor(TCursor::crDefault);
        throw;
    }
    Application()->SetCursor(TCursor::crDefault);
    CriaFiltroCsa();
    if (frmAprovaHoras)
        frmAprovaHoras->dtsPadraoStateChange(frmAprovaHoras->dtsPadrao);
}
