#include "host/framework/basescreens.h"

#include "host/framework/desktop.h"
#include "host/framework/functions.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

TSpeedButton* ToolButton(TPanel* panel, const char* name, const char* hint, const char* glyph,
                         int left)
{
    auto* b = panel->Add<TSpeedButton>(QString::fromLatin1(name));
    b->SetBounds(left, 3, 25, 25);
    b->SetFlat(true);
    b->SetHint(QString::fromUtf8(hint));
    b->SetShowHint(true);
    b->SetGlyph(QString::fromLatin1(glyph));
    return b;
}

TMenuItem* Entry(TMenuItem* menu, const char* name, const char* caption)
{
    auto* item = menu->Add<TMenuItem>(QString::fromLatin1(name));
    item->SetCaption(QString::fromUtf8(caption));
    return item;
}

void Wire(TControl* control, std::function<void(TObject*)> handler)
{
    control->OnClick = std::move(handler);
}

} // namespace

// --- TfrmPadraoGrid ------------------------------------------------------------

TfrmPadraoGrid::TfrmPadraoGrid(QString name) : TForm(std::move(name))
{
    SetFormStyle(TFormStyle::fsMDIChild);
    SetClientSize(800, 500);
    m_dtsPadrao = std::make_unique<TDataSource>(u"dtsPadrao"_s);
    m_msgPadrao = std::make_unique<TMessages>(u"msgPadrao"_s);
    dtsPadrao = m_dtsPadrao.get();
    msgPadrao = m_msgPadrao.get();

    panMenu = Add<TPanel>(u"panMenu"_s);
    panMenu->SetAlign(TAlign::alTop);
    panMenu->SetHeight(31);
    sbtIncluir = ToolButton(panMenu, "sbtIncluir", "Incluir", "insert", 2);
    sbtAlterar = ToolButton(panMenu, "sbtAlterar", "Alterar", "edit", 27);
    sbtExcluir = ToolButton(panMenu, "sbtExcluir", "Excluir", "delete", 52);
    sbtProcurar = ToolButton(panMenu, "sbtProcurar", "Procurar", "search", 77);
    sbtVerificar = ToolButton(panMenu, "sbtVerificar", "Verificar", "refresh", 102);
    sbtCancelar = ToolButton(panMenu, "sbtCancelar", "Cancelar", "cancel", 127);
    sbtConfirmar = ToolButton(panMenu, "sbtConfirmar", "Confirmar", "confirm", 152);
    sbtImprimir = ToolButton(panMenu, "sbtImprimir", "Imprimir", "print", 182);
    sbtAjuda = ToolButton(panMenu, "sbtAjuda", "Ajuda", "help", 218);
    sbtFechar = ToolButton(panMenu, "sbtFechar", "Fechar", "close", 254);
    lblCodTela = panMenu->Add<TLabel>(u"lblCodTela"_s);
    lblCodTela->SetAlign(TAlign::alRight);
    lblCodTela->SetWidth(70);
    lblCodTela->SetAlignment(TLabel::TTextAlign::Right);

    mnuMenu = Add<TMainMenu>(u"mnuMenu"_s);
    SetMenu(mnuMenu);
    mnuManutencao = mnuMenu->Add<TMenuItem>(u"mnuManutencao"_s);
    mnuManutencao->SetCaption(u"&Manutenção"_s);
    mnuIncluir = Entry(mnuManutencao, "mnuIncluir", "&Incluir");
    mnuAlterar = Entry(mnuManutencao, "mnuAlterar", "&Alterar");
    mnuExcluir = Entry(mnuManutencao, "mnuExcluir", "&Excluir");
    mnuProcurar = Entry(mnuManutencao, "mnuProcurar", "&Procurar");
    mnuVerificar = Entry(mnuManutencao, "mnuVerificar", "&Verificar");
    mnuCancelar = Entry(mnuManutencao, "mnuCancelar", "&Cancelar");
    mnuConfirmar = Entry(mnuManutencao, "mnuConfirmar", "C&onfirmar");
    SetShortCuts();

    panNavigator = Add<TPanel>(u"panNavigator"_s);
    panNavigator->SetAlign(TAlign::alBottom);
    panNavigator->SetHeight(27);
    dbnPadrao = panNavigator->Add<TDBNavigator>(u"dbnPadrao"_s);
    dbnPadrao->SetAlign(TAlign::alRight);
    dbnPadrao->SetWidth(100);

    pgcPadrao = Add<TPageControl>(u"pgcPadrao"_s);
    pgcPadrao->SetAlign(TAlign::alClient);
    tshPadrao = pgcPadrao->Add<TTabSheet>(u"tshPadrao"_s);
    tshPadrao->SetAlign(TAlign::alClient);
    panDbgPadrao = tshPadrao->Add<TPanel>(u"panDbgPadrao"_s);
    panDbgPadrao->SetAlign(TAlign::alTop);
    panDbgPadrao->SetHeight(194);
    scbFolhaDados = panDbgPadrao->Add<TScrollBox>(u"scbFolhaDados"_s);
    scbFolhaDados->SetAlign(TAlign::alClient);
    dbgPadrao = scbFolhaDados->Add<TDBGrid>(u"dbgPadrao"_s);
    dbgPadrao->SetAlign(TAlign::alClient);
    dbgPadrao->SetOptions(dbgPadrao->Options() & ~dgEditing);
    WireBase();
}

