// The approval screen's datasets, layout, grids, toolbar, menu and message
// table, and its creation and closing.
#include "approval/cli_aph31500.h"
#include "filter/cli_aph31501.h"
#include "host/framework/environment.h"
#include "host/framework/functions.h"
#include "service/records.h"

using namespace Qt::StringLiterals;

extern "C" {
aph::TfrmAprovaHoras* frmAprovaHoras = nullptr;
bool boIdCriado = false;
double dbvtf = 0;
QStringList* stlMarcado = nullptr;
}

namespace aph {

namespace {

TField* Str(TClientDataSet& ds, const char* name, int size, const char* label = nullptr,
            bool hidden = false)
{
    TField* f = ds.AddField(QString::fromUtf8(name), TFieldType::ftString, size);
    if (label)
        f->SetDisplayLabel(QString::fromUtf8(label));
    f->SetVisible(!hidden);
    return f;
}

TField* Num(TClientDataSet& ds, const char* name, const char* label = nullptr, bool hidden = false)
{
    TField* f = ds.AddField(QString::fromUtf8(name), TFieldType::ftFloat);
    if (label)
        f->SetDisplayLabel(QString::fromUtf8(label));
    f->SetVisible(!hidden);
    return f;
}

TField* Date(TClientDataSet& ds, const char* name, const char* label = nullptr, bool hidden = false)
{
    TField* f = ds.AddField(QString::fromUtf8(name), TFieldType::ftDateTime);
    if (label)
        f->SetDisplayLabel(QString::fromUtf8(label));
    f->SetVisible(!hidden);
    return f;
}

// The CSA fields as the server sends them, for the server and working copies;
// the inclusion key is never shown.
void CsaFields(TClientDataSet& ds, bool allHidden)
{
    for (const TFieldDef& def : CsaRecordFields()) {
        TField* f = ds.AddField(def.Name, def.DataType, def.Size);
        const bool inclusao = def.Name == u"INCLUSAO";
        if (inclusao)
            f->SetDisplayLabel(u"Inclusão"_s);
        f->SetVisible(!allHidden && !inclusao);
    }
}

constexpr TGridOptions kListOptions = dgTitles | dgColumnResize | dgColLines | dgRowLines | dgTabs |
                                      dgAlwaysShowSelection | dgConfirmDelete | dgCancelOnExit;

TFont TitleFont()
{
    TFont f;
    f.Name = u"MS Sans Serif"_s;
    f.Size = 8;
    return f;
}

TLabel* CaptionLabel(TPanel* panel, const char* name, const char* caption, int left, int top)
{
    auto* l = panel->Add<TLabel>(QString::fromUtf8(name));
    const QString text = QString::fromUtf8(caption);
    l->SetBounds(left, top, static_cast<int>(text.size()) * 6 + 2, 13);
    l->SetCaption(text);
    TFont f;
    f.Name = u"MS Sans Serif"_s;
    f.Size = 8;
    f.Color = clBlack;
    l->SetFont(f);
    l->SetColor(clBtnFace);
    return l;
}

TLabel* ValueLabel(TPanel* panel, const char* name, int left, int top)
{
    auto* l = panel->Add<TLabel>(QString::fromUtf8(name));
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

TfrmAprovaHoras::TfrmAprovaHoras() : TfrmPadraoGrid(u"frmAprovaHoras"_s)
{
    SetCaption(u"Apuração de CHT"_s);
    SetClientSize(965, 570);
    lblCodTela->SetCaption(u"APH31500"_s);
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
    CreateListFields();
    CreateDayFields();
    CreateOccurrenceQuery();

    dtsServPrest.SetDataSet(&cdsServPrest);
    dtsFunc.SetDataSet(&cdsFunc);
    dtsCHT.SetDataSet(&cdsCHT);
    dtsPadrao->SetDataSet(&cdsAuxCSA);
    dtsOcorr.SetDataSet(&qryOcorr);

    netAprovCsa.SetServerName(u"APH31500.rdmAprovCsaFat"_s);
    netAprovCsa.SetHost(u"127.0.0.1"_s);
    netAprovCsa.SetThrowException(false);

    CreateMessages();
}

void TfrmAprovaHoras::CreateListFields()
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
    Num(cdsServPrest, "VRHORACLIE", nullptr, true)->SetDisplayFormat(u"#,###,##0.00"_s);
    Num(cdsServPrest, "VRDEHORACLIE", nullptr, true)->SetDisplayFormat(u"#,###,##0.00"_s);

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
}

void TfrmAprovaHoras::CreateDayFields()
{
    CsaFields(cdsCSA, false);
    CsaFields(cdsAuxCSA, true);
    cdsAuxCSA.SetIndexFieldNames(u"DTSERVPREST"_s);
    TField* f = cdsAuxCSA.FieldByName(u"DTSERVPREST"_s);
    f->SetDisplayLabel(u"Data"_s);
    f->OnGetText = [this](TField* s, QString& t, bool d) {
        cdsAuxCSADTSERVPRESTGetText(s, t, d);
    };
    f = cdsAuxCSA.FieldByName(u"QTHRAPRCOMIS"_s);
    f->SetDisplayFormat(u"!990:00;1; "_s);
    f->SetEditFormat(u"!990:00;1; "_s);
    f->OnGetText = [this](TField* s, QString& t, bool d) {
        cdsAuxCSAQTHRAPRCOMISGetText(s, t, d);
    };
    f->OnSetText = [this](TField* s, const QString& t) {
        cdsAuxCSAQTHRAPRCOMISSetText(s, t);
    };
    f = cdsAuxCSA.FieldByName(u"QTHRAPROFATU"_s);
    f->SetDisplayFormat(u"!990:00;1; "_s);
    f->SetEditFormat(u"!990:00;1; "_s);
    f->OnGetText = [this](TField* s, QString& t, bool d) {
        cdsAuxCSAQTHRAPROFATUGetText(s, t, d);
    };
    f->OnSetText = [this](TField* s, const QString& t) {
        cdsAuxCSAQTHRAPROFATUSetText(s, t);
    };
    f = cdsAuxCSA.FieldByName(u"QTHRTRAB"_s);
    f->SetReadOnly(true);
    f->OnGetText = [this](TField* s, QString& t, bool d) {
        cdsAuxCSAQTHRTRABGetText(s, t, d);
    };
    f = cdsAuxCSA.FieldByName(u"INCLUSAO"_s);
    f->OnGetText = [this](TField* s, QString& t, bool d) {
        cdsAuxCSAINCLUSAOGetText(s, t, d);
    };
}

void TfrmAprovaHoras::CreateOccurrenceQuery()
{
    qryOcorr.SQL = {u"SELECT"_s,   u"  CDGRPOCOR, CDOCORR, DSOCORR"_s, u"FROM"_s, u"  OCORRENCIA"_s,
                    u"ORDER BY"_s, u"  CDGRPOCOR, CDOCORR"_s};
    qryOcorr.SQL_IB = qryOcorr.SQL;
    TField* f = Str(qryOcorr, "CDOCORR", 2, "Código");
    f->SetDisplayWidth(7);
    f = Str(qryOcorr, "CDGRPOCOR", 2, "Grupo");
    f->SetDisplayWidth(7);
    Str(qryOcorr, "DSOCORR", 40, "Descrição");
}

void TfrmAprovaHoras::CreateMessages()
{
    msgPadrao->SetScreenCode(u"APH31500"_s);
    msgPadrao->SetLines({
        u"Excl|Confirma exclusão?"_s,
        u"Hr_Aprov<|Quantidade de Horas Aprovadas para Comissão deve ser menor ou igual à "
        "Quantidade de Horas Trabalhadas."_s,
        u"Ocorr_Inf|Ocorrência deve ser informada."_s,
        u"ocorrencia|Ocorrência"_s,
        u"Hr_Norm<|Quantidade de Horas Normais para Faturamento deve ser menor ou igual à "
        "Quantidade de Horas Trabalhadas."_s,
        u"Hr_Extr<|Quantidade de Horas Extras para Faturamento deve ser menor ou igual à "
        "Quantidade de Horas Trabalhadas."_s,
        u"Hr_Total<|A soma da Quantidade de Horas Aprovadas para Comissão e da Quantidade de "
        "Horas Extras deve ser menor ou igual à Quantidade de Horas Trabalhadas."_s,
        u"CONF_GERAR_CHT|Confirma a geração da CHT para todas as CSA´s mostradas na tela?"_s,
        u"CHT_GERADAS|CHTs geradas: %1, para %2 funcionário(s), com %3 CSA(s)."_s,
        u"CHT_NENHUMA|Nenhuma CHT gerada: não há CSAs sem CHT na seleção."_s,
        u"BLOQ_APROVADA|CHT aprovada: os dias não podem ser alterados."_s,
        u"BLOQ_FATURADA|CHT faturada: os dias não podem ser alterados."_s,
        u"BLOQ_PACOTE|Serviço por pacote: as horas a faturar não são alteradas."_s,
        u"HORA|Vr. Hora"_s,
        u"FIXO|Vr. Fixo"_s,
        u"PACOTE|Vr. Pacote"_s,
        u"MNU_APROVAR_PEND|Aprovar dias &pendentes"_s,
        u"MNU_HIST_DIA|&Histórico do dia"_s,
        u"MNU_DEM_CHT|&Demonstrativo da CHT..."_s,
        u"CONF_APROVAR_PEND|Aprovar %1 dias pendentes, %2 horas?"_s,
        u"CONF_APROVAR_PEND1|Aprovar %1 dia pendente, %2 horas?"_s,
        u"APROV_FORA|%1 dia(s) ficam de fora: precisam de ocorrência."_s,
        u"APROV_NENHUM|Não há dias pendentes de aprovação."_s,
        u"APROV_FEITA|Dias aprovados: %1, com %2 horas."_s,
        u"LEGENDA_PEND|Pendente"_s,
        u"PEND_DIAS|%1 dia(s) pendente(s) de aprovação nesta CHT"_s,
        u"PEND_NENHUM|Nenhum dia pendente de aprovação nesta CHT"_s,
    });
    CreateHistoryMessages();
    CreatePreviewMessages();
    CreateOutstandingDaysMessages();
    CreateChtMessages();
    CreateAceiteMessages();
}

void TfrmAprovaHoras::CreateLayout()
{
    CreatePanels();
    CreateGrids();
    CreateToolbar();
    CreateExportNames();
}

void TfrmAprovaHoras::CreatePanels()
{
    // The page: services on top, then employees and CHTs beside the days.
    splDetalhe = tshPadrao->Add<TSplitter>(u"splDetalhe"_s);
    splDetalhe->SetAlign(TAlign::alTop);
    splDetalhe->SetHeight(5);
    panDetalhes = tshPadrao->Add<TPanel>(u"panDetalhes"_s);
    panDetalhes->SetAlign(TAlign::alClient);
    panSubDetalhe = panDetalhes->Add<TPanel>(u"panSubDetalhe"_s);
    panSubDetalhe->SetAlign(TAlign::alLeft);
    panSubDetalhe->SetWidth(430);
    scbFuncionario = panSubDetalhe->Add<TScrollBox>(u"scbFuncionario"_s);
    scbFuncionario->SetAlign(TAlign::alTop);
    scbFuncionario->SetHeight(153);
    dbgFuncionario = scbFuncionario->Add<TDBGrid>(u"dbgFuncionario"_s);
    dbgFuncionario->SetAlign(TAlign::alClient);
    splSubDetalhe = panSubDetalhe->Add<TSplitter>(u"splSubDetalhe"_s);
    splSubDetalhe->SetAlign(TAlign::alTop);
    splSubDetalhe->SetHeight(4);
    scbCHT = panSubDetalhe->Add<TScrollBox>(u"scbCHT"_s);
    scbCHT->SetAlign(TAlign::alClient);
    dbgCHT = scbCHT->Add<TDBGrid>(u"dbgCHT"_s);
    dbgCHT->SetAlign(TAlign::alClient);
    panCSA = panDetalhes->Add<TPanel>(u"panCSA"_s);
    panCSA->SetAlign(TAlign::alClient);
    scbCSA = panCSA->Add<TScrollBox>(u"scbCSA"_s);
    scbCSA->SetAlign(TAlign::alClient);
    dbgCSA = scbCSA->Add<TDBGrid>(u"dbgCSA"_s);
    dbgCSA->SetAlign(TAlign::alClient);

    dbtNome = panNavigator->Add<TDBText>(u"dbtNome"_s);
    dbtNome->SetAlign(TAlign::alClient);
    dbtNome->SetDataSource(&dtsServPrest);
    dbtNome->SetDataField(u"NMFANTCLIE"_s);
    dbnPadrao->SetDataSource(&dtsServPrest);
}

void TfrmAprovaHoras::CreateGrids()
{
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

    dbgPadrao->AddColumn(u"NMFANTCLIE"_s, {}, 169);
    dbgPadrao->AddColumn(u"NMTIPOSERV"_s, {}, 132);
    dbgPadrao->AddColumn(u"NRPROPOSTA"_s, {}, 87);
    dbgPadrao->AddColumn(u"DSREFEPROPOSFAS"_s, u"Referência da proposta"_s, 131);
    dbgPadrao->AddColumn(u"DSLOCALCONT"_s, u"Desc.Local"_s, 97);
    dbgPadrao->AddColumn(u"IDTIPOCOBRCONT"_s, {}, 57);
    dbgPadrao->AddColumn(u"QTSERVCONT"_s, u"Hr. Contratada"_s, 74);
    dbgPadrao->AddColumn(u"VRHORACLIE"_s, u"Vr.Hr.Contrato"_s);
    dbgFuncionario->AddColumn(u"CDFUNC"_s, u"Código"_s);
    dbgFuncionario->AddColumn(u"NMFUNC"_s, u"Nome do Funcionário"_s, 344);
    dbgCHT->AddColumn(u"IDSTATUSCHT"_s, u"Situação CHT"_s);
    dbgCHT->AddColumn(u"NRSEQUCHT"_s, u"Nr. CHT"_s, 45);
    dbgCHT->AddColumn(u"DSREFECHT"_s, u"Descrição da CHT"_s, 204);
    dbgCHT->AddColumn(u"DTINCLCHT"_s, u"Dt. Geração CHT"_s, 90);
    dbgCHT->AddColumn(u"NMOPERADOR"_s, {}, 112);
    dbgCSA->AddColumn(u"DTSERVPREST"_s, {}, 81);
    dbgCSA->AddColumn(u"QTHRTRAB"_s, u"Hrs.Serv.Prestado"_s, 94);
    dbgCSA->AddColumn(u"QTHRAPROFATU"_s, u"Hrs.Serv.Fat."_s);
    dbgCSA->AddColumn(u"QTHRAPRCOMIS"_s, u"Hrs.Comissão"_s, 67);
    dbgCSA->AddColumn(u"DSOCORR"_s, u"Ocorrência"_s, 63, TColumnButtonStyle::cbsEllipsis);
    dbgCSA->AddColumn(u"INCLUSAO"_s);
}

void TfrmAprovaHoras::CreateToolbar()
{
    // Toolbar: this screen's own buttons, and the base's last three moved
    // after them.
    sbtFiltrar = panMenu->Add<TSpeedButton>(u"sbtFiltrar"_s);
    sbtFiltrar->SetBounds(182, 5, 21, 21);
    sbtFiltrar->SetHint(u"Filtrar"_s);
    sbtFiltrar->SetGlyph(u"filter"_s);
    sbtGerarCHT = panMenu->Add<TSpeedButton>(u"sbtGerarCHT"_s);
    sbtGerarCHT->SetBounds(204, 5, 21, 21);
    sbtGerarCHT->SetHint(u"Gerar CHT"_s);
    sbtGerarCHT->SetGlyph(u"generate"_s);
    sbtGerarCHT->SetEnabled(false);
    for (TSpeedButton* b : {sbtFiltrar, sbtGerarCHT}) {
        b->SetFlat(true);
        b->SetShowHint(true);
    }
    sbtFiltrar->SetShortCut(ShortCut('L', ssCtrl));
    sbtGerarCHT->SetShortCut(ShortCut('G', ssCtrl));
    sbtImprimir->SetLeft(239);
    sbtImprimir->SetEnabled(false);
    sbtAjuda->SetLeft(275);
    sbtFechar->SetLeft(311);

    N1 = mnuManutencao->Add<TMenuItem>(u"N1"_s);
    N1->SetCaption(u"-"_s);
    mnuFiltrar = mnuManutencao->Add<TMenuItem>(u"mnuFiltrar"_s);
    mnuFiltrar->SetCaption(u"&Filtrar"_s);
    mnuFiltrar->SetHint(u"Filtrar"_s);
    mnuFiltrar->SetShortCut(ShortCut('L', ssCtrl));
    mnuGerarCHT = mnuManutencao->Add<TMenuItem>(u"mnuGerarCHT"_s);
    mnuGerarCHT->SetCaption(u"&Gerar CHT"_s);
    mnuGerarCHT->SetShortCut(ShortCut('G', ssCtrl));
    CreateExtraMenu();
}

void TfrmAprovaHoras::CreateExtraMenu()
{
    // After the generation, apart: the pending days at once, the history
    // of the current day, the statement of the current CHT.
    N2 = mnuManutencao->Add<TMenuItem>(u"N2"_s);
    N2->SetCaption(u"-"_s);
    mnuAprovarPendentes = mnuManutencao->Add<TMenuItem>(u"mnuAprovarPendentes"_s);
    mnuAprovarPendentes->SetCaption(msgPadrao->Msg(u"MNU_APROVAR_PEND"_s));
    mnuAprovarPendentes->SetShortCut(ShortCut('A', ssCtrl | ssShift));
    mnuHistoricoDia = mnuManutencao->Add<TMenuItem>(u"mnuHistoricoDia"_s);
    mnuHistoricoDia->SetCaption(msgPadrao->Msg(u"MNU_HIST_DIA"_s));
    mnuHistoricoDia->SetShortCut(ShortCut('H', ssCtrl | ssShift));
    mnuDemonstrativoCHT = mnuManutencao->Add<TMenuItem>(u"mnuDemonstrativoCHT"_s);
    mnuDemonstrativoCHT->SetCaption(msgPadrao->Msg(u"MNU_DEM_CHT"_s));
    mnuDemonstrativoCHT->SetShortCut(ShortCut('D', ssCtrl | ssShift));
    for (TMenuItem* item : {mnuAprovarPendentes, mnuHistoricoDia, mnuDemonstrativoCHT})
        item->SetEnabled(false);
    CreateGeneratedChtsMenu();
    CreateOutstandingDaysMenu();
    CreateChtMenu();
    CreateAceiteMenu();
}

void TfrmAprovaHoras::CreateTotals()
{
    panTotalizadorCSA = scbCSA->Add<TPanel>(u"panTotalizadorCSA"_s);
    panTotalizadorCSA->SetAlign(TAlign::alBottom);
    panTotalizadorCSA->SetBounds(0, 0, 513, 93);
    Label2 = CaptionLabel(panTotalizadorCSA, "Label2", "         ", 6, 8);
    Label2->SetBounds(6, 8, 27, 13);
    Label2->SetColor(clRed);
    Label2->SetTransparent(false);
    Label3 = CaptionLabel(panTotalizadorCSA, "Label3", "Hora Extra", 40, 8);
    // The pending days' legend: the first line's right part holds the lock
    // notice, so it goes where the second line is free, between the hours
    // worked and the contracted value, as the grid draws a pending day.
    lblPendenteAmostra = CaptionLabel(panTotalizadorCSA, "lblPendenteAmostra", "00:00", 185, 32);
    lblPendenteAmostra->SetBounds(185, 32, 32, 13);
    lblPendenteAmostra->SetColor(clWhite);
    lblPendenteAmostra->SetTransparent(false);
    lblPendenteAmostra->SetAlignment(TLabel::TTextAlign::Right);
    TFont pendente = lblPendenteAmostra->Font();
    pendente.Italic = true;
    pendente.Color = clGray;
    lblPendenteAmostra->SetFont(pendente);
    lblPendente = CaptionLabel(panTotalizadorCSA, "lblPendente", "", 223, 32);
    lblPendente->SetBounds(223, 32, 50, 13);
    lblPendente->SetCaption(msgPadrao->Msg(u"LEGENDA_PEND"_s));
    lblBloqueio = CaptionLabel(panTotalizadorCSA, "lblBloqueio", "", 120, 8);
    lblBloqueio->SetBounds(120, 8, 390, 13);
    TFont aviso = lblBloqueio->Font();
    aviso.Bold = true;
    aviso.Color = clMaroon;
    lblBloqueio->SetFont(aviso);
    lblBloqueio->SetVisible(false);
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
    Bevel1 = panTotalizadorCSA->Add<TBevel>(u"Bevel1"_s);
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
    tahoma.Name = u"Tahoma"_s;
    tahoma.Size = 14; // font height -19 at 96 dpi
    tahoma.Bold = true;
    tahoma.Color = clBlack;
    lblIgual->SetFont(tahoma);
    lblIgual->SetTransparent(true);
    nedVrFaturar = panTotalizadorCSA->Add<TNumberEdit>(u"nedVrFaturar"_s);
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
    WireDataSets();
    WireGrids();
    WireToolbar();
}

void TfrmAprovaHoras::WireDataSets()
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
}

void TfrmAprovaHoras::WireGrids()
{
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
}

void TfrmAprovaHoras::WireToolbar()
{
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
    mnuAprovarPendentes->OnClick = [this](TObject* s) {
        mnuAprovarPendentesClick(s);
    };
    mnuHistoricoDia->OnClick = [this](TObject* s) {
        mnuHistoricoDiaClick(s);
    };
    mnuDemonstrativoCHT->OnClick = [this](TObject* s) {
        mnuDemonstrativoCHTClick(s);
    };
}

// --- Creation and closing --------------------------------------------------------

void TfrmAprovaHoras::FormCreate(TObject* Sender)
{
    TfrmPadraoGrid::FormCreate(Sender);
    dbvtf = 0;
    delete stlMarcado;
    stlMarcado = new QStringList();
    cdsAuxCSA.FieldByName(u"QTHRAPRCOMIS"_s)->SetEditMask(u"!90:00;1; "_s);
    cdsAuxCSA.FieldByName(u"QTHRAPROFATU"_s)->SetEditMask(u"!90:00;1; "_s);
    TBusyAnimation busy(0);
    netAprovCsa.SetConnected(true);
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
    {
        // The hourglass while the screen is made and shown, gone before the
        // filter dialog opens, and gone too if the creation fails.
        THourGlass hourGlass;
        if (!boIdCriado) {
            frmAprovaHoras = Application()->CreateForm<TfrmAprovaHoras>();
            boIdCriado = true; // only once the creation has returned
        }
        frmAprovaHoras->Show();
    }
    CriaFiltroCsa();
    if (frmAprovaHoras)
        frmAprovaHoras->dtsPadraoStateChange(frmAprovaHoras->dtsPadrao);
}
