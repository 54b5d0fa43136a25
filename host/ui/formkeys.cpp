#include "host/ui/form.h"
#include "host/ui/menu.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

constexpr int kFirstFunctionKey = 112; // F1
constexpr int kLastFunctionKey = 123;  // F12

bool IsShortCutKey(const TShortCut& shortCut)
{
    return (shortCut.Shift & (ssCtrl | ssAlt)) ||
           (shortCut.Key >= kFirstFunctionKey && shortCut.Key <= kLastFunctionKey);
}

// A caption as read aloud: without its accelerator mark or trailing dots.
QString PlainCaption(QString caption)
{
    caption.replace(u"&&"_s, u"\x01"_s).remove(u'&').replace(u'\x01', u'&');
    while (caption.endsWith(u'.') || caption.endsWith(u'…'))
        caption.chop(1);
    return caption.trimmed();
}

// The letter after the single "&" of a caption; null without one.
QChar AcceleratorOf(const QString& caption)
{
    for (qsizetype i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] != u'&')
            continue;
        if (caption[i + 1] != u'&')
            return caption[i + 1].toUpper();
        ++i;
    }
    return {};
}

TSpeedButton* FindButton(const TWinControl* parent, const TShortCut& shortCut)
{
    for (int i = 0; i < parent->ControlCount(); ++i) {
        TControl* child = parent->Control(i);
        if (auto* button = dynamic_cast<TSpeedButton*>(child)) {
            if (!button->ShortCut().IsNull() && button->ShortCut() == shortCut &&
                button->EffectivelyVisible() && button->EffectivelyEnabled())
                return button;
        } else if (auto* win = dynamic_cast<const TWinControl*>(child);
                   win && !dynamic_cast<const TMainMenu*>(child)) {
            if (TSpeedButton* found = FindButton(win, shortCut))
                return found;
        }
    }
    return nullptr;
}

// A label whose accelerator is the Alt+letter of a shortcut and whose
// control can take the focus now, or null.
TLabel* FindMnemonic(const TWinControl* parent, const TShortCut& shortCut)
{
    for (int i = 0; i < parent->ControlCount(); ++i) {
        TControl* child = parent->Control(i);
        if (!child->Visible())
            continue;
        if (auto* label = dynamic_cast<TLabel*>(child)) {
            const QChar letter = AcceleratorOf(label->Caption());
            if (!letter.isNull() && letter.unicode() == shortCut.Key && label->FocusControl() &&
                label->FocusControl()->CanFocus())
                return label;
        } else if (auto* win = dynamic_cast<const TWinControl*>(child);
                   win && !dynamic_cast<const TMainMenu*>(child)) {
            if (TLabel* found = FindMnemonic(win, shortCut))
                return found;
        }
    }
    return nullptr;
}

// A disabled control whose reason the user can act on, or null.
template <class T> T* WithDisabledHint(T* control)
{
    return control && control->EffectivelyVisible() && !control->EffectivelyEnabled() &&
                   !control->DisabledHint().isEmpty()
               ? control
               : nullptr;
}

// What a key list says a command does; a disabled one says why.
QString KeyAction(const TControl& control, const QString& caption)
{
    const QString plain = PlainCaption(caption);
    return control.EffectivelyEnabled() || control.DisabledHint().isEmpty()
               ? plain
               : plain + u" — "_s + control.DisabledHint();
}

TControl* FindDisabled(const TWinControl* parent, const TShortCut& shortCut)
{
    for (int i = 0; i < parent->ControlCount(); ++i) {
        TControl* child = parent->Control(i);
        if (!child->Visible())
            continue;
        const auto* item = dynamic_cast<TMenuItem*>(child);
        const auto* button = dynamic_cast<TSpeedButton*>(child);
        const TShortCut* key = item ? &item->ShortCut() : button ? &button->ShortCut() : nullptr;
        if (key && !key->IsNull() && *key == shortCut && WithDisabledHint(child))
            return child;
        if (auto* win = dynamic_cast<const TWinControl*>(child); win && !button)
            if (TControl* found = FindDisabled(win, shortCut))
                return found;
    }
    return nullptr;
}

void MenuKeys(const TMenuItem* item, std::vector<TForm::TKeyHelp>& keys)
{
    for (int i = 0; i < item->ControlCount(); ++i) {
        const auto* child = dynamic_cast<const TMenuItem*>(item->Control(i));
        if (!child || child->IsSeparator() || !child->Visible())
            continue;
        if (!child->ShortCut().IsNull())
            keys.push_back(
                {ShortCutToText(child->ShortCut()), KeyAction(*child, child->Caption())});
        MenuKeys(child, keys);
    }
}

void ButtonKeys(const TWinControl* parent, std::vector<TForm::TKeyHelp>& keys)
{
    for (int i = 0; i < parent->ControlCount(); ++i) {
        const TControl* child = parent->Control(i);
        if (const auto* button = dynamic_cast<const TSpeedButton*>(child)) {
            const QString text = ShortCutToText(button->ShortCut());
            const bool listed = std::any_of(keys.begin(), keys.end(),
                                            [&](const auto& k) { return k.Keys == text; });
            if (!text.isEmpty() && !listed && button->Visible())
                keys.push_back({text, KeyAction(*button, button->Hint())});
        } else if (const auto* win = dynamic_cast<const TWinControl*>(child);
                   win && !dynamic_cast<const TMainMenu*>(child)) {
            ButtonKeys(win, keys);
        }
    }
}

} // namespace

TControl* TForm::ShortCutTarget(const TShortCut& shortCut)
{
    if (shortCut.Key == 0 || !IsShortCutKey(shortCut))
        return nullptr;
    if (m_menu)
        if (TMenuItem* item = m_menu->FindShortCut(shortCut))
            return item;
    if (TSpeedButton* button = FindButton(this, shortCut))
        return button;
    return shortCut.Shift == ssAlt ? FindMnemonic(this, shortCut) : nullptr;
}

TControl* TForm::DisabledShortCutTarget(const TShortCut& shortCut)
{
    if (shortCut.Key == 0 || !IsShortCutKey(shortCut))
        return nullptr;
    if (m_menu)
        if (TControl* item = FindDisabled(m_menu, shortCut))
            return item;
    return FindDisabled(this, shortCut);
}

std::vector<TForm::TKeyHelp> TForm::KeyList() const
{
    std::vector<TKeyHelp> keys;
    if (m_menu) {
        for (int i = 0; i < m_menu->ControlCount(); ++i) {
            const auto* item = dynamic_cast<const TMenuItem*>(m_menu->Control(i));
            if (!item || !item->Visible())
                continue;
            if (const QChar letter = AcceleratorOf(item->Caption()); !letter.isNull())
                keys.push_back({u"Alt+"_s + letter, u"menu "_s + PlainCaption(item->Caption())});
        }
        for (int i = 0; i < m_menu->ControlCount(); ++i)
            if (const auto* item = dynamic_cast<const TMenuItem*>(m_menu->Control(i)))
                if (item->Visible())
                    MenuKeys(item, keys);
    }
    ButtonKeys(this, keys);
    return keys;
}

} // namespace aph
