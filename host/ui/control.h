#pragma once

#include "host/data/component.h"
#include "host/ui/types.h"

#include <QRect>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

namespace aph {

class TForm;
class TWinControl;
class TControl;

using TNotifyEvent = std::function<void(TObject* Sender)>;
using TKeyEvent = std::function<void(TObject* Sender, TWord& Key, TShiftState Shift)>;
using TKeyPressEvent = std::function<void(TObject* Sender, QChar& Key)>;

// What changed in a control, for a renderer that mirrors it.
enum class TChange
{
    Geometry,
    Caption,
    State,
    Style,
    Content,
    Children,
    Focus
};

// Told of every change in the controls of one form (the Qt view is one).
class TFormObserver
{
public:
    virtual ~TFormObserver() = default;
    virtual void ControlChanged(TControl* control, TChange change) = 0;
    virtual void ControlDestroyed(TControl* control) = 0;
};

// A headless control: its place in the tree, its design bounds and the
// bounds the layout gives it, its states and its events. No drawing.
class TControl : public TComponent
{
public:
    explicit TControl(QString name);
    ~TControl() override;

    TWinControl* Parent() const { return m_parent; }
    TForm* Form() const;

    // Design geometry, relative to the parent's top-left corner.
    TAlign Align() const { return m_align; }
    void SetAlign(TAlign align);
    int Left() const { return m_design.left(); }
    int Top() const { return m_design.top(); }
    int Width() const { return m_design.width(); }
    int Height() const { return m_design.height(); }
    void SetBounds(int left, int top, int width, int height);
    void SetLeft(int left) { SetBounds(left, Top(), Width(), Height()); }
    void SetTop(int top) { SetBounds(Left(), top, Width(), Height()); }
    void SetWidth(int width) { SetBounds(Left(), Top(), width, Height()); }
    void SetHeight(int height) { SetBounds(Left(), Top(), Width(), height); }
    // Where the layout puts the control, relative to its parent.
    QRect BoundsRect() const;
    // The same in the form's coordinates.
    QRect FormRect() const;

    bool Visible() const { return m_visible; }
    void SetVisible(bool visible);
    bool Enabled() const { return m_enabled; }
    void SetEnabled(bool enabled);
    // Enabled and every parent enabled.
    bool EffectivelyEnabled() const;
    bool EffectivelyVisible() const;

    const QString& Caption() const { return m_caption; }
    void SetCaption(const QString& caption);
    const QString& Hint() const { return m_hint; }
    void SetHint(const QString& hint);
    bool ShowHint() const { return m_showHint; }
    void SetShowHint(bool show);
    // Why the control is disabled, when that is something the user can
    // act on (a role to ask for): its tooltip while disabled, beside its
    // key in the form's key list, and what the form reports when its key
    // is pressed (TForm::OnDisabledShortCut). Empty for none.
    const QString& DisabledHint() const { return m_disabledHint; }
    void SetDisabledHint(const QString& hint);
    const TFont& Font() const { return m_font; }
    void SetFont(const TFont& font);
    TColor Color() const { return m_color; }
    void SetColor(TColor color);

    int TabOrder() const { return m_tabOrder; }
    void SetTabOrder(int order);
    bool TabStop() const { return m_tabStop; }
    void SetTabStop(bool tabStop) { m_tabStop = tabStop; }
    virtual bool CanFocus() const;
    bool Focused() const;
    // Moves the input focus here (the form runs the exit and enter events).
    bool SetFocus();

    TNotifyEvent OnClick;
    TNotifyEvent OnEnter;
    TNotifyEvent OnExit;
    TKeyEvent OnKeyDown;
    TKeyPressEvent OnKeyPress;

    // Runs the click as the user would (nothing when disabled).
    virtual void Click();
    // Keys reach the focused control through these; they run the handler
    // first, then the control's own behaviour unless the handler consumed
    // the key (set it to 0).
    virtual void KeyDown(TWord& key, TShiftState shift);
    virtual void KeyPress(QChar& key);
    // Whether the control uses a key itself that its form would otherwise
    // take: Enter for the default button, Escape for the cancel button.
    virtual bool WantsKey(TWord key, TShiftState shift) const;

    // Kind name for renderers and diagnostics ("TPanel", "TDBGrid", ...).
    virtual const char* ClassName() const = 0;

    // The form calls these as the focus arrives and leaves; they run
    // OnEnter and OnExit. An exception from DoExit keeps the focus here.
    virtual void DoEnter();
    virtual void DoExit();

protected:
    void Changed(TChange change);
    virtual void EnabledChanged() {}

private:
    friend class TWinControl;
    TWinControl* m_parent = nullptr;
    TAlign m_align = TAlign::alNone;
    QRect m_design{0, 0, 0, 0};
    mutable QRect m_bounds;
    bool m_visible = true;
    bool m_enabled = true;
    QString m_caption;
    QString m_hint;
    QString m_disabledHint;
    bool m_showHint = false;
    TFont m_font;
    TColor m_color = clBtnFace;
    int m_tabOrder = 0;
    bool m_tabStop = false;
};

// A control that holds others and lays them out by their alignment.
class TWinControl : public TControl
{
public:
    using TControl::TControl;
    ~TWinControl() override;

