#pragma once

#include "host/data/dataset.h"
#include "host/ui/control.h"

namespace aph {

// A label that shows one field of the current row.
class TDBText : public TControl, private TDataLink
{
public:
    explicit TDBText(QString name);
    const char* ClassName() const override { return "TDBText"; }
    TDataSource* DataSource() const { return TDataLink::DataSource(); }
    void SetDataSource(TDataSource* source);
    const QString& DataField() const { return m_dataField; }
    void SetDataField(const QString& field);
    // The field's display text on the current row.
    QString Text() const;

private:
    void ActiveChanged() override { Changed(TChange::Content); }
    void DataSetChanged() override { Changed(TChange::Content); }
    void DataSetScrolled() override { Changed(TChange::Content); }
    void RecordChanged(TField*) override { Changed(TChange::Content); }
    QString m_dataField;
};

enum class TNavigateBtn
{
    nbFirst,
    nbPrior,
    nbNext,
    nbLast,
    nbRefresh
};

// Moves through the rows of a data source.
class TDBNavigator : public TControl, private TDataLink
{
public:
    explicit TDBNavigator(QString name);
    const char* ClassName() const override { return "TDBNavigator"; }
    TDataSource* DataSource() const { return TDataLink::DataSource(); }
    void SetDataSource(TDataSource* source);
    bool ButtonEnabled(TNavigateBtn button) const;
    void BtnClick(TNavigateBtn button);

private:
    void ActiveChanged() override { Changed(TChange::State); }
    void DataSetChanged() override { Changed(TChange::State); }
    void DataSetScrolled() override { Changed(TChange::State); }
    void EditingChanged() override { Changed(TChange::State); }
};

} // namespace aph
