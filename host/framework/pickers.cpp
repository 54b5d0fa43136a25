#include "host/framework/pickers.h"

#include "host/data/exceptions.h"
#include "host/data/selection.h"
#include "host/framework/desktop.h"

using namespace Qt::StringLiterals;

namespace aph {

bool PesquisaLista(TDataSource* source, const QString& keyField, const QString& titleAndEmptyText,
                   bool singleChoice, QString& selection)
{
    Desktop* desktop = Application()->GetDesktop();
    if (!desktop)
        return false;
    const qsizetype bar = titleAndEmptyText.indexOf(u'|');
    const QString title = bar < 0 ? titleAndEmptyText : titleAndEmptyText.left(bar);
    const QString emptyText = bar < 0 ? QString() : titleAndEmptyText.mid(bar + 1);
    TClientDataSet* ds = source ? source->DataSet() : nullptr;
    if (!ds || !ds->Active() || ds->IsEmpty()) {
        desktop->MessageDlg(emptyText.isEmpty() ? u"Não há registros."_s : emptyText,
                            TMsgDlgType::mtInformation, mbOK);
        return false;
    }
    ds->FieldByName(keyField); // a wrong key field is a programming error: say so now
    TPickListRequest request;
    request.Source = source;
    request.KeyField = keyField;
    request.Title = title;
    request.SingleChoice = singleChoice;
    try {
        const TSelection current = DecodeSelection(selection);
        if (current.Scope == TSelection::Kind::List)
            request.SelectedKeys = current.Keys;
    } catch (const EDatabaseError&) {
        // A choice that cannot be read starts the list with nothing ticked.
    }
    QStringList keys;
    if (!desktop->PickList(request, keys))
        return false;
    keys.removeDuplicates();
    if (singleChoice && keys.size() > 1)
        keys = keys.mid(0, 1);
    selection = EncodeSelection(keys);
    return true;
}

bool Pesquisar(TDataSource* source, const QString& title, bool /*multiSelect*/, bool searchBox)
{
    Desktop* desktop = Application()->GetDesktop();
    TClientDataSet* ds = source ? source->DataSet() : nullptr;
    if (!desktop || !ds || !ds->Active())
        return false;
    return desktop->PickRow(source, title, searchBox);
}

bool Procura(TClientDataSet* dataSet)
{
    Desktop* desktop = Application()->GetDesktop();
    if (!desktop || !dataSet || !dataSet->Active())
        return false;
    return desktop->Search(dataSet);
}

} // namespace aph