    // Creates a child owned by this control.
    template <class T, class... Args> T* Add(const QString& name, Args&&... args)
    {
        auto child = std::make_unique<T>(name, std::forward<Args>(args)...);
        T* raw = child.get();
        InsertChild(std::move(child));
        return raw;
    }
    void InsertChild(std::unique_ptr<TControl> child);
    int ControlCount() const { return static_cast<int>(m_children.size()); }
    TControl* Control(int index) const { return m_children[static_cast<std::size_t>(index)].get(); }
    // Depth-first search by name, this control included.
    TControl* FindChild(const QString& name);
    template <class T> T* Find(const QString& name) { return dynamic_cast<T*>(FindChild(name)); }

    // The area aligned children share, relative to this control.
    virtual QRect ClientRect() const;
    // Lays out the children (and theirs) from the current bounds.
    void AlignControls() const;

private:
    std::vector<std::unique_ptr<TControl>> m_children;
};

class TPanel : public TWinControl
{
public:
    using TWinControl::TWinControl;
    const char* ClassName() const override { return "TPanel"; }
};

class TScrollBox : public TWinControl
{
public:
    using TWinControl::TWinControl;
    const char* ClassName() const override { return "TScrollBox"; }
};

class TGroupBox : public TWinControl
{
public:
    using TWinControl::TWinControl;
    const char* ClassName() const override { return "TGroupBox"; }
    // The caption takes the top of the box.
    QRect ClientRect() const override;
};

class TTabSheet : public TWinControl
{
public:
    using TWinControl::TWinControl;
    const char* ClassName() const override { return "TTabSheet"; }
};

class TPageControl : public TWinControl
{
public:
    using TWinControl::TWinControl;
    const char* ClassName() const override { return "TPageControl"; }
};

// Resizes the aligned sibling it stands against when dragged.
class TSplitter : public TControl
{
public:
    explicit TSplitter(QString name);
    const char* ClassName() const override { return "TSplitter"; }
    int MinSize() const { return m_minSize; }
    void SetMinSize(int size) { m_minSize = size; }
    // The sibling it resizes: the one aligned the same way just before it.
    TControl* ResizedControl() const;
    // A drag of the splitter by the user; nothing while disabled.
    void DragBy(int delta);
    TNotifyEvent OnMoved;

private:
    int m_minSize = 30;
};

class TLabel : public TControl
{
public:
    explicit TLabel(QString name);
    const char* ClassName() const override { return "TLabel"; }
    bool Transparent() const { return m_transparent; }
    void SetTransparent(bool transparent);
    enum class TTextAlign
    {
        Left,
        Right,
        Center
    };
    TTextAlign Alignment() const { return m_alignment; }
    void SetAlignment(TTextAlign alignment);
    // The control its caption's accelerator ("&De", Alt+D) takes the focus
    // to; without one the caption's "&" marks nothing.
    TControl* FocusControl() const { return m_focusControl; }
    void SetFocusControl(TControl* control);

private:
    bool m_transparent = true;
    TTextAlign m_alignment = TTextAlign::Left;
    TControl* m_focusControl = nullptr;
};

class TBevel : public TControl
{
public:
    using TControl::TControl;
    const char* ClassName() const override { return "TBevel"; }
};

// A toolbar button: a hint, optionally flat; no focus of its own unless it
// is made a tab stop (a dialog's buttons), and then Space or Enter clicks it.
class TSpeedButton : public TControl
{
public:
    explicit TSpeedButton(QString name);
    const char* ClassName() const override { return "TSpeedButton"; }
    bool Flat() const { return m_flat; }
    void SetFlat(bool flat);
    // Name of the picture the renderer shows ("filter", "confirm", ...).
    const QString& Glyph() const { return m_glyph; }
    void SetGlyph(const QString& glyph);
    // The key that clicks the button, shown in its tooltip; the form runs
    // it when no menu entry has the key.
    const TShortCut& ShortCut() const { return m_shortCut; }
    void SetShortCut(const TShortCut& shortCut);
    bool CanFocus() const override { return TabStop() && TControl::CanFocus(); }
    void KeyDown(TWord& key, TShiftState shift) override;
    void KeyPress(QChar& key) override;
    bool WantsKey(TWord key, TShiftState shift) const override;

private:
    bool m_flat = false;
    QString m_glyph;
    TShortCut m_shortCut;
};

// The framework's flat button.
class TButtonFlat : public TSpeedButton
{
public:
    explicit TButtonFlat(QString name);
    const char* ClassName() const override { return "TButtonFlat"; }
};

class TButton : public TControl
{
public:
    explicit TButton(QString name);
    const char* ClassName() const override { return "TButton"; }
    int ModalResult() const { return m_modalResult; }
    void SetModalResult(int result) { m_modalResult = result; }
    void Click() override;
    // Focused, Space or Enter clicks it, as a Qt push button.
    void KeyDown(TWord& key, TShiftState shift) override;
    void KeyPress(QChar& key) override;
    bool WantsKey(TWord key, TShiftState shift) const override;

private:
    int m_modalResult = mrNone;
};

// Enables or disables every child of a box.
void SetChildEnabled(TWinControl* box, bool enabled);

} // namespace aph