TfrmPadraoGrid::~TfrmPadraoGrid() = default;

void TfrmPadraoGrid::SetShortCuts()
{
    // Every toolbar command has a key, shown in its tooltip and, where it
    // has one, in its menu entry; the two run the same handler.
    const struct
    {
        TSpeedButton* Button;
        TMenuItem* Entry;
        TShortCut Key;
    } keys[] = {
        {sbtIncluir, mnuIncluir, ShortCut('I', ssCtrl)},
        {sbtAlterar, mnuAlterar, ShortCut('E', ssCtrl)},
        {sbtExcluir, mnuExcluir, ShortCut(VK_DELETE, ssCtrl | ssShift)},
        {sbtProcurar, mnuProcurar, ShortCut('F', ssCtrl)},
        {sbtVerificar, mnuVerificar, ShortCut('R', ssCtrl)},
        {sbtCancelar, mnuCancelar, ShortCut('Z', ssCtrl)},
        {sbtConfirmar, mnuConfirmar, ShortCut('S', ssCtrl)},
        {sbtImprimir, nullptr, ShortCut('P', ssCtrl)},
        {sbtAjuda, nullptr, ShortCut(VK_F1, ssNone)},
        {sbtFechar, nullptr, ShortCut(VK_F4, ssCtrl)},
    };
    for (const auto& k : keys) {
        k.Button->SetShortCut(k.Key);
        if (k.Entry)
            k.Entry->SetShortCut(k.Key);
    }
}

