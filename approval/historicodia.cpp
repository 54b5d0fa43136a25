#include "approval/historicodia.h"

#include "host/data/formatsettings.h"
#include "host/framework/messages.h"
#include "service/codewords.h"

using namespace Qt::StringLiterals;

namespace aph {

namespace {

constexpr int kOccurrenceWidth = 220; // "02/01 – Falta justificada" whole

} // namespace

TfrmHistoricoDia::TfrmHistoricoDia(const TMessages& messages, std::function<QString(double)> hours)
    : TForm(u"frmHistoricoDia"_s), m_messages(messages), m_hours(std::move(hours))
{
    SetClientSize(1200, 300);
    panBotoes = Add<TPanel>(u"panBotoes"_s);
    panBotoes->SetAlign(TAlign::alBottom);
    panBotoes->SetHeight(36);
    btnFechar = panBotoes->Add<TButton>(u"btnFechar"_s);
    btnFechar->SetCaption(m_messages.Msg(u"HIST_FECHAR"_s));
    btnFechar->SetBounds(1110, 6, 80, 25);
    btnFechar->SetModalResult(mrOk);
    SetDefaultButton(btnFechar);
    SetCancelButton(btnFechar);
    dbgHist = Add<TDBGrid>(u"dbgHist"_s);
    dbgHist->SetAlign(TAlign::alClient);
    dbgHist->SetOptions(dgTitles | dgColumnResize | dgColLines | dgRowLines | dgRowSelect |
                        dgAlwaysShowSelection);
    dbgHist->SetReadOnly(true);
    dbgHist->SetColor(clInfoBk);
    dbgHist->SetDataSource(&dtsHist);
    dtsHist.SetDataSet(&cdsHist);
    CreateColumns();
    // The keys go to the list from the start: Right, Left, Home and End
    // walk its columns and the view follows, so the last one is read
    // without the mouse.
    OnShow = [this](TObject*) {
        SetActiveControl(dbgHist);
    };
}

void TfrmHistoricoDia::CreateColumns()
{
    const std::pair<const char*, const char*> columns[] = {{"DTEVENTO", "HIST_DATA"},
                                                           {"NMOPERADOR", "HIST_OPERADOR"},
                                                           {"IDEVENTO", "HIST_EVENTO"},
                                                           {"QTHRAPROFATU_ANT", "HIST_FAT_ANT"},
                                                           {"QTHRAPROFATU", "HIST_FAT"},
                                                           {"QTHRAPRCOMIS_ANT", "HIST_COM_ANT"},
                                                           {"QTHRAPRCOMIS", "HIST_COM"},
                                                           {"CDOCORR_ANT", "HIST_OCO_ANT"},
                                                           {"CDOCORR", "HIST_OCO"},
                                                           {"NRSEQUCHT", "HIST_CHT"},
                                                           {"IDSTATUSCHT_ANT", "HIST_SIT_ANT"},
                                                           {"IDSTATUSCHT", "HIST_SIT"},
                                                           {"DSMOTIVO", "HIST_MOTIVO"},
                                                           {"NRNOTAFISCAL", "HIST_NOTA"}};
    for (const auto& [field, title] : columns) {
        const QString caption = m_messages.Msg(QString::fromLatin1(title));
        dbgHist->AddColumn(QString::fromLatin1(field), caption,
                           std::max(60, static_cast<int>(caption.size()) * 7));
    }
    dbgHist->Column(0)->SetWidth(115); // a date and time
    dbgHist->Column(1)->SetWidth(120);
    dbgHist->Column(2)->SetWidth(115);
    // An occurrence reads "grupo/código – descrição".
    for (int i = 7; i <= 8; ++i)
        dbgHist->Column(i)->SetWidth(kOccurrenceWidth);
    dbgHist->Column(12)->SetWidth(220); // a situation change's reason
}

void TfrmHistoricoDia::Carrega(const TDataPacket& packet)
{
    cdsHist.SetData(packet);
    for (int i = 0; i < cdsHist.FieldCount(); ++i)
        TextsFor(cdsHist.Field(i));
    cdsHist.First();
}

// Codes as words and hours as the screen writes them.
void TfrmHistoricoDia::TextsFor(TField* field)
{
    const QString name = field->FieldName();
    if (name == u"DTEVENTO") {
        field->OnGetText = [](TField* f, QString& text, bool) {
            if (!f->IsNull())
                text = FormatDateTime(u"dd/mm/yyyy hh:nn:ss"_s, f->AsDateTime());
        };
    } else if (name == u"NMOPERADOR") {
        // Without a name the operator's code stands.
        TField* code = cdsHist.FindField(u"CDOPERADOR"_s);
        field->OnGetText = [code](TField* f, QString& text, bool) {
            text = f->AsString().isEmpty() && code ? code->AsString() : f->AsString();
        };
    } else if (name == u"IDEVENTO") {
        field->OnGetText = [this](TField* f, QString& text, bool) {
            const QString key = u"HIST_EV_"_s + f->AsString();
            text = m_messages.Contains(key) ? m_messages.Msg(key) : f->AsString();
        };
    } else if (name.startsWith(u"QTHR")) {
        field->OnGetText = [this](TField* f, QString& text, bool) {
            if (!f->IsNull())
                text = m_hours(f->AsFloat());
        };
    } else if (name.startsWith(u"CDOCORR") && m_occurrence) {
        field->OnGetText = [this](TField* f, QString& text, bool) {
            if (!f->AsString().isEmpty())
                text = m_occurrence(f->AsString());
        };
    } else if (name.startsWith(u"IDSTATUSCHT")) {
        field->OnGetText = [](TField* f, QString& text, bool) {
            text = ChtSituationWord(f->AsString());
        };
    }
}

} // namespace aph
