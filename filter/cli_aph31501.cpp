#include "filter/cli_aph31501.h"

#include "filter/aprovahorasintf.h"
#include "host/data/packetcodec.h"
#include "host/data/scopeguard.h"
#include "host/framework/environment.h"
#include "host/framework/functions.h"
#include "host/framework/pickers.h"
#include "host/ui/editmask.h"

#include <utility>

using namespace Qt::StringLiterals;

extern "C" {
aph::TfrmFiltroCsa* frmFiltroCsa = nullptr;
}

namespace aph {

std::function<const TAprovaHorasRef*()> AprovaHorasAtual;

namespace {

TGroupBox* Group(TPanel* parent, const char* name, const char* caption, int left, int top,
                 int tabOrder)
{
    auto* box = parent->Add<TGroupBox>(QString::fromUtf8(name));
    box->SetBounds(left, top, 171, 73);
    box->SetCaption(QString::fromUtf8(caption));
    TFont bold = box->Font();
    bold.Bold = true;
    box->SetFont(bold);
    box->SetTabOrder(tabOrder);
    return box;
}

template <class T>
T* Child(TGroupBox* box, const char* name, const char* caption, int left, int top, int width)
{
    auto* c = box->Add<T>(QString::fromUtf8(name));
    c->SetBounds(left, top, width, 17);
    c->SetCaption(QString::fromUtf8(caption));
    return c;
}

TBtnPesquisa* Picker(TGroupBox* box, const char* name, TRadioButton* associate)
{
    auto* b = box->Add<TBtnPesquisa>(QString::fromUtf8(name));
    b->SetBounds(80, 40, 23, 22);
    b->SetAssociate(associate);
    b->SetEnabled(false);
    return b;
}

const TAprovaHorasRef& Screen()
{
    const TAprovaHorasRef* screen = AprovaHorasAtual ? AprovaHorasAtual() : nullptr;
    if (!screen)
        throw Exception(u"A tela Apuração de CHT não está aberta."_s);
    return *screen;
}

} // namespace

TfrmFiltroCsa::TfrmFiltroCsa() : TfrmFiltroPadrao(u"frmFiltroCsa"_s)
{
    SetCaption(u"Filtro Apuração CHT"_s);
    lblCodTela->SetCaption(u"APH31501"_s);
    CreateTopGroups();
    CreateBottomGroups();
    CreateMessages();
    CreateQueries();
    CreatePickers();
    WireHandlers();
}

// Clients, employees and which CSAs, side by side.
void TfrmFiltroCsa::CreateTopGroups()
{
    grbCliente = Group(panFiltro, "grbCliente", "Cliente", 0, 0, 0);
    rbtTodosCli = Child<TRadioButton>(grbCliente, "rbtTodosCli", "Todos", 8, 20, 60);
    rbtListaCli = Child<TRadioButton>(grbCliente, "rbtListaCli", "Lista", 8, 44, 60);
    btnPesqCli = Picker(grbCliente, "btnPesqCli", rbtListaCli);

    grbFuncionario = Group(panFiltro, "grbFuncionario", "Funcionário", 171, 0, 1);
    rbtTodosFunc = Child<TRadioButton>(grbFuncionario, "rbtTodosFunc", "Todos", 8, 20, 60);
    rbtListaFunc = Child<TRadioButton>(grbFuncionario, "rbtListaFunc", "Lista", 8, 44, 60);
    btnPesqFunc = Picker(grbFuncionario, "btnPesqFunc", rbtListaFunc);
    rbtListaFunc->SetTabOrder(0); // "Lista" before "Todos" here
    rbtTodosFunc->SetTabOrder(1);

    grbSituacao = Group(panFiltro, "grbSituacao", "Situação da CSA", 342, 0, 2);
    chbSemCHTGerada =
        Child<TCheckBox>(grbSituacao, "chbSemCHTGerada", "CSA sem CHT gerada", 8, 20, 150);
    chbComCHTGerada =
        Child<TCheckBox>(grbSituacao, "chbComCHTGerada", "CSA com CHT gerada", 8, 44, 150);
    chbComCHTGerada->SetTabOrder(0);
    chbSemCHTGerada->SetTabOrder(1);
    chbSemCHTGerada->SetChecked(true);
}

// Proposals, the period and the CHT situations, below them.
void TfrmFiltroCsa::CreateBottomGroups()
{
    grbProposta = Group(panFiltro, "grbProposta", "Proposta", 0, 73, 3);
    rbtTodosProp = Child<TRadioButton>(grbProposta, "rbtTodosProp", "Todas", 8, 20, 60);
    rbtListaProp = Child<TRadioButton>(grbProposta, "rbtListaProp", "Lista", 8, 44, 60);
    btnPesqProp = Picker(grbProposta, "btnPesqProp", rbtListaProp);

    grbPeriodo = Group(panFiltro, "grbPeriodo", "Período da CSA", 171, 73, 4);
    lblDe = Child<TLabel>(grbPeriodo, "lblDe", "&De", 8, 22, 20);
    depDtInicial = grbPeriodo->Add<TDateEditPlus>(u"depDtInicial"_s);
    depDtInicial->SetBounds(34, 18, 100, 21);
    lblAte = Child<TLabel>(grbPeriodo, "lblAte", "&Até", 8, 46, 20);
    depDtFinal = grbPeriodo->Add<TDateEditPlus>(u"depDtFinal"_s);
    depDtFinal->SetBounds(34, 42, 100, 21);
    // Alt+D and Alt+A go straight to the dates.
    lblDe->SetFocusControl(depDtInicial);
    lblAte->SetFocusControl(depDtFinal);

    grbSituacaoCHT = Group(panFiltro, "grbSituacaoCHT", "Situação do CHT", 342, 73, 5);
    chbCHT_Pendente = Child<TCheckBox>(grbSituacaoCHT, "chbCHT_Pendente", "Pendente", 8, 20, 75);
    chbCHT_Aprovado = Child<TCheckBox>(grbSituacaoCHT, "chbCHT_Aprovado", "Aprovado", 8, 44, 75);
    chbCHT_Faturado = Child<TCheckBox>(grbSituacaoCHT, "chbCHT_Faturado", "Faturado", 88, 20, 75);
    chbCHT_Nao_Faturar =
        Child<TCheckBox>(grbSituacaoCHT, "chbCHT_Nao_Faturar", "Não Faturar", 88, 44, 80);
    SetChildEnabled(grbSituacaoCHT, false);
}

void TfrmFiltroCsa::CreateMessages()
{
    msgPadrao->SetScreenCode(u"APH31501"_s);
    msgPadrao->SetLines({
        u"Cliente|Cliente"_s,
        u"Funcionario|Funcionário"_s,
        u"Proposta|Proposta"_s,
        u"NAO_HA_CLIENTE|Não há cliente cadastrado"_s,
        u"NAO_HA_FUNCIONARIO|Não há funcionario cadastrado"_s,
        u"NAO_HA_PROPOSTA|Não há proposta cadastrada"_s,
        u"Cli_Inf|Cliente deve ser informado"_s,
        u"Func_Inf|Funcionário deve ser informado"_s,
        u"Prop_Inf|Proposta deve ser informada"_s,
        u"Situ_CHT_Inf|Situação do CHT deve ser informada."_s,
        u"DtFin_Inf|Data Final deve ser informada."_s,
        u"DtIni_Inf|Data Inicial deve ser informada."_s,
        u"DtFin>DtIni|Data Final deve ser maior ou igual à Data Inicial."_s,
        u"Situ_Apur_Inf|Situação da Apuração deve ser informada."_s,
    });
}

void TfrmFiltroCsa::CreateQueries()
{
    // The period's first day comes from the general parameters.
    qryData.SQL = {u"SELECT TO_DATE('21/06/2008')  AS DTINI"_s, u"FROM PARAMGERAL"_s};
    qryData.SQL_IB = {u"SELECT CAST(('06/21/2008') AS TIMESTAMP) AS DTINI"_s, u"FROM PARAMGERAL"_s};
    qryData.AddField(u"DTINI"_s, TFieldType::ftDateTime);

    // Client list.
    const QString clientes =
        u"SELECT CDCLIENTE, NMFANTCLIE, NRINSJURCLIE, IDTPIJURCLIE, NMRAZSOCCLIE "
        "FROM CLIENTE ORDER BY CDCLIENTE"_s;
    qryCliente.SQL = {clientes};
    qryCliente.SQL_IB = {clientes};
    TField* f = qryCliente.AddField(u"NRINSJURCLIE"_s, TFieldType::ftString, 20);
    f->SetDisplayLabel(u"Código"_s);
    f->OnGetText = [this](TField* s, QString& t, bool d) {
        qryClienteNRINSJURCLIEGetText(s, t, d);
    };
    qryCliente.AddField(u"CDCLIENTE"_s, TFieldType::ftString, 21)->SetVisible(false);
    qryCliente.AddField(u"NMFANTCLIE"_s, TFieldType::ftString, 50)->SetDisplayLabel(u"Nome"_s);
    qryCliente.AddField(u"IDTPIJURCLIE"_s, TFieldType::ftString, 1)->SetVisible(false);
    qryCliente.AddField(u"NMRAZSOCCLIE"_s, TFieldType::ftString, 50)
        ->SetDisplayLabel(u"Razão Social"_s);
    dtsCliente.SetDataSet(&qryCliente);

    // Employee list: the active operators.
    const QString funcionarios = u"SELECT OP.CDFUNC, FU.NMFUNC FROM OPERADOR OP, FUNCIONARIO FU "
                                 "WHERE OP.CDFUNC = FU.CDFUNC AND OP.IDOPERATIVO = 'A' "
                                 "ORDER BY OP.CDFUNC"_s;
    qryFuncionario.SQL = {funcionarios};
    qryFuncionario.SQL_IB = {funcionarios};
    f = qryFuncionario.AddField(u"CDFUNC"_s, TFieldType::ftString, 10);
    f->SetDisplayWidth(15);
    f->SetDisplayLabel(u"Código"_s);
    qryFuncionario.AddField(u"NMFUNC"_s, TFieldType::ftString, 40)->SetDisplayLabel(u"Nome"_s);
    dtsFuncionario.SetDataSet(&qryFuncionario);
}

// The pickers, and the proposal list they pick from.
void TfrmFiltroCsa::CreatePickers()
{
    // Proposal list, from the approval service.
    cdsProposta.AddField(u"IDMARCADO"_s, TFieldType::ftString, 1);
    TField* f = cdsProposta.AddField(u"NRINSJURCLIE"_s, TFieldType::ftString, 20);
    f->SetDisplayLabel(u"Inscrição"_s);
    f->OnGetText = [this](TField* s, QString& t, bool d) {
        cdsPropostaNRINSJURCLIEGetText(s, t, d);
    };
    cdsProposta.AddField(u"CDCLIENTE"_s, TFieldType::ftString, 21)->SetVisible(false);
    cdsProposta.AddField(u"NRPROPOSFAS"_s, TFieldType::ftString, 20)
        ->SetDisplayLabel(u"Proposta"_s);
    cdsProposta.AddField(u"NRVERPROPFAS"_s, TFieldType::ftString, 2)->SetDisplayLabel(u"Versão"_s);
    cdsProposta.AddField(u"IDTPIJURCLIE"_s, TFieldType::ftString, 1)->SetVisible(false);
    f = cdsProposta.AddField(u"CDCHAVE"_s, TFieldType::ftString, 42);
    f->SetVisible(false);
    f->SetReadOnly(true);
    dtsProposta.SetDataSet(&cdsProposta);

    btnPesqCli->SetTitle(u"Cliente"_s);
    btnPesqCli->SetDataSource(&dtsCliente);
    btnPesqCli->SetEmptyText(u"Não há cliente cadastrado"_s);
    btnPesqFunc->SetDataSource(&dtsFuncionario);
    btnPesqFunc->SetEmptyText(u"Não há Funcionário cadastrado"_s);
    btnPesqProp->SetTitle(u"Proposta"_s);
    btnPesqProp->SetDataSource(&dtsProposta);
    btnPesqProp->SetEmptyText(u"Não há Proposta cadastrada"_s);
}

void TfrmFiltroCsa::WireHandlers()
{
    OnActivate = [this](TObject* s) {
        FormActivate(s);
    };
    OnClose = [this](TObject* s, TCloseAction& a) {
        FormClose(s, a);
    };
    rbtTodosCli->OnClick = [this](TObject* s) {
        rbtTodosCliClick(s);
    };
    rbtListaCli->OnClick = [this](TObject* s) {
        rbtListaCliClick(s);
    };
    rbtTodosFunc->OnClick = [this](TObject* s) {
        rbtTodosFuncClick(s);
    };
    rbtListaFunc->OnClick = [this](TObject* s) {
        rbtListaFuncClick(s);
    };
    rbtTodosProp->OnClick = [this](TObject* s) {
        rbtTodosPropClick(s);
    };
    rbtListaProp->OnClick = [this](TObject* s) {
        rbtListaPropClick(s);
    };
    chbComCHTGerada->OnClick = [this](TObject* s) {
        chbComCHTGeradaClick(s);
    };
    depDtInicial->OnExit = [this](TObject* s) {
        depDtInicialExit(s);
    };
    depDtFinal->OnExit = [this](TObject* s) {
        depDtFinalExit(s);
    };
    for (TDateEditPlus* date : {depDtInicial, depDtFinal})
        date->OnKeyDown = [this](TObject* s, TWord& k, TShiftState sh) {
            depPeriodoKeyDown(s, k, sh);
        };
    btnPesqCli->OnClick = [this](TObject* s) {
        btnPesqCliClick(s);
    };
    btnPesqFunc->OnClick = [this](TObject* s) {
        btnPesqFuncClick(s);
    };
    btnPesqProp->OnClick = [this](TObject* s) {
        btnPesqPropClick(s);
    };
}

TfrmFiltroCsa::~TfrmFiltroCsa()
{
    if (frmFiltroCsa == this)
        frmFiltroCsa = nullptr;
}

// --- Life cycle -----------------------------------------------------------------

void TfrmFiltroCsa::FormCreate(TObject* Sender)
{
    TfrmFiltroPadrao::FormCreate(Sender);
    qryData.Close();
    qryData.Open();
    stCliente.clear();
    stFuncionario.clear();
    stProposta.clear();
    stSituacaoCSA.clear();
    stSituacaoCHT.clear();
    Filtro.Cliente = {true, QString()};
    Filtro.Funcionario = {true, QString()};
    Filtro.Proposta = {true, QString()};
    qryData.First();
    // Without general parameters the period starts on the first of the month.
    Filtro.DtInicial =
        !qryData.IsEmpty() && !qryData.FieldByName(u"DTINI"_s)->IsNull()
            ? DateOf(qryData.FieldByName(u"DTINI"_s)->AsDateTime())
            : DateToOle(QDate(QDate::currentDate().year(), QDate::currentDate().month(), 1));
    Filtro.DtFinal = Today();
    Filtro.ComCHTGerada = false;
    Filtro.SemCHTGerada = true;
    Filtro.CHT_Aprovado = false;
    Filtro.CHT_Pendente = true;
    Filtro.CHT_Faturado = false;
    Filtro.CHT_Nao_Faturar = false;
}

void TfrmFiltroCsa::FormActivate(TObject* /*Sender*/)
{
    Changed(TChange::Content); // repaint
    // The CHT situation boxes keep what they had when the dialog was hidden.
    RestoreFromFiltro(false);
    // The first show: the set the operator marked to open with, if any;
    // without one, the specified first show.
    if (!std::exchange(m_mostrado, true) && LoadStartOptionSet())
        btfLoadOpcClick(this);
    (rbtTodosCli->Checked() ? rbtTodosCli : rbtListaCli)->SetFocus();
}

void TfrmFiltroCsa::FormClose(TObject* /*Sender*/, TCloseAction& Action)
{
    Action = TCloseAction::caHide;
}

// --- Reactions --------------------------------------------------------------------

void TfrmFiltroCsa::ChoiceClick(TRadioButton* todos, TBtnPesquisa* picker, bool lista)
{
    picker->SetEnabled(lista);
    if (!lista)
        todos->SetTabStop(true);
}

void TfrmFiltroCsa::rbtTodosCliClick(TObject*)
{
    ChoiceClick(rbtTodosCli, btnPesqCli, false);
}

void TfrmFiltroCsa::rbtListaCliClick(TObject*)
{
    ChoiceClick(rbtTodosCli, btnPesqCli, true);
}

void TfrmFiltroCsa::rbtTodosFuncClick(TObject*)
{
    ChoiceClick(rbtTodosFunc, btnPesqFunc, false);
}

void TfrmFiltroCsa::rbtListaFuncClick(TObject*)
{
    ChoiceClick(rbtTodosFunc, btnPesqFunc, true);
}

void TfrmFiltroCsa::rbtTodosPropClick(TObject*)
{
    ChoiceClick(rbtTodosProp, btnPesqProp, false);
}

void TfrmFiltroCsa::rbtListaPropClick(TObject*)
{
    ChoiceClick(rbtTodosProp, btnPesqProp, true);
}

void TfrmFiltroCsa::chbComCHTGeradaClick(TObject*)
{
    SetChildEnabled(grbSituacaoCHT, chbComCHTGerada->Checked());
}

void TfrmFiltroCsa::depDtInicialExit(TObject*)
{
    ExpandTypedMonth();
    depDtInicial->CheckValidDate();
}

void TfrmFiltroCsa::ExpandTypedMonth()
{
    // A month and year typed in "De" ("10/2025", "102025") is the whole
    // month: its first day there and its last in "Até". A date stays a date.
    QDate first;
    if (depDtInicial->IsDateValid() || !TryStrToMonth(depDtInicial->Text(), first))
        return;
    depDtInicial->SetDate(DateToOle(first));
    depDtFinal->SetDate(DateToOle(first.addMonths(1).addDays(-1)));
}

void TfrmFiltroCsa::depDtFinalExit(TObject*)
{
    depDtFinal->CheckValidDate();
}

void TfrmFiltroCsa::depPeriodoKeyDown(TObject*, TWord& Key, TShiftState Shift)
{
    if ((Key != VK_PRIOR && Key != VK_NEXT) || Shift != ssNone)
        return;
    // The usual periods are whole months: from the month the period ends
    // in (today's without an end date), one back or one ahead.
    const QDate end = OleToDate(depDtFinal->IsDateValid() && !EmptyString(depDtFinal->Text())
                                    ? depDtFinal->GetDate()
                                    : Today());
    const QDate first = QDate(end.year(), end.month(), 1).addMonths(Key == VK_PRIOR ? -1 : 1);
    Key = 0;
    depDtInicial->SetDate(DateToOle(first));
    depDtFinal->SetDate(DateToOle(first.addMonths(1).addDays(-1)));
}

// --- Checks --------------------------------------------------------------------------

void TfrmFiltroCsa::Vd_Lista(TRadioButton* lista, const QString& selection, const char* key)
{
    if (!lista->Checked() || !(selection == u"T" || EmptyString(selection)))
        return;
    // Once the message is shown, the choice to correct takes the focus.
    TScopeFail focus([lista] { lista->SetFocus(); });
    MensErro(msgPadrao->Msg(QString::fromUtf8(key)), true);
}

void TfrmFiltroCsa::Vd_Cliente()
{
    Vd_Lista(rbtListaCli, stCliente, "Cli_inf");
}

void TfrmFiltroCsa::Vd_Funcionario()
{
    Vd_Lista(rbtListaFunc, stFuncionario, "Func_inf");
}

void TfrmFiltroCsa::Vd_Proposta()
{
    Vd_Lista(rbtListaProp, stProposta, "Prop_inf");
}

void TfrmFiltroCsa::FocusDate(TDateEditPlus* target, TDateEditPlus* other)
{
    // Leaving the other date must not run its own check in the middle of
    // this error.
    TDetachHandler otherExit(other->OnExit);
    target->SetFocus();
}

void TfrmFiltroCsa::Vd_Data(TDateEditPlus* edit, TDateEditPlus* other, bool required,
                            const char* emptyKey, bool editIsStart)
{
    // An empty date is refused when required; otherwise the two dates are
    // compared, but only against another date that is there and valid.
    const char* fault = nullptr;
    if (EmptyString(edit->Text())) {
        if (required)
            fault = emptyKey;
    } else {
        const TDateTime start = editIsStart ? edit->GetDate() : other->GetDate();
        const TDateTime end = editIsStart ? other->GetDate() : edit->GetDate();
        if (end < start && !EmptyString(other->Text()) && other->IsDateValid())
            fault = "DtFin>DtIni";
    }
    if (!fault)
        return;
    // Once the message is shown, the date to correct takes the focus.
    TScopeFail focus([this, edit, other] { FocusDate(edit, other); });
    MensErro(msgPadrao->Msg(QString::fromUtf8(fault)), true);
}

void TfrmFiltroCsa::Vd_DtInicial(bool required)
{
    Vd_Data(depDtInicial, depDtFinal, required, "DtIni_Inf", true);
}

void TfrmFiltroCsa::Vd_DtFinal(bool required)
{
    Vd_Data(depDtFinal, depDtInicial, required, "DtFin_Inf", false);
}

// --- Option sets ------------------------------------------------------------------------

void TfrmFiltroCsa::btfSaveOpcClick(TObject* Sender)
{
    SetOptionValue(u"stCliente"_s, stCliente);
    SetOptionValue(u"stFuncionario"_s, stFuncionario);
    SetOptionValue(u"stProposta"_s, stProposta);
    TfrmFiltroPadrao::btfSaveOpcClick(Sender);
}

void TfrmFiltroCsa::btfLoadOpcClick(TObject* Sender)
{
    stCliente = OptionValue(u"stCliente"_s);
    stFuncionario = OptionValue(u"stFuncionario"_s);
    stProposta = OptionValue(u"stProposta"_s);
    TfrmFiltroPadrao::btfLoadOpcClick(Sender);
}

// --- Pickers ----------------------------------------------------------------------------------

void TfrmFiltroCsa::btnPesqCliClick(TObject*)
{
    qryCliente.Close();
    qryCliente.Open();
    PesquisaLista(&dtsCliente, u"CDCLIENTE"_s,
                  msgPadrao->Msg(u"Cliente"_s) + u'|' + msgPadrao->Msg(u"NAO_HA_CLIENTE"_s), false,
                  stCliente);
}

void TfrmFiltroCsa::btnPesqFuncClick(TObject*)
{
    qryFuncionario.Close();
    qryFuncionario.Open();
    PesquisaLista(&dtsFuncionario, u"CDFUNC"_s,
                  msgPadrao->Msg(u"Funcionario"_s) + u'|' + msgPadrao->Msg(u"NAO_HA_FUNCIONARIO"_s),
                  false, stFuncionario);
}

void TfrmFiltroCsa::btnPesqPropClick(TObject*)
{
    LoadProposals();
    PesquisaLista(&dtsProposta, u"CDCHAVE"_s,
                  msgPadrao->Msg(u"Proposta"_s) + u'|' + msgPadrao->Msg(u"NAO_HA_PROPOSTA"_s),
                  false, stProposta);
}

void TfrmFiltroCsa::LoadProposals()
{
    // The proposals of the clients chosen so far, or of every client.
    TBusyAnimation busy;
    const bool lista = rbtListaCli->Checked();
    const QJsonValue reply = Screen().netAprovCsa->AppServer().Call(
        u"GetProp"_s, {FiliProc(), lista ? stCliente : QString(), lista ? QString() : u"T"_s});
    cdsProposta.SetData(CheckResultServ(reply, true, 0));
}

void TfrmFiltroCsa::qryClienteNRINSJURCLIEGetText(TField* Sender, QString& Text, bool)
{
    Text = FormatMaskText(PictPess(qryCliente.FieldByName(u"IDTPIJURCLIE"_s)->AsString()),
                          Sender->AsString());
}

void TfrmFiltroCsa::cdsPropostaNRINSJURCLIEGetText(TField* Sender, QString& Text, bool)
{
    Text = FormatMaskText(PictPess(cdsProposta.FieldByName(u"IDTPIJURCLIE"_s)->AsString()),
                          Sender->AsString());
}

// --- Confirmation ------------------------------------------------------------------------------

void TfrmFiltroCsa::RestoreFromFiltro(bool chtBoxes)
{
    (Filtro.Cliente.Todos ? rbtTodosCli : rbtListaCli)->SetChecked(true);
    (Filtro.Funcionario.Todos ? rbtTodosFunc : rbtListaFunc)->SetChecked(true);
    (Filtro.Proposta.Todos ? rbtTodosProp : rbtListaProp)->SetChecked(true);
    stCliente = Filtro.Cliente.Lista;
    stFuncionario = Filtro.Funcionario.Lista;
    stProposta = Filtro.Proposta.Lista;
    depDtInicial->SetDate(Filtro.DtInicial);
    depDtFinal->SetDate(Filtro.DtFinal);
    chbComCHTGerada->SetChecked(Filtro.ComCHTGerada);
    chbSemCHTGerada->SetChecked(Filtro.SemCHTGerada);
    if (!chtBoxes)
        return;
    chbCHT_Pendente->SetChecked(Filtro.CHT_Pendente);
    chbCHT_Faturado->SetChecked(Filtro.CHT_Faturado);
    chbCHT_Aprovado->SetChecked(Filtro.CHT_Aprovado);
    chbCHT_Nao_Faturar->SetChecked(Filtro.CHT_Nao_Faturar);
}

void TfrmFiltroCsa::sbtConfirmaClick(TObject* Sender)
{
    if (Sender != sbtConfirma) {
        // A refresh on behalf of the approval screen: the last confirmed
        // filter, no checks, the codes as they are.
        RestoreFromFiltro(true);
        LoadServices();
        return;
    }
    // Text that is no date is refused before anything else; a month typed
    // in "De" is its whole month.
    ExpandTypedMonth();
    depDtInicial->CheckValidDate();
    depDtFinal->CheckValidDate();
    // "Todos" stands for everything.
    if (rbtTodosCli->Checked())
        stCliente = u"T"_s;
    if (rbtTodosFunc->Checked())
        stFuncionario = u"T"_s;
    if (rbtTodosProp->Checked())
        stProposta = u"T"_s;
    // A list asked for must have something in it; both dates are required.
    Vd_Cliente();
    Vd_Funcionario();
    Vd_Proposta();
    Vd_DtInicial(true);
    Vd_DtFinal(true);
    // At least one kind of CSA.
    if (!chbComCHTGerada->Checked() && !chbSemCHTGerada->Checked()) {
        chbSemCHTGerada->SetFocus();
        MensErro(msgPadrao->Msg(u"Situ_CHT_Inf"_s), true);
    }
    BuildSituationCodes();
    // With CHTs asked for, at least one situation.
    if (!chbCHT_Pendente->Checked() && !chbCHT_Faturado->Checked() && !chbCHT_Aprovado->Checked() &&
        !chbCHT_Nao_Faturar->Checked() && chbCHT_Nao_Faturar->Enabled())
        MensErro(msgPadrao->Msg(u"Situ_CHT_Inf"_s), true);
    StoreFiltro();
    // The screen's current service follows the new filter at once, then the
    // services themselves are reloaded.
    const TAprovaHorasRef& screen = Screen();
    screen.dbgPadrao->SetFocus();
    if (screen.dtsServPrest->State() == TDataSetState::dsBrowse)
        screen.cdsServPrestAfterScroll(screen.cdsServPrest);
    LoadServices();
}

void TfrmFiltroCsa::BuildSituationCodes()
{
    // Which CSAs: "S" without CHT, "C" with, "T" both.
    stSituacaoCSA.clear();
    stSituacaoCHT.clear();
    if (chbSemCHTGerada->Checked())
        stSituacaoCSA += u'S';
    if (chbComCHTGerada->Checked())
        stSituacaoCSA += u'C';
    if (chbSemCHTGerada->Checked() && chbComCHTGerada->Checked())
        stSituacaoCSA = u"T"_s;
    // Which CHTs, as "_P", "_R", "_A", "_N" in a row, or "T" for all four;
    // only when CSAs with CHT are asked for.
    if (chbComCHTGerada->Checked()) {
        if (chbCHT_Pendente->Checked())
            stSituacaoCHT += u"_P"_s;
        if (chbCHT_Faturado->Checked())
            stSituacaoCHT += u"_R"_s;
        if (chbCHT_Aprovado->Checked())
            stSituacaoCHT += u"_A"_s;
        if (chbCHT_Nao_Faturar->Checked())
            stSituacaoCHT += u"_N"_s;
        if (chbCHT_Pendente->Checked() && chbCHT_Faturado->Checked() &&
            chbCHT_Aprovado->Checked() && chbCHT_Nao_Faturar->Checked())
            stSituacaoCHT = u"T"_s;
    }
}

void TfrmFiltroCsa::StoreFiltro()
{
    Filtro.Cliente = {rbtTodosCli->Checked(), stCliente};
    Filtro.Funcionario = {rbtTodosFunc->Checked(), stFuncionario};
    Filtro.Proposta = {rbtTodosProp->Checked(), stProposta};
    Filtro.DtInicial = depDtInicial->GetDate();
    Filtro.DtFinal = depDtFinal->GetDate();
    Filtro.ComCHTGerada = chbComCHTGerada->Checked();
    Filtro.SemCHTGerada = chbSemCHTGerada->Checked();
    Filtro.CHT_Pendente = chbCHT_Pendente->Checked();
    Filtro.CHT_Aprovado = chbCHT_Aprovado->Checked();
    Filtro.CHT_Faturado = chbCHT_Faturado->Checked();
    Filtro.CHT_Nao_Faturar = chbCHT_Nao_Faturar->Checked();
}

void TfrmFiltroCsa::LoadServices()
{
    FetchServices();
    Close();
}

void TfrmFiltroCsa::FetchServices()
{
    // The screen empties below the services, which come back filtered.
    const TAprovaHorasRef& screen = Screen();
    TBusyAnimation busy;
    screen.cdsCHT->Close();
    screen.cdsFunc->Close();
    screen.cdsCSA->Close();
    screen.cdsAuxCSA->Close();
    screen.lblTotHoraFat->SetCaption(QString());
    screen.lblTotHoraComis->SetCaption(QString());
    screen.nedVrFaturar->SetText(QString());
    const QString operador = Operador();
    const QJsonValue reply = screen.netAprovCsa->AppServer().Call(
        u"GetServPrest"_s, {depDtInicial->GetDate(), depDtFinal->GetDate(), stCliente,
                            stFuncionario, stProposta, stSituacaoCSA, operador, stSituacaoCHT});
    screen.cdsServPrest->SetData(PacketFromJson(reply));
}

void CriaFiltroCsa()
{
    THourGlass hourGlass;
    if (!frmFiltroCsa)
        frmFiltroCsa = Application()->CreateForm<TfrmFiltroCsa>();
    frmFiltroCsa->ShowModal();
}

void Cli_aph31501_Initialization()
{
    frmFiltroCsa = nullptr;
}

void Cli_aph31501_Finalization()
{
    if (frmFiltroCsa)
        Application()->DestroyForm(frmFiltroCsa);
    frmFiltroCsa = nullptr;
    Filtro.Cliente.Lista = QString();
    Filtro.Funcionario.Lista = QString();
    Filtro.Proposta.Lista = QString();
}

} // namespace aph
