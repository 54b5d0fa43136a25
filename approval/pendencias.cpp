#include "approval/pendencias.h"

#include "host/data/formatsettings.h"
#include "host/data/scopeguard.h"
#include "host/framework/messages.h"

using namespace Qt::StringLiterals;

namespace aph {

TfrmPendencias::TfrmPendencias(const TMessages& messages, std::function<QString(double)> hours)
    : TForm(u"frmPendencias"_s), m_messages(messages), m_hours(std::move(hours))
{
    SetClientSize(1000, 400);
    SetCaption(m_messages.Msg(u"PEND_TITULO"_s));
    panBotoes = Add<TPanel>(u"panBotoes"_s);
    panBotoes->SetAlign(TAlign::alBottom);
    panBotoes->SetHeight(36);
    lblTotal = panBotoes->Add<TLabel>(u"lblTotal"_s);
    lblTotal->SetBounds(8, 10, 520, 16);
    chbTodas = panBotoes->Add<TCheckBox>(u"chbTodas"_s);
    chbTodas->SetCaption(m_messages.Msg(u"PEND_TODAS"_s));
    chbTodas->SetBounds(540, 10, 270, 17);
    chbTodas->SetVisible(false);
    chbTodas->OnClick = [this](TObject*) {
        Mostra();
    };
    btnIr = panBotoes->Add<TButton>(u"btnIr"_s);
    btnIr->SetCaption(m_messages.Msg(u"PEND_IR"_s));
    btnIr->SetBounds(820, 6, 80, 25);
    btnIr->SetModalResult(mrOk);
    btnFechar = panBotoes->Add<TButton>(u"btnFechar"_s);
    btnFechar->SetCaption(m_messages.Msg(u"PEND_FECHAR"_s));
    btnFechar->SetBounds(910, 6, 80, 25);
    btnFechar->SetModalResult(mrCancel);
    // Enter takes the screen to the line's day; Escape only closes.
    SetDefaultButton(btnIr);
    SetCancelButton(btnFechar);
    dbgPend = Add<TDBGrid>(u"dbgPend"_s);
    dbgPend->SetAlign(TAlign::alClient);
    dbgPend->SetOptions(dgTitles | dgColumnResize | dgColLines | dgRowLines | dgRowSelect |
                        dgAlwaysShowSelection);
    dbgPend->SetReadOnly(true);
    dbgPend->SetColor(clInfoBk);
    dbgPend->SetDataSource(&dtsPend);
    dtsPend.SetDataSet(&cdsPend);
    CreateColumns();
    // The keys go to the list from the start: arrows choose, Enter goes.
    OnShow = [this](TObject*) {
        SetActiveControl(dbgPend);
    };
}

void TfrmPendencias::CreateColumns()
{
    const std::tuple<const char*, const char*, int> columns[] = {
        {"NMFANTCLIE", "PEND_CLIENTE", 300},
        {"NMFUNC", "PEND_FUNC", 200},
        {"NRSEQUCHT", "PEND_CHT", 70},
        {"DTSERVPREST", "PEND_DIA", 100},
        {"IDPENDENCIA", "PEND_TIPO", 310}};
    for (const auto& [field, title, width] : columns)
        dbgPend->AddColumn(QString::fromLatin1(field), m_messages.Msg(QString::fromLatin1(title)),
                           width);
}

void TfrmPendencias::Carrega(const TDataPacket& packet, qint64 more, const TProprias& proprias)
{
    m_more = more;
    m_todas = TDataPacket{packet.Fields, {}};
    m_proprias = TDataPacket{packet.Fields, {}};
    std::vector<TRow> outras;
    for (const TRow& row : packet.Rows) {
        const bool propria = !proprias || proprias(packet, *row);
        (propria ? m_proprias.Rows : outras).push_back(row);
    }
    m_todas.Rows = m_proprias.Rows;
    m_todas.Rows.insert(m_todas.Rows.end(), outras.begin(), outras.end());
    // The switch only where there is something apart; with none of the
    // lines its own, every line shows.
    chbTodas->SetVisible(!outras.empty() && !m_proprias.Rows.empty());
    {
        TDetachHandler quiet(chbTodas->OnClick);
        chbTodas->SetChecked(m_proprias.Rows.empty());
    }
    Mostra();
}

void TfrmPendencias::Mostra()
{
    cdsPend.SetData(chbTodas->Checked() ? m_todas : m_proprias);
    for (int i = 0; i < cdsPend.FieldCount(); ++i)
        TextsFor(cdsPend.Field(i));
    cdsPend.First();
    const int n = cdsPend.RecordCount();
    lblTotal->SetCaption(m_more > 0 ? m_messages.Msg(u"PEND_MAIS"_s).arg(n).arg(m_more)
                                    : m_messages.Msg(u"PEND_TOTAL"_s).arg(n));
}

// Each line as the clerk reads it: client and service together, "sem CHT"
// for the days without one, the day with its weekday, the kind in words.
void TfrmPendencias::TextsFor(TField* field)
{
    const QString name = field->FieldName();
    if (name == u"NMFANTCLIE") {
        TField* service = cdsPend.FindField(u"NMTIPOSERV"_s);
        field->OnGetText = [service](TField* f, QString& text, bool) {
            text = service ? f->AsString() + u" / "_s + service->AsString() : f->AsString();
        };
    } else if (name == u"NRSEQUCHT") {
        field->OnGetText = [this](TField* f, QString& text, bool) {
            text = f->AsString().isEmpty() ? m_messages.Msg(u"PEND_SEM_CHT"_s) : f->AsString();
        };
    } else if (name == u"DTSERVPREST") {
        field->OnGetText = [](TField* f, QString& text, bool) {
            if (!f->IsNull())
                text = FormatDateTime(u"dd/mm/yyyy ddd"_s, f->AsDateTime());
        };
    } else if (name == u"IDPENDENCIA") {
        TField* contracted = cdsPend.FindField(u"QTSERVCONT"_s);
        TField* comment = cdsPend.FindField(u"DSCOMENTARIO"_s);
        field->OnGetText = [this, contracted, comment](TField* f, QString& text, bool) {
            const QString key = u"PEND_TIPO_"_s + f->AsString();
            text = m_messages.Contains(key) ? m_messages.Msg(key) : f->AsString();
            if (f->AsString() == u"F" && contracted)
                text = text.arg(m_hours(contracted->AsFloat()));
            // The client's own words on the day it contested.
            if (f->AsString() == u"C")
                text = text.arg(comment ? comment->AsString() : QString());
        };
    }
}

} // namespace aph
