#include "host/ui/control.h"

#include "host/ui/form.h"
#include "host/ui/menu.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace aph {

QString ShortCutToText(const TShortCut& shortCut)
{
    if (shortCut.IsNull())
        return {};
    QString text;
    if (shortCut.Shift & ssCtrl)
        text += u"Ctrl+"_s;
    if (shortCut.Shift & ssShift)
        text += u"Shift+"_s;
    if (shortCut.Shift & ssAlt)
        text += u"Alt+"_s;
    if ((shortCut.Key >= 'A' && shortCut.Key <= 'Z') ||
        (shortCut.Key >= '0' && shortCut.Key <= '9'))
        text += QChar(shortCut.Key);
    else if (shortCut.Key >= 112 && shortCut.Key <= 123)
        text += u"F%1"_s.arg(shortCut.Key - 111);
    else if (shortCut.Key == VK_DELETE)
        text += u"Del"_s;
    else if (shortCut.Key == VK_RETURN)
        text += u"Enter"_s;
    else if (shortCut.Key == VK_ESCAPE)
        text += u"Esc"_s;
    else
        text += u"#%1"_s.arg(shortCut.Key);
    return text;
}

// --- TControl ------------------------------------------------------------

TControl::TControl(QString name) : TComponent(std::move(name)) {}

TControl::~TControl()
{
    if (TForm* form = Form()) {
        form->ControlRemoved(this, true);
        if (form->Observer())
            form->Observer()->ControlDestroyed(this);
    }
}

TForm* TControl::Form() const
{
    const TControl* c = this;
    while (c->m_parent)
        c = c->m_parent;
    return dynamic_cast<TForm*>(const_cast<TControl*>(c));
}

void TControl::Changed(TChange change)
{
    TForm* form = Form();
    if (!form)
        return;
    if (change == TChange::Geometry || change == TChange::Children ||
        (change == TChange::State && m_align != TAlign::alNone))
        form->InvalidateLayout();
    if (form->Observer())
        form->Observer()->ControlChanged(this, change);
}

void TControl::SetAlign(TAlign align)
{
    if (m_align == align)
        return;
    m_align = align;
    Changed(TChange::Geometry);
}

void TControl::SetBounds(int left, int top, int width, int height)
{
    const QRect r(left, top, std::max(0, width), std::max(0, height));
    if (r == m_design)
        return;
    m_design = r;
    Changed(TChange::Geometry);
}

QRect TControl::BoundsRect() const
{
    if (const TForm* form = Form())
        form->EnsureLayout();
    if (!m_parent)
        return m_design;
    return m_bounds;
}

QRect TControl::FormRect() const
{
    QRect r = BoundsRect();
    for (const TControl* p = m_parent; p && p->m_parent; p = p->m_parent)
        r.translate(p->BoundsRect().topLeft());
    return r;
}

void TControl::SetVisible(bool visible)
{
    if (m_visible == visible)
        return;
    m_visible = visible;
    if (!visible)
        if (TForm* form = Form())
            form->ControlRemoved(this);
    Changed(TChange::State);
}

void TControl::SetEnabled(bool enabled)
{
    if (m_enabled == enabled)
        return;
    m_enabled = enabled;
    if (!enabled)
        if (TForm* form = Form())
            form->ControlRemoved(this);
    EnabledChanged();
    Changed(TChange::State);
}

bool TControl::EffectivelyEnabled() const
{
    for (const TControl* c = this; c; c = c->m_parent)
        if (!c->m_enabled)
            return false;
    return true;
}

bool TControl::EffectivelyVisible() const
{
    for (const TControl* c = this; c; c = c->m_parent)
        if (!c->m_visible)
            return false;
    return true;
}

void TControl::SetCaption(const QString& caption)
{
    if (m_caption == caption)
        return;
    m_caption = caption;
    Changed(TChange::Caption);
}

void TControl::SetHint(const QString& hint)
{
    if (m_hint == hint)
        return;
    m_hint = hint;
    Changed(TChange::Caption);
}

void TControl::SetDisabledHint(const QString& hint)
{
    if (m_disabledHint == hint)
        return;
    m_disabledHint = hint;
    Changed(TChange::Caption);
}

void TControl::SetShowHint(bool show)
{
    m_showHint = show;
    Changed(TChange::Style);
}

void TControl::SetFont(const TFont& font)
{
    if (m_font == font)
        return;
    m_font = font;
    Changed(TChange::Style);
}

void TControl::SetColor(TColor color)
{
    if (m_color == color)
        return;
    m_color = color;
    Changed(TChange::Style);
}

void TControl::SetTabOrder(int order)
{
    m_tabOrder = order;
}

bool TControl::CanFocus() const
{
    return EffectivelyVisible() && EffectivelyEnabled();
}

