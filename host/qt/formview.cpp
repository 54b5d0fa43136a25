#include "host/qt/formview.h"

#include "host/qt/gridview.h"
#include "host/qt/input.h"
#include "host/qt/qtconvert.h"
#include "host/ui/dbgrid.h"
#include "host/ui/menu.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

// The client area of the form: the control tree lives here, and its size
// is the form's size.
class TClientArea : public QWidget
{
public:
    using QWidget::QWidget;
};

} // namespace

TFormView::TFormView(TForm& form, QWidget* parent)
    : QWidget(parent), m_form(&form), m_client(new TClientArea(this))
{
    setObjectName(form.Name());
    m_client->setObjectName(form.Name() + u"_client"_s);
    m_client->setAutoFillBackground(true);
    QPalette p = m_client->palette();
    p.setColor(QPalette::Window, QtColor(form.Color(), p));
    m_client->setPalette(p);
    m_widgets.insert(&form, m_client);
    m_controls.insert(m_client, &form);
    Watch(m_client);
    BuildMenu();
    BuildChildren(&form, m_client);
    // A label built before the control it names draws its accelerator now.
    for (auto it = m_widgets.cbegin(); it != m_widgets.cend(); ++it)
        if (auto* label = qobject_cast<QLabel*>(it.value()))
            SyncLabel(const_cast<TControl*>(it.key()), label);
    Relayout();
    resize(sizeHint());
    form.SetObserver(this);
}

TFormView::~TFormView()
{
    if (m_form && m_form->Observer() == this)
        m_form->SetObserver(nullptr);
}

QWidget* TFormView::WidgetOf(const TControl* control) const
{
    return m_widgets.value(control, nullptr);
}

TControl* TFormView::ControlOf(const QWidget* widget) const
{
    for (const QWidget* w = widget; w; w = w->parentWidget()) {
        if (TControl* c = m_controls.value(w, nullptr))
            return c;
        if (w == this)
            break;
    }
    return nullptr;
}

QAction* TFormView::ActionOf(const TMenuItem* item) const
{
    return m_actions.value(item, nullptr);
}

QSize TFormView::sizeHint() const
{
    if (!m_form)
        return QWidget::sizeHint();
    const int bar = MenuBarHeight();
    return QSize(m_form->Width(), m_form->Height() + bar);
}

void TFormView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    PlaceClient();
}

void TFormView::PlaceClient()
{
    const int bar = MenuBarHeight();
    if (m_menuBar)
        m_menuBar->setGeometry(0, 0, width(), bar);
    m_client->setGeometry(0, bar, width(), std::max(0, height() - bar));
    if (!m_form)
        return;
    // The window was resized: the form takes the new size and the headless
    // layout places everything again.
    if (m_client->width() != m_form->Width() || m_client->height() != m_form->Height()) {
        m_resizing = true;
        m_form->SetBounds(m_form->Left(), m_form->Top(), m_client->width(), m_client->height());
        m_resizing = false;
        Relayout();
    }
}

int TFormView::MenuBarHeight() const
{
    return m_menuBar && m_menuBarShown ? m_menuBar->sizeHint().height() : 0;
}

void TFormView::SetMenuBarShown(bool shown)
{
    if (!m_menuBar || shown == m_menuBarShown)
        return;
    m_menuBarShown = shown;
    m_menuBar->setVisible(shown);
    // The client area takes the bar's place, or gives it back.
    PlaceClient();
}

void TFormView::BuildChildren(TWinControl* parent, QWidget* widget)
{
    for (int i = 0; i < parent->ControlCount(); ++i) {
        TControl* child = parent->Control(i);
        if (dynamic_cast<TMainMenu*>(child) || dynamic_cast<TMenuItem*>(child))
            continue; // the menu bar shows these
        if (m_widgets.contains(child))
            continue;
        QWidget* w = CreateWidget(child, widget);
        m_widgets.insert(child, w);
        m_controls.insert(w, child);
        Watch(w);
        SyncWidget(child, w);
        if (auto* win = dynamic_cast<TWinControl*>(child))
            BuildChildren(win, w);
        w->show();
    }
}