void TfrmPadraoGrid::WireBase()
{
    OnCreate = [this](TObject* s) {
        FormCreate(s);
    };
    OnClose = [this](TObject* s, TCloseAction& a) {
        FormClose(s, a);
    };
    OnCloseQuery = [this](TObject* s, bool& c) {
        FormCloseQuery(s, c);
    };
    Wire(sbtIncluir, [this](TObject* s) { sbtIncluirClick(s); });
    Wire(sbtAlterar, [this](TObject* s) { sbtAlterarClick(s); });
    Wire(sbtExcluir, [this](TObject* s) { sbtExcluirClick(s); });
    Wire(sbtProcurar, [this](TObject* s) { sbtProcurarClick(s); });
    Wire(sbtVerificar, [this](TObject* s) { sbtVerificarClick(s); });
    Wire(sbtCancelar, [this](TObject* s) { sbtCancelarClick(s); });
    Wire(sbtConfirmar, [this](TObject* s) { sbtConfirmarClick(s); });
    Wire(sbtImprimir, [this](TObject* s) { sbtImprimirClick(s); });
    Wire(sbtAjuda, [this](TObject* s) { sbtAjudaClick(s); });
    Wire(sbtFechar, [this](TObject* s) { sbtFecharClick(s); });
    // Each menu entry runs its button's action.
    Wire(mnuIncluir, [this](TObject*) { sbtIncluirClick(sbtIncluir); });
    Wire(mnuAlterar, [this](TObject*) { sbtAlterarClick(sbtAlterar); });
    Wire(mnuExcluir, [this](TObject*) { sbtExcluirClick(sbtExcluir); });
    Wire(mnuProcurar, [this](TObject*) { sbtProcurarClick(sbtProcurar); });
    Wire(mnuVerificar, [this](TObject*) { sbtVerificarClick(sbtVerificar); });
    Wire(mnuCancelar, [this](TObject*) { sbtCancelarClick(sbtCancelar); });
    Wire(mnuConfirmar, [this](TObject*) { sbtConfirmarClick(sbtConfirmar); });
    dbgPadrao->OnKeyDown = [this](TObject* s, TWord& k, TShiftState sh) {
        dbgPadraoKeyDown(s, k, sh);
    };
    dbgPadrao->OnKeyPress = [this](TObject* s, QChar& k) {
        dbgPadraoKeyPress(s, k);
    };
    dbnPadrao->SetDataSource(nullptr);
}

void TfrmPadraoGrid::FormCreate(TObject* /*Sender*/)
{
    for (TControl* c : {static_cast<TControl*>(sbtIncluir), static_cast<TControl*>(sbtAlterar),
                        static_cast<TControl*>(sbtExcluir), static_cast<TControl*>(sbtCancelar),
                        static_cast<TControl*>(sbtConfirmar), static_cast<TControl*>(mnuIncluir),
                        static_cast<TControl*>(mnuAlterar), static_cast<TControl*>(mnuExcluir),
                        static_cast<TControl*>(mnuProcurar), static_cast<TControl*>(mnuVerificar),
                        static_cast<TControl*>(mnuCancelar), static_cast<TControl*>(mnuConfirmar)})
        c->SetEnabled(false);
}

void TfrmPadraoGrid::FormCloseQuery(TObject* /*Sender*/, bool& CanClose)
{
    TClientDataSet* ds = PadraoDataSet();
    if (!ds || (ds->State() != TDataSetState::dsEdit && ds->State() != TDataSetState::dsInsert))
        return;
    Desktop* desktop = Application()->GetDesktop();
    const int answer =
        desktop ? desktop->MessageDlg(
                      u"Há alterações não confirmadas. Deseja confirmá-las antes de fechar?"_s,
                      TMsgDlgType::mtConfirmation, mbYes | mbNo | mbCancel)
                : mrCancel;
    if (answer == mrYes) {
        try {
            ds->Post();
        } catch (...) {
            CanClose = false; // the row stays in edit for the user to fix
            Application()->ShowException(std::current_exception());
        }
    } else if (answer == mrNo) {
        ds->Cancel();
    } else {
        CanClose = false;
    }
}

void TfrmPadraoGrid::FormClose(TObject* /*Sender*/, TCloseAction& Action)
{
    Action = TCloseAction::caFree;
}

void TfrmPadraoGrid::sbtIncluirClick(TObject*)
{
    if (TClientDataSet* ds = PadraoDataSet())
        ds->Insert();
}

void TfrmPadraoGrid::sbtAlterarClick(TObject*)
{
    if (TClientDataSet* ds = PadraoDataSet())
        ds->Edit();
}

void TfrmPadraoGrid::sbtExcluirClick(TObject*)
{
    TClientDataSet* ds = PadraoDataSet();
    if (ds && !ds->IsEmpty() &&
        msgPadrao->ShowMsg(u"Excl"_s, TMsgDlgType::mtConfirmation, mbYes | mbNo) == mrYes)
        ds->Delete();
}

