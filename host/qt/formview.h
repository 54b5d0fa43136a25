#pragma once

#include "host/ui/form.h"

#include <QHash>
#include <QWidget>

#include <functional>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;

namespace aph {

class TMenuItem;
class TCustomEdit;

// The Qt face of one headless form, built generically from its control
// tree: one widget per control, placed where the headless layout puts it,
// kept in step through the form's observer. Every key typed in it goes to
// the form (menu shortcuts, the focused control, Tab), every click to the
// control clicked, each as one piece of user input; the widgets never act
// on their own, so the headless behaviour is the only behaviour.
class TFormView : public QWidget, private TFormObserver
{
public:
    explicit TFormView(TForm& form, QWidget* parent = nullptr);
    ~TFormView() override;

    // Null once the form has gone away.
    TForm* Form() const { return m_form; }
    QWidget* WidgetOf(const TControl* control) const;
    // The control a widget (or one of its inner parts) shows.
    TControl* ControlOf(const QWidget* widget) const;
    QMenuBar* MenuBar() const { return m_menuBar; }
    // Hides the form's own menu bar while its menus show in the host's bar
    // (merged there when the screen is the active one), and shows it again.
    void SetMenuBarShown(bool shown);
    QAction* ActionOf(const TMenuItem* item) const;
    // The size that shows the form's client area whole.
    QSize sizeHint() const override;
    // Puts the Qt focus where the form has its focus; without force only
    // while the focus is in this view already.
    void SyncFocus(bool force = false);
    // A key typed in the view that something around it would have taken
    // first (the work area's Ctrl+Tab): the form gets it as any other key.
    void TakeKey(QKeyEvent* event);
    // The view a widget (or one of its inner parts) belongs to.
    static TFormView* ViewOf(QObject* object);

    std::function<void()> OnFormDestroyed;
    std::function<void()> OnCaptionChanged;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void ControlChanged(TControl* control, TChange change) override;
    void ControlDestroyed(TControl* control) override;

    void BuildChildren(TWinControl* parent, QWidget* widget);
    QWidget* CreateWidget(TControl* control, QWidget* parent);
    void SyncWidget(TControl* control, QWidget* widget);
    void SyncLabel(TControl* control, QLabel* label);
    void SyncEdit(TCustomEdit* edit, QLineEdit* widget);
    void BuildMenu();
    void AddMenuItems(TMenuItem* item, QMenu* menu);
    void SyncAction(TMenuItem* item);
    void Relayout();
    int MenuBarHeight() const;
    // The menu bar on top, the client area below; the form takes its size.
    void PlaceClient();
    void Watch(QWidget* widget);
    void Forget();
    void HandleKey(QKeyEvent* event);
    // Opens a grid's context menu for the key that asks for it.
    bool GridContextMenuKey(QObject* watched, QKeyEvent* key);
    void ClickFromMouse(TControl* control);
    // Moves the form's focus for a click; false when it was refused.
    bool FocusFromMouse(TControl* control);
    bool Alive(const TControl* control) const
    {
        return m_widgets.contains(control) || m_actions.contains(control);
    }

    TForm* m_form;
    QWidget* m_client;
    QMenuBar* m_menuBar = nullptr;
    QHash<const TControl*, QWidget*> m_widgets;
    QHash<const QWidget*, TControl*> m_controls;
    QHash<const TControl*, QAction*> m_actions;
    bool m_syncingFocus = false;
    bool m_resizing = false;
    bool m_menuBarShown = true;
    const TControl* m_refused = nullptr; // its focus was just refused: drop its click

    friend class TSplitterWidget;
};

} // namespace aph
