#include "host/data/field.h"

#include "host/data/dataset.h"
#include "host/data/exceptions.h"

#include <QDate>
#include <QDateTime>

#include <cmath>

using namespace Qt::StringLiterals;

namespace aph {

TField::TField(TClientDataSet* dataSet, const TFieldDef& def, int index)
    : TComponent(def.Name), m_dataSet(dataSet), m_def(def), m_index(index)
{}

int TField::DisplayWidth() const
{
    if (m_displayWidth > 0)
        return m_displayWidth;
    switch (m_def.DataType) {
    case TFieldType::ftString:
        return m_def.Size;
    case TFieldType::ftFloat:
        return 10;
    case TFieldType::ftDateTime:
        return 18;
    }
    return 10;
}

TAlignment TField::Alignment() const
{
    return m_def.DataType == TFieldType::ftFloat ? TAlignment::taRightJustify
                                                 : TAlignment::taLeftJustify;
}

bool TField::IsNull() const
{
    return GetValue().IsNull();
}

const Value& TField::GetValue() const
{
    return m_dataSet->ActiveValue(m_index);
}

QString TField::AsString() const
{
    const Value& v = GetValue();
    if (v.IsNull())
        return {};
    switch (m_def.DataType) {
    case TFieldType::ftString:
        return v.ToString();
    case TFieldType::ftFloat:
        return FloatToStr(v.ToNumber());
    case TFieldType::ftDateTime:
        return DateTimeToStr(v.ToNumber());
    }
    return {};
}

double TField::AsFloat() const
{
    const Value& v = GetValue();
    if (v.IsNull())
        return 0.0;
    if (v.IsNumber())
        return v.ToNumber();
    double d = 0;
    if (!TryStrToFloat(v.ToString(), d))
        throw EDatabaseError(u"'%1' não é um valor numérico válido."_s.arg(v.ToString()));
    return d;
}

TDateTime TField::AsDateTime() const
{
    const Value& v = GetValue();
    if (v.IsNull())
        return 0.0;
    if (v.IsNumber())
        return v.ToNumber();
    TDateTime d = 0;
    if (!TryStrToDate(v.ToString(), d))
        throw EDatabaseError(u"'%1' não é uma data válida."_s.arg(v.ToString()));
    return d;
}

QVariant TField::AsVariant() const
{
    const Value& v = GetValue();
    if (v.IsNull())
        return {};
    if (v.IsNumber())
        return v.ToNumber();
    return v.ToString();
}

Value TField::ParseText(const QString& text) const
{
    switch (m_def.DataType) {
    case TFieldType::ftString:
        // Empty text is no value, as for the other types.
        return text.isEmpty() ? Value() : Convert(text);
    case TFieldType::ftFloat: {
        if (text.trimmed().isEmpty())
            return {};
        double d = 0;
        if (!TryStrToFloat(text, d))
            throw EDatabaseError(u"'%1' não é um valor numérico válido."_s.arg(text));
        return Value::FromNumber(d);
    }
    case TFieldType::ftDateTime: {
        if (text.trimmed().isEmpty())
            return {};
        TDateTime d = 0;
        if (!TryStrToDate(text, d))
            throw EDatabaseError(u"'%1' não é uma data válida."_s.arg(text));
        return Value::FromNumber(d);
    }
    }
    return {};
}

Value TField::Convert(const QVariant& value) const
{
    if (!value.isValid() || value.isNull())
        return {};
    Value result;
    switch (m_def.DataType) {
    case TFieldType::ftString:
        result = Value::FromString(value.toString());
        break;
    case TFieldType::ftFloat: {
        if (value.typeId() == QMetaType::QString)
            return ParseText(value.toString());
        bool ok = false;
        const double d = value.toDouble(&ok);
        if (!ok)
            throw EDatabaseError(u"Valor inválido para o campo %1."_s.arg(FieldName()));
        result = Value::FromNumber(d);
        break;
    }
    case TFieldType::ftDateTime: {
        const int type = value.typeId();
        if (type == QMetaType::QString)
            return ParseText(value.toString());
        if (type == QMetaType::QDate)
            result = Value::FromNumber(DateToOle(value.toDate()));
        else if (type == QMetaType::QDateTime) {
            const QDateTime dt = value.toDateTime();
            result = Value::FromNumber(DateToOle(dt.date()) +
                                       dt.time().msecsSinceStartOfDay() / 86400000.0);
        } else {
            bool ok = false;
            const double d = value.toDouble(&ok);
            if (!ok)
                throw EDatabaseError(u"Valor inválido para o campo %1."_s.arg(FieldName()));
            result = Value::FromNumber(d);
        }
        break;
    }
    }
    const QString fault = CheckValue(m_def, result);
    if (!fault.isEmpty())
        throw EDatabaseError(u"Valor inválido: %1."_s.arg(fault));
    return result;
}

void TField::SetValue(const Value& value)
{
    const QString fault = CheckValue(m_def, value);
    if (!fault.isEmpty())
        throw EDatabaseError(u"Valor inválido: %1."_s.arg(fault));
    m_dataSet->SetActiveValue(this, value);
}

void TField::SetAsString(const QString& text)
{
    SetValue(ParseText(text));
}

void TField::SetAsFloat(double value)
{
    if (m_def.DataType == TFieldType::ftString)
        SetValue(Value::FromString(FloatToStr(value)));
    else
        SetValue(Value::FromNumber(value));
}

void TField::SetAsDateTime(TDateTime value)
{
    if (m_def.DataType == TFieldType::ftString)
        SetValue(Value::FromString(DateTimeToStr(value)));
    else
        SetValue(Value::FromNumber(value));
}

void TField::SetAsVariant(const QVariant& value)
{
    SetValue(Convert(value));
}

void TField::Clear()
{
    SetValue(Value());
}

QString TField::DefaultText(bool displayText) const
{
    const Value& v = GetValue();
    if (v.IsNull())
        return {};
    switch (m_def.DataType) {
    case TFieldType::ftString:
        return v.ToString();
    case TFieldType::ftFloat: {
        const QString& format = (!displayText && !m_editFormat.isEmpty()) ? m_editFormat
                                : displayText                             ? m_displayFormat
                                                                          : QString();
        return format.isEmpty() ? FloatToStr(v.ToNumber()) : FormatFloat(format, v.ToNumber());
    }
    case TFieldType::ftDateTime:
        if (displayText && !m_displayFormat.isEmpty())
            return FormatDateTime(m_displayFormat, v.ToNumber());
        return DateTimeToStr(v.ToNumber());
    }
    return {};
}

QString TField::GetText(bool displayText) const
{
    if (OnGetText) {
        QString text;
        OnGetText(const_cast<TField*>(this), text, displayText);
        return text;
    }
    return DefaultText(displayText);
}

void TField::SetText(const QString& text)
{
    if (OnSetText)
        OnSetText(this, text);
    else
        SetAsString(text);
}

void TField::FocusControl()
{
    m_dataSet->DataEvent(TDataEvent::deFocusControl, this);
}

} // namespace aph