void TfrmPadraoGrid::sbtProcurarClick(TObject*)
{
    Desktop* desktop = Application()->GetDesktop();
    if (desktop && PadraoDataSet())
        desktop->Search(PadraoDataSet());
}

void TfrmPadraoGrid::sbtVerificarClick(TObject*) {}

void TfrmPadraoGrid::sbtCancelarClick(TObject*)
{
    if (TClientDataSet* ds = PadraoDataSet())
        ds->Cancel();
}

void TfrmPadraoGrid::sbtConfirmarClick(TObject*)
{
    if (TClientDataSet* ds = PadraoDataSet())
        ds->Post();
}

void TfrmPadraoGrid::sbtImprimirClick(TObject*) {}

void TfrmPadraoGrid::sbtAjudaClick(TObject*)
{
    Desktop* desktop = Application()->GetDesktop();
    if (!desktop)
        return;
    // The screen's keys as its menu and toolbar have them now, and the
    // grid's own that no entry shows.
    QString text = u"%1 — %2"_s.arg(lblCodTela->Caption(), Caption());
    text += u"\n\nTeclas desta tela:"_s;
    for (const TKeyHelp& key : KeyList())
        text += u"\n%1\t%2"_s.arg(key.Keys, key.Action);
    text += u"\nCtrl+Tab, Ctrl+Shift+Tab\tpróximo ou anterior quadro"_s;
    text += u"\nF2\teditar a célula"_s;
    text += u"\nEsc\tdesfazer a edição"_s;
    text += u"\n↑, ↓ (sair da linha)\tgrava a linha alterada"_s;
    desktop->MessageDlg(text, TMsgDlgType::mtInformation, mbOK);
}

void TfrmPadraoGrid::sbtFecharClick(TObject*)
{
    Close();
}

void TfrmPadraoGrid::dbgPadraoKeyDown(TObject* Sender, TWord& Key, TShiftState Shift)
{
    auto* grid = dynamic_cast<TDBGrid*>(Sender);
    if (Key == VK_INSERT || (Key == VK_DELETE && (Shift & ssCtrl))) {
        Key = 0;
        return;
    }
    if (Key == VK_DOWN && grid && grid->DataSet() && grid->DataSet()->Active() &&
        grid->DataSet()->RecNo() >= grid->DataSet()->RecordCount())
        Key = 0;
}

void TfrmPadraoGrid::dbgPadraoKeyPress(TObject* /*Sender*/, QChar& Key)
{
    if (Key == QChar(u'\r'))
        Key = QChar();
}

// --- TfrmFiltroPadrao -----------------------------------------------------------

TfrmFiltroPadrao::TfrmFiltroPadrao(QString name) : TForm(std::move(name))
{
    m_msgPadrao = std::make_unique<TMessages>(u"msgPadrao"_s);
    msgPadrao = m_msgPadrao.get();
    panFiltro = Add<TPanel>(u"panFiltro"_s);
    panFiltro->SetAlign(TAlign::alLeft);
    panFiltro->SetWidth(513);
    panBotoes = Add<TPanel>(u"panBotoes"_s);
    panBotoes->SetAlign(TAlign::alClient);
    const auto button = [this](const char* buttonName, const char* hint, const char* glyph,
                               int top) {
        auto* b = panBotoes->Add<TSpeedButton>(QString::fromLatin1(buttonName));
        b->SetBounds(8, top, 40, 25);
        b->SetHint(QString::fromUtf8(hint));
        b->SetShowHint(true);
        b->SetGlyph(QString::fromLatin1(glyph));
        // The dialog's buttons follow the filter in the Tab order.
        b->SetTabStop(true);
        return b;
    };
    sbtConfirma = button("sbtConfirma", "Confirmar", "confirm", 6);
    sbtCancela = button("sbtCancela", "Cancelar", "cancel", 34);
    // Enter confirms the dialog and Escape cancels it, as their buttons do.
    SetDefaultButton(sbtConfirma);
    SetCancelButton(sbtCancela);
    btfSaveOpc = button("btfSaveOpc", "Salvar opções", "save", 70);
    btfLoadOpc = button("btfLoadOpc", "Carregar opções", "open", 98);
    lblCodTela = panBotoes->Add<TLabel>(u"lblCodTela"_s);
    lblCodTela->SetAlign(TAlign::alBottom);
    lblCodTela->SetHeight(14);
    lblCodTela->SetAlignment(TLabel::TTextAlign::Center);
    SetClientSize(568, 147);
    WireBase();
}