void TFormView::Watch(QWidget* widget)
{
    widget->installEventFilter(this);
    for (QWidget* inner : widget->findChildren<QWidget*>())
        inner->installEventFilter(this);
}

void TFormView::BuildMenu()
{
    TMainMenu* menu = m_form->Menu();
    if (!menu)
        return;
    m_menuBar = new QMenuBar(this);
    m_menuBar->setNativeMenuBar(false);
    for (int i = 0; i < menu->ControlCount(); ++i) {
        auto* item = dynamic_cast<TMenuItem*>(menu->Control(i));
        if (!item)
            continue;
        QMenu* sub = m_menuBar->addMenu(item->Caption());
        sub->setToolTipsVisible(true);
        m_actions.insert(item, sub->menuAction());
        AddMenuItems(item, sub);
        SyncAction(item);
    }
}

void TFormView::AddMenuItems(TMenuItem* item, QMenu* menu)
{
    for (int i = 0; i < item->ControlCount(); ++i) {
        auto* child = dynamic_cast<TMenuItem*>(item->Control(i));
        if (!child)
            continue;
        QAction* action = nullptr;
        if (child->IsSeparator()) {
            action = menu->addSeparator();
        } else if (child->ControlCount() > 0) {
            QMenu* sub = menu->addMenu(child->Caption());
            sub->setToolTipsVisible(true);
            action = sub->menuAction();
            AddMenuItems(child, sub);
        } else {
            action = menu->addAction(child->Caption());
            // The shortcut is shown, not registered: the key goes to the
            // form, which finds the entry as it always does.
            connect(action, &QAction::triggered, this, [this, child] {
                if (Alive(child))
                    UserInput([child] { child->Click(); });
            });
        }
        m_actions.insert(child, action);
        SyncAction(child);
    }
}

void TFormView::SyncAction(TMenuItem* item)
{
    QAction* action = m_actions.value(item, nullptr);
    if (!action)
        return;
    if (!item->IsSeparator()) {
        QString text = item->Caption();
        if (!item->ShortCut().IsNull())
            text += u'\t' + ShortCutToText(item->ShortCut());
        action->setText(text);
    }
    action->setEnabled(item->Enabled());
    action->setVisible(item->Visible());
    // A disabled entry that says why (a role to ask for) tells it as its
    // tooltip and in the status bar.
    const bool why = !item->Enabled() && !item->DisabledHint().isEmpty();
    action->setToolTip(why ? item->DisabledHint() : QString());
    action->setStatusTip(why ? item->DisabledHint() : item->Hint());
}

void TFormView::Relayout()
{
    if (!m_form)
        return;
    for (auto it = m_widgets.cbegin(); it != m_widgets.cend(); ++it) {
        const TControl* c = it.key();
        QWidget* w = it.value();
        if (c == m_form)
            continue;
        QRect r = c->BoundsRect();
        if (const auto* label = dynamic_cast<const TLabel*>(c)) {
            // A plain left-aligned label grows to show its whole caption,
            // whatever the font that stands in for the form's font.
            if (label->Transparent() && label->Align() == TAlign::alNone &&
                label->Alignment() == TLabel::TTextAlign::Left)
                r.setWidth(std::max(r.width(), w->sizeHint().width()));
        }
        if (w->geometry() != r)
            w->setGeometry(r);
        w->setVisible(c->Visible());
    }
}

