#include "host/ui/form.h"

#include "host/data/scopeguard.h"
#include "host/ui/menu.h"

#include <algorithm>

namespace aph {

namespace {

IFormHost* g_formHost = nullptr;
TExceptionHandler g_exceptionHandler;

void CollectTabOrder(const TWinControl* parent, std::vector<TControl*>& out)
{
    std::vector<TControl*> children;
    for (int i = 0; i < parent->ControlCount(); ++i)
        children.push_back(parent->Control(i));
    std::stable_sort(children.begin(), children.end(), [](const TControl* a, const TControl* b) {
        return a->TabOrder() < b->TabOrder();
    });
    for (TControl* c : children) {
        if (dynamic_cast<TMainMenu*>(c) || !c->Visible())
            continue;
        if (c->TabStop())
            out.push_back(c);
        if (auto* win = dynamic_cast<TWinControl*>(c))
            CollectTabOrder(win, out);
    }
}

} // namespace

void SetFormHost(IFormHost* host)
{
    g_formHost = host;
}

IFormHost* FormHost()
{
    return g_formHost;
}

void SetExceptionHandler(TExceptionHandler handler)
{
    g_exceptionHandler = std::move(handler);
}

bool HasExceptionHandler()
{
    return static_cast<bool>(g_exceptionHandler);
}

void HandleException(std::exception_ptr error)
{
    if (g_exceptionHandler)
        g_exceptionHandler(error);
    else
        std::rethrow_exception(error);
}

TForm::TForm(QString name) : TWinControl(std::move(name))
{
    SetVisible(false);
}

TForm::~TForm()
{
    if (OnDestroy) {
        const TNotifyEvent handler = OnDestroy;
        OnDestroy = nullptr;
        try {
            handler(this);
        } catch (...) {
            // A destructor must not throw; the form is going away anyway.
        }
    }
    if (m_observer)
        m_observer->ControlDestroyed(this);
    m_observer = nullptr;
    m_activeControl = nullptr;
}

void TForm::EnsureLayout() const
{
    if (m_layoutValid || m_inLayout)
        return;
    m_inLayout = true;
    AlignControls();
    m_inLayout = false;
    m_layoutValid = true;
}

std::vector<TControl*> TForm::TabOrderList() const
{
    std::vector<TControl*> list;
    CollectTabOrder(this, list);
    return list;
}

bool TForm::FocusControl(TControl* control)
{
    if (control == m_activeControl)
        return true;
    if (control && (control->Form() != this || !control->CanFocus()))
        return false;
    TControl* old = m_activeControl;
    // While the old control's exit runs, the new one is already the active
    // control (screens look at it there); an exception puts the focus back.
    m_activeControl = control;
    if (old) {
        TScopeFail refused([this, old] { m_activeControl = old; });
        old->DoExit();
    }
    if (old)
        Changed(TChange::Focus);
    if (control)
        control->DoEnter();
    if (control && m_observer)
        m_observer->ControlChanged(control, TChange::Focus);
    return true;
}

void TForm::SelectNext(bool forward)
{
    const std::vector<TControl*> list = TabOrderList();
    std::vector<TControl*> focusable;
    for (TControl* c : list)
        if (c->CanFocus())
            focusable.push_back(c);
    if (focusable.empty())
        return;
    auto it = std::find(focusable.begin(), focusable.end(), m_activeControl);
    std::size_t index;
    if (it == focusable.end())
        index = forward ? 0 : focusable.size() - 1;
    else if (forward)
        index = (static_cast<std::size_t>(it - focusable.begin()) + 1) % focusable.size();
    else
        index = (static_cast<std::size_t>(it - focusable.begin()) + focusable.size() - 1) %
                focusable.size();
    FocusControl(focusable[index]);
}

void TForm::ControlRemoved(TControl* control, bool destroyed)
{
    if (destroyed && m_defaultButton == control)
        m_defaultButton = nullptr;
    if (destroyed && m_cancelButton == control)
        m_cancelButton = nullptr;
    if (!m_activeControl)
        return;
    for (const TControl* c = m_activeControl; c; c = c->Parent()) {
        if (c == control) {
            // The focus leaves without the exit event: the control cannot
            // take input any more.
            m_activeControl = nullptr;
            return;
        }
    }
}

void TForm::Show()
{
    SetVisible(true);
    if (OnShow)
        OnShow(this);
    if (g_formHost)
        g_formHost->ShowForm(*this);
    Activate();
}

int TForm::ShowModal()
{
    m_modalResult = mrNone;
    m_modal = true;
    SetVisible(true);
    struct ModalGuard
    {
        TForm* form;
        ~ModalGuard() { form->m_modal = false; }
    } guard{this};
    if (OnShow)
        OnShow(this);
    Activate();
    if (g_formHost)
        g_formHost->RunModal(*this);
    if (m_modalResult == mrNone)
        m_modalResult = mrCancel;
    // The modal loop has ended: the form closes (hidden unless OnClose
    // decides otherwise).
    if (Visible()) {
        TCloseAction action = TCloseAction::caHide;
        if (OnClose)
            OnClose(this, action);
        if (action == TCloseAction::caFree)
            Release();
        else if (action != TCloseAction::caNone)
            Hide();
    }
    return m_modalResult;
}

void TForm::Hide()
{
    if (!Visible())
        return;
    SetVisible(false);
    if (OnHide)
        OnHide(this);
    if (g_formHost)
        g_formHost->HideForm(*this);
}

void TForm::Close()
{
    if (m_closing)
        return;
    bool canClose = true;
    if (OnCloseQuery)
        OnCloseQuery(this, canClose);
    if (!canClose)
        return;
    if (m_modal) {
        // A modal form closes by ending its loop; ShowModal runs OnClose.
        if (m_modalResult == mrNone)
            SetModalResult(mrCancel);
        return;
    }
    m_closing = true;
    struct Reset
    {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{m_closing};
    TCloseAction action =
        m_formStyle == TFormStyle::fsMDIChild ? TCloseAction::caMinimize : TCloseAction::caHide;
    if (OnClose)
        OnClose(this, action);
    switch (action) {
    case TCloseAction::caNone:
        break;
    case TCloseAction::caHide:
    case TCloseAction::caMinimize:
        Hide();
        break;
    case TCloseAction::caFree:
        Hide();
        Release();
        break;
    }
}

void TForm::Release()
{
    if (g_formHost)
        g_formHost->ReleaseForm(*this);
}

void TForm::SetModalResult(int result)
{
    m_modalResult = result;
}

void TForm::Activate()
{
    if (OnActivate)
        OnActivate(this);
}

void TForm::KeyDown(TWord& key, TShiftState shift)
{
    if (m_keyPreview && OnKeyDown)
        OnKeyDown(this, key, shift);
    if (key == 0)
        return;
    if (TControl* target = ShortCutTarget(ShortCut(key, shift))) {
        key = 0;
        // A label's accelerator goes to its control, as a Tab there would.
        if (auto* label = dynamic_cast<TLabel*>(target))
            label->FocusControl()->SetFocus();
        else
            target->Click();
        return;
    }
    if (OnDisabledShortCut)
        if (TControl* target = DisabledShortCutTarget(ShortCut(key, shift))) {
            key = 0;
            OnDisabledShortCut(target);
            return;
        }
    if (key == VK_TAB && (shift & ssCtrl) && !(shift & ssAlt)) {
        // Ctrl+Tab leaves even a control that keeps Tab for itself.
        key = 0;
        SelectNext(!(shift & ssShift));
        return;
    }
    if (DialogKey(key, shift)) {
        key = 0;
        return;
    }
    if (m_activeControl) {
        m_activeControl->KeyDown(key, shift);
        if (key == 0)
            return;
    }
    if (key == VK_TAB && !(shift & (ssCtrl | ssAlt))) {
        key = 0;
        SelectNext(!(shift & ssShift));
    }
}

bool TForm::DialogKey(TWord key, TShiftState shift)
{
    TControl* button = nullptr;
    if (key == VK_RETURN && !(shift & (ssCtrl | ssAlt)))
        button = m_defaultButton;
    else if (key == VK_ESCAPE && shift == ssNone)
        button = m_cancelButton;
    if (!button || !button->EffectivelyVisible() || !button->EffectivelyEnabled())
        return false;
    if (m_activeControl && m_activeControl->WantsKey(key, shift))
        return false;
    // The same click as the mouse's: the focus stays where it is.
    button->Click();
    return true;
}

void TForm::KeyPress(QChar& key)
{
    if (m_keyPreview && OnKeyPress)
        OnKeyPress(this, key);
    if (key.isNull())
        return;
    if (m_activeControl)
        m_activeControl->KeyPress(key);
}

} // namespace aph
