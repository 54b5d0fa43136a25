#include "approval/previacht.h"

#include "host/framework/messages.h"

using namespace Qt::StringLiterals;

namespace aph {

TfrmPreviaCHT::TfrmPreviaCHT(const TMessages& messages)
    : TForm(u"frmPreviaCHT"_s), m_messages(messages)
{
    SetClientSize(900, 360);
    SetCaption(m_messages.Msg(u"PREV_TITULO"_s));
    panResumo = Add<TPanel>(u"panResumo"_s);
    panResumo->SetAlign(TAlign::alTop);
    panResumo->SetHeight(48);
    lblResumo = panResumo->Add<TLabel>(u"lblResumo"_s);
    lblResumo->SetBounds(8, 6, 880, 16);
    lblPendentes = panResumo->Add<TLabel>(u"lblPendentes"_s);
    lblPendentes->SetBounds(8, 26, 880, 16);
    panBotoes = Add<TPanel>(u"panBotoes"_s);
    panBotoes->SetAlign(TAlign::alBottom);
    panBotoes->SetHeight(36);
    btnContinuar = panBotoes->Add<TButton>(u"btnContinuar"_s);
    btnContinuar->SetCaption(m_messages.Msg(u"PREV_CONTINUAR"_s));
    btnContinuar->SetBounds(800, 6, 90, 25);
    btnContinuar->SetModalResult(mrOk);
    btnVoltar = panBotoes->Add<TButton>(u"btnVoltar"_s);
    btnVoltar->SetCaption(m_messages.Msg(u"PREV_VOLTAR"_s));
    btnVoltar->SetBounds(700, 6, 90, 25);
    btnVoltar->SetModalResult(mrCancel);
    btnVoltar->SetVisible(false);
    // The question comes next whichever way the list is left: it decides.
    SetDefaultButton(btnContinuar);
    SetCancelButton(btnContinuar);
    dbgPrevia = Add<TDBGrid>(u"dbgPrevia"_s);
    dbgPrevia->SetAlign(TAlign::alClient);
    dbgPrevia->SetOptions(dgTitles | dgColumnResize | dgColLines | dgRowLines | dgRowSelect |
                          dgAlwaysShowSelection);
    dbgPrevia->SetReadOnly(true);
    dbgPrevia->SetDataSource(&dtsPrevia);
    dtsPrevia.SetDataSet(&cdsPrevia);
    CreateColumns();
    // The arrows scroll the list as soon as it shows.
    OnShow = [this](TObject*) {
        SetActiveControl(dbgPrevia);
    };
}

void TfrmPreviaCHT::CreateColumns()
{
    const struct
    {
        const char* Field;
        const char* Title;
        int Width;
    } columns[] = {{"NMFANTCLIE", "PREV_CLIENTE", 220}, {"NRPROPOSTA", "PREV_PROPOSTA", 130},
                   {"NRSERVCONT", "PREV_SERVICO", 60},  {"NMTIPOSERV", "PREV_TIPO", 200},
                   {"QTCHT", "PREV_CHTS", 70},          {"QTCSA", "PREV_DIAS", 70},
                   {"QTCSAPEND", "PREV_PEND", 110}};
    for (const auto& c : columns)
        dbgPrevia->AddColumn(QString::fromLatin1(c.Field),
                             m_messages.Msg(QString::fromLatin1(c.Title)), c.Width);
}

void TfrmPreviaCHT::Carrega(const TTotais& totais, const TDataPacket& linhas)
{
    lblResumo->SetCaption(m_messages.Msg(u"PREV_RESUMO"_s)
                              .arg(totais.Chts)
                              .arg(totais.Funcionarios)
                              .arg(totais.Dias));
    lblPendentes->SetCaption(totais.Pendentes == 0
                                 ? m_messages.Msg(u"PREV_SEM_PEND"_s)
                                 : m_messages.Msg(u"PREV_COM_PEND"_s).arg(totais.Pendentes));
    if (totais.Pendentes > 0) {
        // Days never approved: the keys that only read on go back, and
        // billing them at their hours worked is a choice of its own.
        btnContinuar->SetCaption(m_messages.Msg(u"PREV_MESMO_ASSIM"_s));
        btnContinuar->SetBounds(760, 6, 130, 25);
        btnVoltar->SetBounds(660, 6, 90, 25);
        btnVoltar->SetVisible(true);
        SetDefaultButton(btnVoltar);
        SetCancelButton(btnVoltar);
    }
    cdsPrevia.SetData(linhas);
    // Counts are whole numbers.
    for (const char* name : {"QTCHT", "QTCSA", "QTCSAPEND"})
        if (TField* f = cdsPrevia.FindField(QString::fromLatin1(name)))
            f->OnGetText = [](TField* field, QString& text, bool) {
                if (!field->IsNull())
                    text = QString::number(static_cast<qint64>(field->AsFloat()));
            };
    cdsPrevia.First();
}

} // namespace aph