void TFormView::ControlChanged(TControl* control, TChange change)
{
    if (!m_form)
        return;
    if (change == TChange::Focus) {
        SyncFocus();
        // The focused grid frames its current row: the grids left and
        // entered paint again.
        for (QWidget* w : std::as_const(m_widgets))
            if (auto* grid = dynamic_cast<TGridView*>(w))
                grid->viewport()->update();
        return;
    }
    if (auto* item = dynamic_cast<TMenuItem*>(control)) {
        SyncAction(item);
        return;
    }
    if (control == m_form) {
        if (change == TChange::Caption && OnCaptionChanged)
            OnCaptionChanged();
        if (change == TChange::Geometry && !m_resizing) {
            // The form changed its own size.
            resize(sizeHint());
        }
        if (change == TChange::Children)
            BuildChildren(m_form, m_client);
        Relayout();
        return;
    }
    QWidget* w = m_widgets.value(control, nullptr);
    if (!w)
        return; // a control not shown (a menu) or not built yet
    switch (change) {
    case TChange::Children:
        if (auto* win = dynamic_cast<TWinControl*>(control))
            BuildChildren(win, w);
        Relayout();
        break;
    case TChange::Geometry:
        Relayout();
        break;
    case TChange::State:
        SyncWidget(control, w);
        if (control->Align() != TAlign::alNone || !control->Visible() != !w->isVisible())
            Relayout();
        break;
    case TChange::Style:
        if (auto* grid = dynamic_cast<TGridView*>(w))
            grid->SyncStyle();
        SyncWidget(control, w);
        break;
    case TChange::Caption:
    case TChange::Content:
        if (auto* grid = dynamic_cast<TGridView*>(w))
            grid->Sync();
        else
            SyncWidget(control, w);
        break;
    case TChange::Focus:
        break;
    }
}

void TFormView::Forget()
{
    for (QWidget* w : std::as_const(m_widgets))
        if (auto* grid = dynamic_cast<TGridView*>(w))
            grid->Detach();
    m_widgets.clear();
    m_controls.clear();
    m_actions.clear();
    if (m_menuBar)
        m_menuBar->setEnabled(false);
}

void TFormView::ControlDestroyed(TControl* control)
{
    if (control == m_form) {
        // Nothing of the form may be touched from here on; the window goes
        // once the current event is over.
        m_form = nullptr;
        Forget();
        if (OnFormDestroyed)
            OnFormDestroyed();
        return;
    }
    if (m_refused == control)
        m_refused = nullptr;
    if (auto* item = dynamic_cast<TMenuItem*>(control)) {
        if (QAction* action = m_actions.take(item))
            action->setVisible(false);
        return;
    }
    QWidget* w = m_widgets.take(control);
    if (!w)
        return;
    m_controls.remove(w);
    if (auto* grid = dynamic_cast<TGridView*>(w))
        grid->Detach();
    w->hide();
    w->deleteLater();
}

void TFormView::SyncFocus(bool force)
{
    if (!m_form || m_syncingFocus)
        return;
    QWidget* current = QApplication::focusWidget();
    const bool inside = current && (current == this || isAncestorOf(current));
    // Without the focus anywhere, an active window's form may take it.
    const bool free = !current && window()->isActiveWindow();
    if (!force && !inside && !free)
        return;
    TControl* active = m_form->ActiveControl();
    QWidget* target = active ? m_widgets.value(active, nullptr) : nullptr;
    if (!target || !target->isVisibleTo(this) || !target->isEnabled())
        target = m_client;
    if (current == target)
        return;
    m_syncingFocus = true;
    // The form moves its focus by the keyboard (Tab goes through it): the
    // style draws the focus mark of every control, as after a Tab of its own.
    window()->setAttribute(Qt::WA_KeyboardFocusChange);
    target->setFocus(Qt::OtherFocusReason);
    m_syncingFocus = false;
}

void TFormView::HandleKey(QKeyEvent* event)
{
    const TKeyStroke stroke = KeyStrokeOf(*event);
    TForm* form = m_form;
    bool ok = true;
    if (stroke.Key != 0)
        ok = UserInput([form, stroke] {
            TWord key = stroke.Key;
            form->KeyDown(key, stroke.Shift);
        });
    // What the key types follows, unless the key was refused or the form
    // went away on it; with Ctrl or Alt held a key types nothing (Ctrl+A
    // selects, it does not type an "a").
    if (ok && m_form && !stroke.Char.isNull() && !(stroke.Shift & (ssAlt | ssCtrl)))
        UserInput([form, stroke] {
            QChar c = stroke.Char;
            form->KeyPress(c);
        });
}

void TFormView::TakeKey(QKeyEvent* event)
{
    if (m_form)
        HandleKey(event);
}

