#pragma once

#include "host/ui/control.h"

#include <exception>

namespace aph {

class TForm;
class TMainMenu;

// Shows forms for real (the Qt view) or for a test script. The form calls
// it; it never calls screen code except through the form's own methods.
class IFormHost
{
public:
    virtual ~IFormHost() = default;
    virtual void ShowForm(TForm& form) = 0;
    virtual void HideForm(TForm& form) = 0;
    // Returns once the form has a modal result (or has been closed).
    virtual int RunModal(TForm& form) = 0;
    // Deletes the form once the current event has been handled.
    virtual void ReleaseForm(TForm& form) = 0;
    // A Yes/No question asked by a control itself (a grid's delete).
    virtual bool Confirm(const QString& question) = 0;
};
void SetFormHost(IFormHost* host);
IFormHost* FormHost();

// What user input does with an exception that escapes a handler: the
// framework installs the host's error display here. Without a handler the
// exception propagates to the caller.
using TExceptionHandler = std::function<void(std::exception_ptr)>;
void SetExceptionHandler(TExceptionHandler handler);
bool HasExceptionHandler();
void HandleException(std::exception_ptr error);

// Runs one piece of user input the way the event loop does: an exception
// that escapes goes to the installed handler.
template <class F> void Perform(F&& input)
{
    if (!HasExceptionHandler()) {
        input();
        return;
    }
    try {
        input();
    } catch (...) {
        HandleException(std::current_exception());
    }
}

enum class TFormStyle
{
    fsNormal,
    fsMDIChild
};

class TForm : public TWinControl
{
public:
    using TCloseEvent = std::function<void(TObject* Sender, TCloseAction& Action)>;
    using TCloseQueryEvent = std::function<void(TObject* Sender, bool& CanClose)>;

    explicit TForm(QString name);
    ~TForm() override;
    const char* ClassName() const override { return "TForm"; }

    TFormStyle FormStyle() const { return m_formStyle; }
    void SetFormStyle(TFormStyle style) { m_formStyle = style; }
    // Forms have no frame here: the client area is the whole form.
    void SetClientSize(int width, int height) { SetBounds(Left(), Top(), width, height); }
    int ClientWidth() const { return Width(); }
    int ClientHeight() const { return Height(); }

    TMainMenu* Menu() const { return m_menu; }
    void SetMenu(TMainMenu* menu) { m_menu = menu; }

    // Focus: the control that receives keys. Moving it runs the old
    // control's OnExit (an exception there keeps the focus where it is) and
    // the new one's OnEnter.
    TControl* ActiveControl() const { return m_activeControl; }
    bool FocusControl(TControl* control);
    void SetActiveControl(TControl* control) { FocusControl(control); }
    // Tab and Shift+Tab: the next focusable control in tab order.
    void SelectNext(bool forward);
    std::vector<TControl*> TabOrderList() const;
    // Called when a focused control is about to go away (destroyed) or be
    // disabled or hidden.
    void ControlRemoved(TControl* control, bool destroyed = false);

    // The buttons Enter and Escape click, wherever the focus is, unless the
    // focused control uses the key itself (a grid editing a row). Null for
    // none.
    TControl* DefaultButton() const { return m_defaultButton; }
    void SetDefaultButton(TControl* button) { m_defaultButton = button; }
    TControl* CancelButton() const { return m_cancelButton; }
    void SetCancelButton(TControl* button) { m_cancelButton = button; }

    // Life cycle, through the form host.
    void Show();
    int ShowModal();
    void Hide();
    // Asks OnCloseQuery, then OnClose decides what happens to the form.
    void Close();
    void Release();
    bool Modal() const { return m_modal; }
    int ModalResult() const { return m_modalResult; }
    void SetModalResult(int result);
    // The host reports that the form became the active window.
    void Activate();
    bool KeyPreview() const { return m_keyPreview; }
    void SetKeyPreview(bool preview) { m_keyPreview = preview; }

    TNotifyEvent OnCreate;
    TNotifyEvent OnShow;
    TNotifyEvent OnActivate;
    TNotifyEvent OnHide;
    TNotifyEvent OnDestroy;
    TCloseEvent OnClose;
    TCloseQueryEvent OnCloseQuery;

    // Keys typed while the form is active: menu shortcuts first, then
    // Ctrl+Tab and Ctrl+Shift+Tab (the next or previous control, out of a
    // grid too), Enter and Escape for the default and cancel buttons, then
    // the focused control; Tab moves the focus when nobody consumed it.
    void KeyDown(TWord& key, TShiftState shift) override;
    void KeyPress(QChar& key) override;
    // What a shortcut runs: the enabled, visible menu entry with it, else a
    // toolbar button with it, else (Alt+letter) the label whose accelerator
    // it is, when the label's control can take the focus. Only keys with Ctrl or Alt held and
    // function keys are shortcuts; null when nothing has the key.
    TControl* ShortCutTarget(const TShortCut& shortCut);
    // The visible but disabled menu entry or button with the shortcut that
    // says why it is disabled (DisabledHint); null for none.
    TControl* DisabledShortCutTarget(const TShortCut& shortCut);
    // A key whose command is disabled for a reason the user can act on:
    // the screen says why, or, when the reason has gone meanwhile (a role
    // granted), enables and runs the command.
    std::function<void(TControl* target)> OnDisabledShortCut;
    // The form's keys, generated from its menu and its buttons so the list
    // never goes stale: the menus' Alt letters, then each shortcut.
    struct TKeyHelp
    {
        QString Keys;
        QString Action;
    };
    std::vector<TKeyHelp> KeyList() const;

    void SetObserver(TFormObserver* observer) { m_observer = observer; }
    TFormObserver* Observer() const { return m_observer; }

    // Layout is computed lazily and redone after any geometry change.
    void InvalidateLayout() { m_layoutValid = false; }
    void EnsureLayout() const;

private:
    // Enter or Escape as a click on the default or cancel button.
    bool DialogKey(TWord key, TShiftState shift);

    TFormStyle m_formStyle = TFormStyle::fsNormal;
    TMainMenu* m_menu = nullptr;
    TControl* m_activeControl = nullptr;
    TControl* m_defaultButton = nullptr;
    TControl* m_cancelButton = nullptr;
    bool m_modal = false;
    int m_modalResult = mrNone;
    bool m_keyPreview = false;
    bool m_closing = false;
    TFormObserver* m_observer = nullptr;
    mutable bool m_layoutValid = false;
    mutable bool m_inLayout = false;
};

} // namespace aph
