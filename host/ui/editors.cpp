#include "host/ui/editors.h"

#include "host/data/exceptions.h"
#include "host/ui/form.h"

#include <QRegularExpression>

#include <algorithm>
#include <utility>

using namespace Qt::StringLiterals;

namespace aph {

// --- TCustomEdit ------------------------------------------------------------

TCustomEdit::TCustomEdit(QString name) : TControl(std::move(name))
{
    SetTabStop(true);
    SetColor(clWindow);
    SetBounds(0, 0, 121, 21);
}

QString TCustomEdit::Text() const
{
    return m_model.Text();
}

void TCustomEdit::SetText(const QString& text)
{
    const QString old = Text();
    m_model.Reset(text, m_editMask);
    if (old != Text())
        TextChanged();
}

void TCustomEdit::SetReadOnly(bool readOnly)
{
    m_readOnly = readOnly;
    Changed(TChange::State);
}

void TCustomEdit::SetEditMask(const QString& mask)
{
    const QString text = Text();
    m_editMask = mask;
    m_model.Reset(text, mask);
}

void TCustomEdit::TextChanged()
{
    Changed(TChange::Content);
    if (OnChange)
        OnChange(this);
}

void TCustomEdit::SelectAll()
{
    m_model.SelectAll();
    Changed(TChange::Content);
}

void TCustomEdit::DoEnter()
{
    // The box is entered with its text selected, so typing replaces it.
    SelectAll();
    TControl::DoEnter();
}

void TCustomEdit::KeyDown(TWord& key, TShiftState shift)
{
    TControl::KeyDown(key, shift);
    const TWord pressed = key;
    switch (key) {
    case VK_BACK:
        key = 0;
        if (!m_readOnly) {
            m_model.Backspace();
            TextChanged();
        }
        break;
    case VK_DELETE:
        key = 0;
        if (!m_readOnly) {
            m_model.Delete();
            TextChanged();
        }
        break;
    case VK_LEFT:
        key = 0;
        m_model.MoveLeft();
        break;
    case VK_RIGHT:
        key = 0;
        m_model.MoveRight();
        break;
    case VK_HOME:
        key = 0;
        m_model.Home();
        break;
    case VK_END:
        key = 0;
        m_model.End();
        break;
    case 'A':
        if ((shift & (ssCtrl | ssAlt | ssShift)) == ssCtrl) {
            key = 0;
            SelectAll();
        }
        break;
    default:
        break;
    }
    if (pressed != 0 && key == 0)
        Changed(TChange::Content); // the cursor moved
}

void TCustomEdit::KeyPress(QChar& key)
{
    TControl::KeyPress(key);
    if (key.isNull() || m_readOnly || !key.isPrint())
        return;
    if (TypeKey(key))
        TextChanged();
    key = QChar();
}

// --- TDateEditPlus ------------------------------------------------------------

TDateEditPlus::TDateEditPlus(QString name) : TCustomEdit(std::move(name))
{
    SetColor(clInfoBk);
    SetMaxLength(10);
    SetBounds(0, 0, 89, 21);
    m_dayNames = {u"Domingo"_s, u"Segunda"_s, u"Terça"_s, u"Quarta"_s,
                  u"Quinta"_s,  u"Sexta"_s,   u"Sábado"_s};
}

TDateTime TDateEditPlus::GetDate() const
{
    TDateTime date = 0;
    if (!TryStrToDate(Text(), date))
        return 0;
    return date;
}

void TDateEditPlus::SetDate(TDateTime date)
{
    SetText(date == 0 ? QString() : DateToStr(DateOf(date)));
}

bool TDateEditPlus::IsDateValid() const
{
    TDateTime date = 0;
    return TryStrToDate(Text(), date);
}

void TDateEditPlus::CheckValidDate() const
{
    if (Text().trimmed().isEmpty() || IsDateValid())
        return;
    throw Exception(u"'%1' não é uma data válida."_s.arg(Text()));
}

bool TDateEditPlus::SeparatorDue() const
{
    const QString text = Text();
    if (AllSelected() || CursorPosition() != text.size())
        return false;
    // The widths of the day, month and year parts, in the short date form's
    // order; a one-letter part may still take two digits.
    const QStringList parts = FormatSettings().ShortDateFormat.split(
        QRegularExpression(u"[^A-Za-z]+"_s), Qt::SkipEmptyParts);
    const QChar separator = FormatSettings().DateSeparator;
    const QStringList typed = text.split(separator);
    const qsizetype index = typed.size() - 1;
    if (parts.size() != 3 || index >= 2)
        return false;
    const qsizetype width = std::max<qsizetype>(2, parts[index].size());
    const QString& last = typed[index];
    constexpr int kMonths = 12;
    // Digits past a day that make no month are a year being typed: a
    // month and year ("102025", "10/2025") keep their one separator.
    if (parts[index].startsWith(u'M', Qt::CaseInsensitive) && last.toInt() > kMonths)
        return false;
    return last.size() >= width &&
           std::all_of(last.begin(), last.end(), [](QChar c) { return c.isDigit(); });
}

bool TDateEditPlus::TypeKey(QChar key)
{
    // Digits alone type a whole date: where a part is complete, the
    // separator goes in first, so "01012025" gives "01/01/2025".
    if (key.isDigit() && SeparatorDue())
        Model().TypeChar(FormatSettings().DateSeparator);
    return TCustomEdit::TypeKey(key);
}

// --- TNumberEdit ---------------------------------------------------------------

TNumberEdit::TNumberEdit(QString name) : TCustomEdit(std::move(name))
{
    SetBounds(0, 0, 100, 21);
}

QString TNumberEdit::FormatValue(double value) const
{
    QString pattern = m_thousands ? u"#,##0"_s : u"0"_s;
    if (m_decimals > 0)
        pattern += u'.' + QString(m_decimals, u'0');
    QString text = FormatFloat(pattern, value);
    if (m_currency)
        text = FormatSettings().CurrencyString + u' ' + text;
    return text;
}

void TNumberEdit::SetNumber(double value)
{
    m_value = value;
    m_updating = true;
    SetText(FormatValue(value));
    m_updating = false;
}

void TNumberEdit::SetCurrency(bool currency)
{
    m_currency = currency;
    SetNumber(m_value);
}

void TNumberEdit::SetDecimals(int decimals)
{
    m_decimals = decimals;
    SetNumber(m_value);
}

void TNumberEdit::SetThousandSeparator(bool on)
{
    m_thousands = on;
    SetNumber(m_value);
}

void TNumberEdit::TextChanged()
{
    if (!m_updating) {
        // Typed or cleared text: read the value back from it.
        QString text = Text().trimmed();
        if (m_currency && text.startsWith(FormatSettings().CurrencyString))
            text = text.mid(FormatSettings().CurrencyString.size()).trimmed();
        double v = 0;
        m_value = TryStrToFloat(text, v) ? v : 0;
    }
    TCustomEdit::TextChanged();
}

// --- Check and radio boxes --------------------------------------------------------

TCheckBox::TCheckBox(QString name) : TControl(std::move(name))
{
    SetTabStop(true);
    SetBounds(0, 0, 97, 17);
}

void TCheckBox::SetChecked(bool checked)
{
    if (m_checked == checked)
        return;
    m_checked = checked;
    Changed(TChange::Content);
    if (OnClick)
        OnClick(this);
}

void TCheckBox::Click()
{
    if (EffectivelyEnabled())
        SetChecked(!m_checked);
}

void TCheckBox::KeyPress(QChar& key)
{
    TControl::KeyPress(key);
    if (key == u' ') {
        key = QChar();
        Click();
    }
}

TRadioButton::TRadioButton(QString name) : TControl(std::move(name))
{
    SetBounds(0, 0, 113, 17);
}

void TRadioButton::SetChecked(bool checked)
{
    if (m_checked == checked)
        return;
    m_checked = checked;
    if (checked) {
        SetTabStop(true);
        if (TWinControl* parent = Parent()) {
            for (int i = 0; i < parent->ControlCount(); ++i) {
                auto* other = dynamic_cast<TRadioButton*>(parent->Control(i));
                if (other && other != this && other->m_checked) {
                    other->m_checked = false;
                    other->SetTabStop(false);
                    other->Changed(TChange::Content);
                }
            }
        }
    }
    Changed(TChange::Content);
    if (checked && OnClick)
        OnClick(this);
}

void TRadioButton::Click()
{
    if (EffectivelyEnabled())
        SetChecked(true);
}

void TRadioButton::KeyDown(TWord& key, TShiftState shift)
{
    TControl::KeyDown(key, shift);
    const bool back = key == VK_UP || key == VK_LEFT;
    const bool ahead = key == VK_DOWN || key == VK_RIGHT;
    if ((!back && !ahead) || shift != ssNone || !Parent())
        return;
    key = 0;
    // The group's buttons as they stand, top to bottom, then left to right.
    std::vector<TRadioButton*> group;
    for (int i = 0; i < Parent()->ControlCount(); ++i)
        if (auto* radio = dynamic_cast<TRadioButton*>(Parent()->Control(i));
            radio && radio->CanFocus())
            group.push_back(radio);
    std::stable_sort(group.begin(), group.end(), [](const TRadioButton* a, const TRadioButton* b) {
        return std::pair(a->Top(), a->Left()) < std::pair(b->Top(), b->Left());
    });
    const auto at = std::find(group.begin(), group.end(), this);
    if (at == group.end())
        return;
    const std::ptrdiff_t next = (at - group.begin()) + (back ? -1 : 1);
    if (next < 0 || next >= static_cast<std::ptrdiff_t>(group.size()))
        return;
    TRadioButton* target = group[static_cast<std::size_t>(next)];
    // The focus moves first, so that a refused exit leaves the choice as it was.
    if (target->SetFocus() && target->Focused())
        target->Click();
}

void TRadioButton::KeyPress(QChar& key)
{
    TControl::KeyPress(key);
    if (key == u' ') {
        key = QChar();
        Click();
    }
}

TBtnPesquisa::TBtnPesquisa(QString name) : TSpeedButton(std::move(name))
{
    // Reached by Tab once enabled, opened with Space or Enter.
    SetTabStop(true);
    SetGlyph(u"search"_s);
    SetHint(u"Pesquisar"_s);
    SetShowHint(true);
}

} // namespace aph
