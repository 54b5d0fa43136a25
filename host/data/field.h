#pragma once

#include "host/data/component.h"
#include "host/data/datapacket.h"
#include "host/data/formatsettings.h"

#include <QVariant>

#include <functional>

namespace aph {

class TClientDataSet;

enum class TAlignment
{
    taLeftJustify,
    taRightJustify,
    taCenter
};

// A typed column of a dataset, read and written on the dataset's active
// record. Null is not zero: IsNull tells them apart, AsFloat of a null is 0.
class TField : public TComponent
{
public:
    using TFieldGetTextEvent = std::function<void(TField* Sender, QString& Text, bool DisplayText)>;
    using TFieldSetTextEvent = std::function<void(TField* Sender, const QString& Text)>;

    TField(TClientDataSet* dataSet, const TFieldDef& def, int index);

    TClientDataSet* DataSet() const { return m_dataSet; }
    const QString& FieldName() const { return m_def.Name; }
    TFieldType DataType() const { return m_def.DataType; }
    int Size() const { return m_def.Size; }
    const TFieldDef& Def() const { return m_def; }
    int Index() const { return m_index; }

    // Presentation.
    QString DisplayLabel() const { return m_displayLabel.isEmpty() ? FieldName() : m_displayLabel; }
    void SetDisplayLabel(const QString& label) { m_displayLabel = label; }
    bool Visible() const { return m_visible; }
    void SetVisible(bool visible) { m_visible = visible; }
    bool ReadOnly() const { return m_readOnly; }
    void SetReadOnly(bool readOnly) { m_readOnly = readOnly; }
    int DisplayWidth() const;
    void SetDisplayWidth(int width) { m_displayWidth = width; }
    const QString& DisplayFormat() const { return m_displayFormat; }
    void SetDisplayFormat(const QString& format) { m_displayFormat = format; }
    const QString& EditFormat() const { return m_editFormat; }
    void SetEditFormat(const QString& format) { m_editFormat = format; }
    const QString& EditMask() const { return m_editMask; }
    void SetEditMask(const QString& mask) { m_editMask = mask; }
    TAlignment Alignment() const;

    TFieldGetTextEvent OnGetText;
    TFieldSetTextEvent OnSetText;

    // Values of the active record.
    bool IsNull() const;
    const Value& GetValue() const;
    QString AsString() const;
    double AsFloat() const;
    TDateTime AsDateTime() const;
    QVariant AsVariant() const;

    // Writing needs the dataset in edit or insert state.
    void SetAsString(const QString& text);
    void SetAsFloat(double value);
    void SetAsDateTime(TDateTime value);
    void SetAsVariant(const QVariant& value);
    void SetValue(const Value& value);
    void Clear();

    // Text for display and for the cell editor, through OnGetText when set.
    QString DisplayText() const { return GetText(true); }
    QString Text() const { return GetText(false); }
    // Stores typed text, through OnSetText when set.
    void SetText(const QString& text);

    // Asks the controls bound to the dataset to move to this field.
    void FocusControl();

    // Converts a plain value into this field's stored form; throws
    // EDatabaseError when it does not fit.
    Value Convert(const QVariant& value) const;
    Value ParseText(const QString& text) const;

private:
    QString GetText(bool displayText) const;
    QString DefaultText(bool displayText) const;

    TClientDataSet* m_dataSet;
    TFieldDef m_def;
    int m_index;
    QString m_displayLabel;
    bool m_visible = true;
    bool m_readOnly = false;
    int m_displayWidth = 0;
    QString m_displayFormat;
    QString m_editFormat;
    QString m_editMask;
};

} // namespace aph