TfrmFiltroPadrao::~TfrmFiltroPadrao() = default;

void TfrmFiltroPadrao::WireBase()
{
    OnCreate = [this](TObject* s) {
        FormCreate(s);
    };
    sbtConfirma->OnClick = [this](TObject* s) {
        sbtConfirmaClick(s);
    };
    sbtCancela->OnClick = [this](TObject* s) {
        sbtCancelaClick(s);
    };
    btfSaveOpc->OnClick = [this](TObject* s) {
        btfSaveOpcClick(s);
    };
    btfLoadOpc->OnClick = [this](TObject* s) {
        if (ChooseOptionSet())
            btfLoadOpcClick(s);
    };
}

void TfrmFiltroPadrao::FormCreate(TObject*) {}

void TfrmFiltroPadrao::sbtConfirmaClick(TObject*)
{
    SetModalResult(mrOk);
}

void TfrmFiltroPadrao::sbtCancelaClick(TObject*)
{
    Close();
}

QString TfrmFiltroPadrao::OptionValue(const QString& name) const
{
    const QString prefix = name + u'=';
    for (const QString& line : Opcoes)
        if (line.startsWith(prefix))
            return line.mid(prefix.size());
    return {};
}

void TfrmFiltroPadrao::SetOptionValue(const QString& name, const QString& value)
{
    const QString prefix = name + u'=';
    for (QString& line : Opcoes) {
        if (line.startsWith(prefix)) {
            line = prefix + value;
            return;
        }
    }
    Opcoes << prefix + value;
}

QString TfrmFiltroPadrao::OptionFile(const QString& screenCode)
{
    const QString dir =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u"/aph/opcoes"_s;
    return dir + u'/' + screenCode + u".ini"_s;
}

QStringList TfrmFiltroPadrao::SavedOptionSets() const
{
    QSettings settings(OptionFile(lblCodTela->Caption()), QSettings::IniFormat);
    return settings.childGroups();
}

namespace {

template <class F> void ForEachControl(TWinControl* parent, F&& f)
{
    for (int i = 0; i < parent->ControlCount(); ++i) {
        TControl* c = parent->Control(i);
        f(c);
        if (auto* win = dynamic_cast<TWinControl*>(c))
            ForEachControl(win, f);
    }
}

} // namespace

void TfrmFiltroPadrao::btfSaveOpcClick(TObject*)
{
    ForEachControl(panFiltro, [this](TControl* c) {
        if (auto* check = dynamic_cast<TCheckBox*>(c))
            SetOptionValue(c->Name(), check->Checked() ? u"1"_s : u"0"_s);
        else if (auto* radio = dynamic_cast<TRadioButton*>(c))
            SetOptionValue(c->Name(), radio->Checked() ? u"1"_s : u"0"_s);
        else if (auto* date = dynamic_cast<TDateEditPlus*>(c))
            SetOptionValue(c->Name(), date->Text());
    });
    Desktop* desktop = Application()->GetDesktop();
    QString name;
    if (!desktop ||
        !desktop->InputQuery(u"Salvar opções"_s, u"Nome do conjunto de opções:"_s, name))
        return;
    name = name.trimmed();
    if (name.isEmpty())
        MensErro(u"Informe um nome para o conjunto de opções."_s, true);
    const QString file = OptionFile(lblCodTela->Caption());
    QDir().mkpath(QFileInfo(file).absolutePath());
    QSettings settings(file, QSettings::IniFormat);
    settings.remove(name);
    settings.beginGroup(name);
    for (const QString& line : std::as_const(Opcoes)) {
        const qsizetype eq = line.indexOf(u'=');
        if (eq > 0)
            settings.setValue(line.left(eq), line.mid(eq + 1));
    }
    settings.endGroup();
    settings.sync();
    if (settings.status() != QSettings::NoError)
        MensErro(u"Não foi possível salvar as opções em %1."_s.arg(file), true);
    AskStartOptionSet(name);
}