TFormView* TFormView::ViewOf(QObject* object)
{
    for (auto* w = qobject_cast<QWidget*>(object); w; w = w->parentWidget())
        if (auto* view = dynamic_cast<TFormView*>(w))
            return view;
    return nullptr;
}

bool TFormView::FocusFromMouse(TControl* control)
{
    if (!control->CanFocus())
        return false;
    const bool ok = UserInput([control] { control->SetFocus(); });
    if (!Alive(control))
        return false;
    if (ok && control->Focused())
        return true;
    m_refused = control;
    QMetaObject::invokeMethod(
        this, [this] { SyncFocus(); }, Qt::QueuedConnection);
    return false;
}

void TFormView::ClickFromMouse(TControl* control)
{
    if (!Alive(control))
        return;
    QWidget* w = m_widgets.value(control);
    if (m_refused == control) {
        // Its focus was refused on this very click: the click goes nowhere.
        m_refused = nullptr;
    } else if ((w->focusPolicy() & Qt::ClickFocus) && !control->Focused() &&
               !FocusFromMouse(control)) {
        // The widget had the Qt focus already, the form had it elsewhere,
        // and the form kept it there.
        m_refused = nullptr;
    } else {
        UserInput([control] { control->Click(); });
    }
    if (Alive(control))
        SyncWidget(control, m_widgets.value(control));
}

bool TFormView::GridContextMenuKey(QObject* watched, QKeyEvent* key)
{
    // The context-menu key and Shift+F10 open a grid's context menu,
    // unless the form's menu has the key for itself.
    const bool menuKey = key->key() == Qt::Key_Menu ||
                         (key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier);
    if (!menuKey)
        return false;
    TGridView* grid = nullptr;
    for (QObject* o = watched; o && !grid; o = o->parent())
        grid = dynamic_cast<TGridView*>(o);
    if (!grid)
        return false;
    const TKeyStroke stroke = KeyStrokeOf(*key);
    if (m_form->Menu() && stroke.Key != 0 &&
        m_form->Menu()->FindShortCut(ShortCut(stroke.Key, stroke.Shift)))
        return false;
    grid->ShowContextMenu(grid->ContextMenuPoint());
    return true;
}

bool TFormView::eventFilter(QObject* watched, QEvent* event)
{
    if (!m_form)
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::ShortcutOverride: {
        // A shortcut of the form's own menu or toolbar wins over the host's.
        auto* key = static_cast<QKeyEvent*>(event);
        const TKeyStroke stroke = KeyStrokeOf(*key);
        if (m_form->ShortCutTarget(ShortCut(stroke.Key, stroke.Shift))) {
            event->accept();
            return true;
        }
        break;
    }
    case QEvent::KeyPress: {
        auto* key = static_cast<QKeyEvent*>(event);
        // Alt with a letter opens the menu bar; everything else is the form's.
        if ((key->modifiers() & Qt::AltModifier) && m_menuBar &&
            !m_form->ShortCutTarget(ShortCut(KeyStrokeOf(*key).Key, KeyStrokeOf(*key).Shift)))
            break;
        if (GridContextMenuKey(watched, key))
            return true;
        HandleKey(key);
        return true;
    }
    case QEvent::KeyRelease:
        return true;
    case QEvent::FocusIn: {
        if (m_syncingFocus)
            break;
        auto* focus = static_cast<QFocusEvent*>(event);
        auto* widget = qobject_cast<QWidget*>(watched);
        TControl* control = widget ? ControlOf(widget) : nullptr;
        if (focus->reason() != Qt::MouseFocusReason) {
            // Qt chose a widget by itself (a window became active): the
            // focus goes back where the form has it.
            QMetaObject::invokeMethod(
                this, [this] { SyncFocus(); }, Qt::QueuedConnection);
            break;
        }
        if (!control || control == m_form || dynamic_cast<TDBGrid*>(control) ||
            control == m_form->ActiveControl())
            break;
        // A click moves the focus the headless way; a refusal (a check of
        // the control being left) is shown and the focus stays.
        FocusFromMouse(control);
        break;
    }
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace aph