bool TControl::Focused() const
{
    const TForm* form = Form();
    return form && form->ActiveControl() == this;
}

bool TControl::SetFocus()
{
    TForm* form = Form();
    return form && form->FocusControl(this);
}

void TControl::DoEnter()
{
    if (OnEnter)
        OnEnter(this);
}

void TControl::DoExit()
{
    if (OnExit)
        OnExit(this);
}

void TControl::Click()
{
    if (EffectivelyEnabled() && OnClick)
        OnClick(this);
}

void TControl::KeyDown(TWord& key, TShiftState shift)
{
    if (OnKeyDown)
        OnKeyDown(this, key, shift);
}

void TControl::KeyPress(QChar& key)
{
    if (OnKeyPress)
        OnKeyPress(this, key);
}

bool TControl::WantsKey(TWord /*key*/, TShiftState /*shift*/) const
{
    return false;
}

// --- TWinControl -----------------------------------------------------------

TWinControl::~TWinControl()
{
    // Children go first, while this control still knows its form.
    while (!m_children.empty())
        m_children.pop_back();
}

void TWinControl::InsertChild(std::unique_ptr<TControl> child)
{
    child->m_parent = this;
    child->m_tabOrder = static_cast<int>(m_children.size());
    m_children.push_back(std::move(child));
    Changed(TChange::Children);
}

TControl* TWinControl::FindChild(const QString& name)
{
    if (Name() == name)
        return this;
    for (const auto& child : m_children) {
        if (child->Name() == name)
            return child.get();
        if (auto* win = dynamic_cast<TWinControl*>(child.get()))
            if (TControl* found = win->FindChild(name))
                return found;
    }
    return nullptr;
}

QRect TWinControl::ClientRect() const
{
    return QRect(0, 0, m_parent ? m_bounds.width() : Width(),
                 m_parent ? m_bounds.height() : Height());
}

void TWinControl::AlignControls() const
{
    QRect free = ClientRect();
    // Aligned children take their strips in this order, each in creation
    // order: top, bottom, left, right, then the client fills what is left.
    const TAlign order[] = {TAlign::alTop, TAlign::alBottom, TAlign::alLeft, TAlign::alRight,
                            TAlign::alClient};
    for (const TAlign align : order) {
        for (const auto& child : m_children) {
            TControl& c = *child;
            if (c.m_align != align || !c.m_visible)
                continue;
            switch (align) {
            case TAlign::alTop: {
                const int h = std::min(c.Height(), free.height());
                c.m_bounds = QRect(free.left(), free.top(), free.width(), h);
                free.setTop(free.top() + h);
                break;
            }
            case TAlign::alBottom: {
                const int h = std::min(c.Height(), free.height());
                c.m_bounds = QRect(free.left(), free.bottom() + 1 - h, free.width(), h);
                free.setBottom(free.bottom() - h);
                break;
            }
            case TAlign::alLeft: {
                const int w = std::min(c.Width(), free.width());
                c.m_bounds = QRect(free.left(), free.top(), w, free.height());
                free.setLeft(free.left() + w);
                break;
            }
            case TAlign::alRight: {
                const int w = std::min(c.Width(), free.width());
                c.m_bounds = QRect(free.right() + 1 - w, free.top(), w, free.height());
                free.setRight(free.right() - w);
                break;
            }
            case TAlign::alClient:
                c.m_bounds = free;
                break;
            case TAlign::alNone:
                break;
            }
        }
    }
    for (const auto& child : m_children) {
        if (child->m_align == TAlign::alNone)
            child->m_bounds = child->m_design;
        if (auto* win = dynamic_cast<const TWinControl*>(child.get()))
            win->AlignControls();
    }
}

QRect TGroupBox::ClientRect() const
{
    QRect r = TWinControl::ClientRect();
    return r.adjusted(2, 15, -2, -2);
}

// --- Other controls -------------------------------------------------------------

TSplitter::TSplitter(QString name) : TControl(std::move(name))
{
    SetBounds(0, 0, 3, 3);
}

TControl* TSplitter::ResizedControl() const
{
    const TWinControl* parent = Parent();
    if (!parent)
        return nullptr;
    TControl* previous = nullptr;
    for (int i = 0; i < parent->ControlCount(); ++i) {
        TControl* c = parent->Control(i);
        if (c == this)
            return previous;
        if (c->Align() == Align() && c->Visible())
            previous = c;
    }
    return nullptr;
}