namespace {

// The key that marks, inside a set's group, the set the screen opens with.
const QString kStartKey = u"APH_INICIAL"_s;

} // namespace

void TfrmFiltroPadrao::AskStartOptionSet(const QString& name)
{
    Desktop* desktop = Application()->GetDesktop();
    const bool start =
        desktop && desktop->MessageDlg(u"Abrir esta tela sempre com as opções \"%1\"?"_s.arg(name),
                                       TMsgDlgType::mtConfirmation, mbYes | mbNo) == mrYes;
    if (!start && StartOptionSet() != name)
        return;
    // One set at most is marked: marking this one unmarks the others, and
    // No on the marked one unmarks it.
    QSettings settings(OptionFile(lblCodTela->Caption()), QSettings::IniFormat);
    for (const QString& set : settings.childGroups())
        settings.remove(set + u'/' + kStartKey);
    if (start)
        settings.setValue(name + u'/' + kStartKey, u"1"_s);
    settings.sync();
}

QString TfrmFiltroPadrao::StartOptionSet() const
{
    QSettings settings(OptionFile(lblCodTela->Caption()), QSettings::IniFormat);
    for (const QString& set : settings.childGroups())
        if (settings.value(set + u'/' + kStartKey).toString() == u"1")
            return set;
    return {};
}

bool TfrmFiltroPadrao::LoadStartOptionSet()
{
    const QString set = StartOptionSet();
    if (set.isEmpty())
        return false;
    ReadOptionSet(set);
    return true;
}

void TfrmFiltroPadrao::ReadOptionSet(const QString& name)
{
    QSettings settings(OptionFile(lblCodTela->Caption()), QSettings::IniFormat);
    settings.beginGroup(name);
    Opcoes.clear();
    for (const QString& key : settings.childKeys())
        if (key != kStartKey)
            Opcoes << key + u'=' + settings.value(key).toString();
}

bool TfrmFiltroPadrao::ChooseOptionSet()
{
    Desktop* desktop = Application()->GetDesktop();
    const QStringList sets = SavedOptionSets();
    if (!desktop)
        return false;
    if (sets.isEmpty()) {
        desktop->MessageDlg(u"Não há opções salvas para esta tela."_s, TMsgDlgType::mtInformation,
                            mbOK);
        return false;
    }
    int index = 0;
    if (!desktop->PickString(u"Carregar opções"_s, sets, index) || index < 0 ||
        index >= sets.size())
        return false;
    ReadOptionSet(sets[index]);
    return true;
}

void TfrmFiltroPadrao::btfLoadOpcClick(TObject*)
{
    ForEachControl(panFiltro, [this](TControl* c) {
        const QString prefix = c->Name() + u'=';
        const bool present = std::any_of(Opcoes.cbegin(), Opcoes.cend(),
                                         [&](const QString& l) { return l.startsWith(prefix); });
        if (!present)
            return;
        const QString value = OptionValue(c->Name());
        if (auto* check = dynamic_cast<TCheckBox*>(c))
            check->SetChecked(value == u"1");
        else if (auto* radio = dynamic_cast<TRadioButton*>(c)) {
            if (value == u"1")
                radio->SetChecked(true);
        } else if (auto* date = dynamic_cast<TDateEditPlus*>(c))
            date->SetText(value);
    });
}

} // namespace aph
