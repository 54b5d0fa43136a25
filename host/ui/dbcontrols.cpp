#include "host/ui/dbcontrols.h"

namespace aph {

TDBText::TDBText(QString name) : TControl(std::move(name)) {}

void TDBText::SetDataSource(TDataSource* source)
{
    TDataLink::SetDataSource(source);
    Changed(TChange::Content);
}

void TDBText::SetDataField(const QString& field)
{
    m_dataField = field;
    Changed(TChange::Content);
}

QString TDBText::Text() const
{
    const TClientDataSet* ds = DataSet();
    if (!ds || !Active())
        return {};
    const TField* field = ds->FindField(m_dataField);
    return field ? field->DisplayText() : QString();
}

TDBNavigator::TDBNavigator(QString name) : TControl(std::move(name)) {}

void TDBNavigator::SetDataSource(TDataSource* source)
{
    TDataLink::SetDataSource(source);
    Changed(TChange::State);
}

bool TDBNavigator::ButtonEnabled(TNavigateBtn button) const
{
    const TClientDataSet* ds = DataSet();
    if (!ds || !Active() || !EffectivelyEnabled() || ds->IsEmpty())
        return false;
    switch (button) {
    case TNavigateBtn::nbFirst:
    case TNavigateBtn::nbPrior:
        return ds->RecNo() > 1;
    case TNavigateBtn::nbNext:
    case TNavigateBtn::nbLast:
        return ds->RecNo() < ds->RecordCount();
    case TNavigateBtn::nbRefresh:
        return !Editing();
    }
    return false;
}

void TDBNavigator::BtnClick(TNavigateBtn button)
{
    if (!ButtonEnabled(button))
        return;
    TClientDataSet* ds = DataSet();
    switch (button) {
    case TNavigateBtn::nbFirst:
        ds->First();
        break;
    case TNavigateBtn::nbPrior:
        ds->Prior();
        break;
    case TNavigateBtn::nbNext:
        ds->Next();
        break;
    case TNavigateBtn::nbLast:
        ds->Last();
        break;
    case TNavigateBtn::nbRefresh:
        break;
    }
}

} // namespace aph