void TSplitter::DragBy(int delta)
{
    if (!EffectivelyEnabled())
        return;
    TControl* target = ResizedControl();
    if (!target)
        return;
    switch (Align()) {
    case TAlign::alTop:
        target->SetHeight(std::max(m_minSize, target->Height() + delta));
        break;
    case TAlign::alBottom:
        target->SetHeight(std::max(m_minSize, target->Height() - delta));
        break;
    case TAlign::alLeft:
        target->SetWidth(std::max(m_minSize, target->Width() + delta));
        break;
    case TAlign::alRight:
        target->SetWidth(std::max(m_minSize, target->Width() - delta));
        break;
    default:
        return;
    }
    if (OnMoved)
        OnMoved(this);
}

TLabel::TLabel(QString name) : TControl(std::move(name)) {}

void TLabel::SetTransparent(bool transparent)
{
    m_transparent = transparent;
    Changed(TChange::Style);
}

void TLabel::SetFocusControl(TControl* control)
{
    m_focusControl = control;
    Changed(TChange::Caption);
}

void TLabel::SetAlignment(TTextAlign alignment)
{
    m_alignment = alignment;
    Changed(TChange::Style);
}

namespace {

// Enter without Ctrl or Alt, the key a focused button takes for itself.
bool IsPlainEnter(TWord key, TShiftState shift)
{
    return key == VK_RETURN && !(shift & (ssCtrl | ssAlt));
}

} // namespace

TSpeedButton::TSpeedButton(QString name) : TControl(std::move(name))
{
    SetBounds(0, 0, 23, 22);
}

void TSpeedButton::KeyDown(TWord& key, TShiftState shift)
{
    TControl::KeyDown(key, shift);
    if (IsPlainEnter(key, shift)) {
        key = 0;
        Click();
    }
}

void TSpeedButton::KeyPress(QChar& key)
{
    TControl::KeyPress(key);
    if (key == u' ') {
        key = QChar();
        Click();
    }
}

bool TSpeedButton::WantsKey(TWord key, TShiftState shift) const
{
    return IsPlainEnter(key, shift);
}

void TSpeedButton::SetFlat(bool flat)
{
    m_flat = flat;
    Changed(TChange::Style);
}

void TSpeedButton::SetGlyph(const QString& glyph)
{
    m_glyph = glyph;
    Changed(TChange::Style);
}

void TSpeedButton::SetShortCut(const TShortCut& shortCut)
{
    m_shortCut = shortCut;
    Changed(TChange::State);
}

TButtonFlat::TButtonFlat(QString name) : TSpeedButton(std::move(name))
{
    SetFlat(true);
}

TButton::TButton(QString name) : TControl(std::move(name))
{
    SetTabStop(true);
    SetBounds(0, 0, 75, 25);
}

void TButton::Click()
{
    if (!EffectivelyEnabled())
        return;
    TControl::Click();
    if (m_modalResult != mrNone)
        if (TForm* form = Form())
            form->SetModalResult(m_modalResult);
}

void TButton::KeyDown(TWord& key, TShiftState shift)
{
    TControl::KeyDown(key, shift);
    if (IsPlainEnter(key, shift)) {
        key = 0;
        Click();
    }
}

void TButton::KeyPress(QChar& key)
{
    TControl::KeyPress(key);
    if (key == u' ') {
        key = QChar();
        Click();
    }
}

bool TButton::WantsKey(TWord key, TShiftState shift) const
{
    return IsPlainEnter(key, shift);
}

void SetChildEnabled(TWinControl* box, bool enabled)
{
    for (int i = 0; i < box->ControlCount(); ++i)
        box->Control(i)->SetEnabled(enabled);
}

// --- Menus ----------------------------------------------------------------------

TMenuItem::TMenuItem(QString name) : TWinControl(std::move(name)) {}

void TMenuItem::SetShortCut(const TShortCut& shortCut)
{
    m_shortCut = shortCut;
    Changed(TChange::Caption);
}

void TMenuItem::Click()
{
    if (!IsSeparator())
        TControl::Click();
}

TMenuItem* TMenuItem::FindShortCut(const TShortCut& shortCut)
{
    if (!Visible() || !Enabled())
        return nullptr;
    if (!m_shortCut.IsNull() && m_shortCut == shortCut)
        return this;
    for (int i = 0; i < ControlCount(); ++i)
        if (auto* item = dynamic_cast<TMenuItem*>(Control(i)))
            if (TMenuItem* found = item->FindShortCut(shortCut))
                return found;
    return nullptr;
}

TMainMenu::TMainMenu(QString name) : TWinControl(std::move(name)) {}

TMenuItem* TMainMenu::FindShortCut(const TShortCut& shortCut)
{
    for (int i = 0; i < ControlCount(); ++i)
        if (auto* item = dynamic_cast<TMenuItem*>(Control(i)))
            if (TMenuItem* found = item->FindShortCut(shortCut))
                return found;
    return nullptr;
}

} // namespace aph
