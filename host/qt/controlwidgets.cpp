// The widget of each kind of control, and how it follows the control.
#include "host/qt/controlwidgets.h"

#include "host/qt/formview.h"
#include "host/qt/gridview.h"
#include "host/qt/input.h"
#include "host/qt/qtconvert.h"
#include "host/ui/dbcontrols.h"
#include "host/ui/dbgrid.h"
#include "host/ui/editors.h"

#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QToolButton>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

QPixmap Canvas()
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    return pm;
}

// A few pictures drawn here, for the commands the style has none for.
QIcon Drawn(const QString& glyph)
{
    QPixmap pm = Canvas();
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink(40, 60, 110);
    if (glyph == u"filter") {
        QPainterPath funnel;
        funnel.moveTo(1.5, 2.5);
        funnel.lineTo(14.5, 2.5);
        funnel.lineTo(9.5, 8.5);
        funnel.lineTo(9.5, 14);
        funnel.lineTo(6.5, 12.5);
        funnel.lineTo(6.5, 8.5);
        funnel.closeSubpath();
        p.setPen(QPen(ink, 1));
        p.setBrush(QColor(90, 140, 220));
        p.drawPath(funnel);
    } else if (glyph == u"search") {
        p.setPen(QPen(ink, 2));
        p.setBrush(QColor(220, 235, 255));
        p.drawEllipse(QRectF(2, 2, 8, 8));
        p.drawLine(QPointF(9, 9), QPointF(14, 14));
    } else if (glyph == u"insert") {
        p.setPen(QPen(QColor(30, 130, 40), 3));
        p.drawLine(QPointF(8, 2), QPointF(8, 14));
        p.drawLine(QPointF(2, 8), QPointF(14, 8));
    } else if (glyph == u"delete") {
        p.setPen(QPen(QColor(190, 30, 30), 3));
        p.drawLine(QPointF(2, 8), QPointF(14, 8));
    } else if (glyph == u"edit") {
        p.setPen(QPen(ink, 1));
        p.setBrush(QColor(240, 200, 60));
        QPainterPath pencil;
        pencil.moveTo(2, 14);
        pencil.lineTo(3, 10);
        pencil.lineTo(11, 2);
        pencil.lineTo(14, 5);
        pencil.lineTo(6, 13);
        pencil.closeSubpath();
        p.drawPath(pencil);
    } else if (glyph == u"print") {
        p.setPen(QPen(ink, 1));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4.5, 1.5, 7, 5));
        p.setBrush(QColor(150, 160, 180));
        p.drawRect(QRectF(1.5, 6.5, 13, 6));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4.5, 10.5, 7, 4));
    } else if (glyph == u"generate") {
        p.setPen(QPen(ink, 1));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(2.5, 1.5, 10, 13));
        p.setPen(QPen(QColor(30, 130, 40), 2));
        p.drawLine(QPointF(5, 5), QPointF(10, 5));
        p.drawLine(QPointF(5, 8), QPointF(10, 8));
        p.drawLine(QPointF(5, 11), QPointF(8, 11));
    } else if (glyph == u"help") {
        p.setPen(QPen(ink, 1));
        p.setBrush(QColor(90, 140, 220));
        p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
        QFont f = p.font();
        f.setBold(true);
        f.setPixelSize(11);
        p.setFont(f);
        p.setPen(Qt::white);
        p.drawText(QRectF(1.5, 1.5, 13, 13), Qt::AlignCenter, u"?"_s);
    } else {
        return {};
    }
    return QIcon(pm);
}

QColor FontColor(const TControl* c, const QPalette& palette)
{
    return QtColor(c->Font().Color, palette);
}

// Text colour and, for controls that paint their own background, the
// background from the control; a disabled control keeps its text colour
// where the control is only for display.
void ApplyColours(const TControl* c, QWidget* w, bool ownBackground, bool keepTextWhenDisabled)
{
    QPalette p = w->palette();
    const QColor text = FontColor(c, p);
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        p.setColor(QPalette::Active, role, text);
        p.setColor(QPalette::Inactive, role, text);
        if (keepTextWhenDisabled)
            p.setColor(QPalette::Disabled, role, text);
    }
    if (ownBackground) {
        const QColor back = QtColor(c->Color(), p);
        for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
            p.setColor(g, QPalette::Window, back);
            p.setColor(g, QPalette::Base, back);
        }
    }
    w->setPalette(p);
    w->setAutoFillBackground(ownBackground);
}

Qt::Alignment LabelAlignment(const TLabel* label)
{
    switch (label->Alignment()) {
    case TLabel::TTextAlign::Right:
        return Qt::AlignRight | Qt::AlignVCenter;
    case TLabel::TTextAlign::Center:
        return Qt::AlignHCenter | Qt::AlignVCenter;
    case TLabel::TTextAlign::Left:
        break;
    }
    return Qt::AlignLeft | Qt::AlignVCenter;
}

// A panel: a raised frame in the panel's colour, with its caption in the
// middle.
class TPanelWidget : public QFrame
{
public:
    using QFrame::QFrame;
    QString caption;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QFrame::paintEvent(event);
        if (caption.isEmpty())
            return;
        QPainter p(this);
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(rect(), Qt::AlignCenter, caption);
    }
};

// The navigator's buttons.
const TNavigateBtn kNavigatorButtons[] = {TNavigateBtn::nbFirst, TNavigateBtn::nbPrior,
                                          TNavigateBtn::nbNext, TNavigateBtn::nbLast,
                                          TNavigateBtn::nbRefresh};

} // namespace

QIcon GlyphIcon(const QString& glyph, const QStyle* style)
{
    const QIcon drawn = Drawn(glyph);
    if (!drawn.isNull() || !style)
        return drawn;
    static const QHash<QString, QStyle::StandardPixmap> standard = {
        {u"refresh"_s, QStyle::SP_BrowserReload},     {u"cancel"_s, QStyle::SP_DialogCancelButton},
        {u"confirm"_s, QStyle::SP_DialogApplyButton}, {u"close"_s, QStyle::SP_DialogCloseButton},
        {u"save"_s, QStyle::SP_DialogSaveButton},     {u"open"_s, QStyle::SP_DialogOpenButton},
    };
    const auto it = standard.constFind(glyph);
    return it == standard.cend() ? QIcon() : style->standardIcon(it.value());
}

// Dragging a splitter resizes what it stands against, in the headless
// layout; the widgets follow from there.
class TSplitterWidget : public QWidget
{
public:
    TSplitterWidget(TSplitter* splitter, TFormView* view, QWidget* parent)
        : QWidget(parent), m_splitter(splitter), m_view(view)
    {
        const bool across =
            splitter->Align() == TAlign::alLeft || splitter->Align() == TAlign::alRight;
        setCursor(across ? Qt::SizeHorCursor : Qt::SizeVerCursor);
    }

protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        m_last = Position(event);
        m_dragging = event->button() == Qt::LeftButton;
    }
    void mouseMoveEvent(QMouseEvent* event) override
    {
        if (!m_dragging || !m_view->Alive(m_splitter))
            return;
        const int now = Position(event);
        const int before = Offset();
        TSplitter* s = m_splitter;
        const int delta = now - m_last;
        UserInput([s, delta] { s->DragBy(delta); });
        // Only what the layout gave counts, so the splitter stays under the
        // mouse when it reaches its limit.
        if (m_view->Alive(m_splitter))
            m_last += Offset() - before;
    }
    void mouseReleaseEvent(QMouseEvent*) override { m_dragging = false; }

private:
    bool Across() const
    {
        return m_splitter->Align() == TAlign::alLeft || m_splitter->Align() == TAlign::alRight;
    }
    int Position(QMouseEvent* event) const
    {
        const QPointF p = event->globalPosition();
        return static_cast<int>(Across() ? p.x() : p.y());
    }
    int Offset() const
    {
        const QRect r = m_splitter->BoundsRect();
        return Across() ? r.left() : r.top();
    }

    TSplitter* m_splitter;
    TFormView* m_view;
    int m_last = 0;
    bool m_dragging = false;
};

namespace {

// The widget of a control that only shows itself: a frame, a line, a text,
// an edit. Null for any other kind.
QWidget* DisplayWidget(TControl* control, QWidget* parent)
{
    if (dynamic_cast<TGroupBox*>(control))
        return new QGroupBox(parent);
    if (dynamic_cast<TPanel*>(control)) {
        auto* panel = new TPanelWidget(parent);
        panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
        return panel;
    }
    if (dynamic_cast<TPageControl*>(control)) {
        auto* frame = new QFrame(parent);
        frame->setFrameStyle(QFrame::StyledPanel | QFrame::Plain);
        return frame;
    }
    if (dynamic_cast<TBevel*>(control)) {
        auto* frame = new QFrame(parent);
        frame->setFrameStyle(control->Height() <= 2 ? (QFrame::HLine | QFrame::Sunken)
                                                    : (QFrame::Box | QFrame::Sunken));
        return frame;
    }
    if (dynamic_cast<TLabel*>(control) || dynamic_cast<TDBText*>(control))
        return new QLabel(parent);
    if (dynamic_cast<TCustomEdit*>(control)) {
        auto* edit = new QLineEdit(parent);
        // Shows the edit's text; typing reaches the edit through the form.
        edit->setReadOnly(true);
        edit->setContextMenuPolicy(Qt::NoContextMenu);
        edit->setAcceptDrops(false);
        edit->setFocusPolicy(Qt::StrongFocus);
        return edit;
    }
    return nullptr;
}

// Only the grid, the edits and the buttons other than the toolbar's take
// the Qt focus.
void ApplyFocusPolicy(QWidget* w)
{
    if (!dynamic_cast<TGridView*>(w) && !dynamic_cast<QLineEdit*>(w) &&
        !dynamic_cast<QAbstractButton*>(w) && !dynamic_cast<QPushButton*>(w))
        w->setFocusPolicy(Qt::NoFocus);
    if (dynamic_cast<QCheckBox*>(w) || dynamic_cast<QRadioButton*>(w) ||
        dynamic_cast<QPushButton*>(w))
        w->setFocusPolicy(Qt::StrongFocus);
}

} // namespace

QWidget* TFormView::CreateWidget(TControl* control, QWidget* parent)
{
    QWidget* w = nullptr;
    if (auto* grid = dynamic_cast<TDBGrid*>(control)) {
        w = new TGridView(grid, parent);
    } else if (auto* splitter = dynamic_cast<TSplitter*>(control)) {
        w = new TSplitterWidget(splitter, this, parent);
    } else if (auto* speed = dynamic_cast<TSpeedButton*>(control)) {
        auto* button = new QToolButton(parent);
        button->setFocusPolicy(Qt::NoFocus);
        button->setIconSize(QSize(16, 16));
        connect(button, &QToolButton::clicked, this, [this, speed] { ClickFromMouse(speed); });
        w = button;
    } else if (auto* push = dynamic_cast<TButton*>(control)) {
        auto* button = new QPushButton(parent);
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, [this, push] { ClickFromMouse(push); });
        w = button;
    } else if (auto* check = dynamic_cast<TCheckBox*>(control)) {
        auto* box = new QCheckBox(parent);
        connect(box, &QCheckBox::clicked, this, [this, check] { ClickFromMouse(check); });
        w = box;
    } else if (auto* radio = dynamic_cast<TRadioButton*>(control)) {
        auto* button = new QRadioButton(parent);
        button->setAutoExclusive(false); // the headless buttons decide
        connect(button, &QRadioButton::clicked, this, [this, radio] { ClickFromMouse(radio); });
        w = button;
    } else if (auto* navigator = dynamic_cast<TDBNavigator*>(control)) {
        w = new QWidget(parent);
        auto* row = new QHBoxLayout(w);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(0);
        const QStyle::StandardPixmap icons[] = {
            QStyle::SP_MediaSkipBackward, QStyle::SP_MediaSeekBackward, QStyle::SP_MediaSeekForward,
            QStyle::SP_MediaSkipForward, QStyle::SP_BrowserReload};
        const char* hints[] = {"Primeiro", "Anterior", "Próximo", "Último", "Atualizar"};
        for (int i = 0; i < 5; ++i) {
            auto* b = new QToolButton(w);
            b->setFocusPolicy(Qt::NoFocus);
            b->setIcon(w->style()->standardIcon(icons[i]));
            b->setToolTip(QString::fromUtf8(hints[i]));
            b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
            const TNavigateBtn which = kNavigatorButtons[i];
            connect(b, &QToolButton::clicked, this, [this, navigator, which] {
                if (Alive(navigator))
                    UserInput([navigator, which] { navigator->BtnClick(which); });
            });
            row->addWidget(b);
        }
    } else {
        w = DisplayWidget(control, parent);
    }
    if (!w) // any other kind: a plain container, or a text
        w = dynamic_cast<TWinControl*>(control) ? new QWidget(parent) : new QLabel(parent);
    w->setObjectName(control->Name());
    ApplyFocusPolicy(w);
    return w;
}

void TFormView::SyncLabel(TControl* control, QLabel* label)
{
    QString text;
    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
    bool ownBackground = false;
    if (auto* l = dynamic_cast<TLabel*>(control)) {
        text = l->Caption();
        alignment = LabelAlignment(l);
        ownBackground = !l->Transparent();
        label->setTextFormat(Qt::PlainText);
    } else if (auto* db = dynamic_cast<TDBText*>(control)) {
        text = db->Text();
    } else {
        text = control->Caption();
    }
    // A label with a control to focus shows its accelerator as Qt shows
    // mnemonics (underlined as the style says); the key itself is the
    // form's (TForm::ShortCutTarget), so the buddy only draws it.
    auto* plain = dynamic_cast<TLabel*>(control);
    QWidget* buddy = plain && plain->FocusControl() ? WidgetOf(plain->FocusControl()) : nullptr;
    if (!buddy)
        text.remove(u'&');
    label->setBuddy(buddy);
    label->setText(text);
    label->setAlignment(alignment);
    // A label is for reading: disabled, it only stops taking clicks.
    ApplyColours(control, label, ownBackground, true);
}

void TFormView::SyncEdit(TCustomEdit* e, QLineEdit* edit)
{
    const QString text = e->DisplayText();
    if (edit->text() != text)
        edit->setText(text);
    // Where the next key goes shows: the whole text selected, or the cursor.
    if (e->AllSelected())
        edit->selectAll();
    else
        edit->setCursorPosition(e->CursorPosition());
    ApplyColours(e, edit, true, false);
    // A date edit shows a valid date in its own colour.
    if (auto* date = dynamic_cast<TDateEditPlus*>(e); date && date->IsDateValid()) {
        QPalette p = edit->palette();
        p.setColor(QPalette::Text, QtColor(date->ValidDateColor(), p));
        edit->setPalette(p);
    }
}

void TFormView::SyncWidget(TControl* control, QWidget* w)
{
    w->setEnabled(control->Enabled());
    QString tip = control->ShowHint() ? control->Hint() : QString();
    // A toolbar button's key is told where the button is.
    if (auto* button = dynamic_cast<TSpeedButton*>(control);
        button && !tip.isEmpty() && !button->ShortCut().IsNull())
        tip += u" (%1)"_s.arg(ShortCutToText(button->ShortCut()));
    // Disabled for a reason the user can act on: the tip says which.
    if (!control->Enabled() && !control->DisabledHint().isEmpty())
        tip = tip.isEmpty() ? control->DisabledHint() : tip + u"\n"_s + control->DisabledHint();
    w->setToolTip(tip);
    if (auto* grid = dynamic_cast<TGridView*>(w)) {
        grid->Sync();
        return;
    }
    w->setFont(QtFont(control->Font()));
    if (auto* box = dynamic_cast<QGroupBox*>(w)) {
        box->setTitle(control->Caption());
        ApplyColours(control, w, false, false);
        // The box's font is its caption's; the controls inside keep theirs.
    } else if (auto* panel = dynamic_cast<TPanelWidget*>(w)) {
        panel->caption = control->Caption();
        ApplyColours(control, w, true, false);
        panel->update();
    } else if (auto* label = dynamic_cast<QLabel*>(w)) {
        SyncLabel(control, label);
    } else if (auto* button = dynamic_cast<QToolButton*>(w)) {
        auto* speed = dynamic_cast<TSpeedButton*>(control);
        button->setAutoRaise(speed && speed->Flat());
        // A dialog's button in the Tab order takes the focus from the
        // keyboard; a toolbar's never does.
        button->setFocusPolicy(speed && speed->TabStop() ? Qt::TabFocus : Qt::NoFocus);
        const QIcon icon = speed ? GlyphIcon(speed->Glyph(), w->style()) : QIcon();
        button->setIcon(icon);
        QString text = control->Caption();
        if (icon.isNull() && text.isEmpty())
            text = control->Hint().left(3);
        button->setText(text.remove(u'&'));
        button->setToolButtonStyle(icon.isNull() ? Qt::ToolButtonTextOnly : Qt::ToolButtonIconOnly);
    } else if (auto* push = dynamic_cast<QPushButton*>(w)) {
        push->setText(control->Caption());
    } else if (auto* check = dynamic_cast<QCheckBox*>(w)) {
        check->setText(control->Caption());
        QSignalBlocker block(check);
        check->setChecked(static_cast<TCheckBox*>(control)->Checked());
        ApplyColours(control, w, false, false);
    } else if (auto* radio = dynamic_cast<QRadioButton*>(w)) {
        radio->setText(control->Caption());
        QSignalBlocker block(radio);
        radio->setChecked(static_cast<TRadioButton*>(control)->Checked());
        ApplyColours(control, w, false, false);
    } else if (auto* edit = dynamic_cast<QLineEdit*>(w)) {
        SyncEdit(static_cast<TCustomEdit*>(control), edit);
    } else if (auto* navigator = dynamic_cast<TDBNavigator*>(control)) {
        const auto buttons = w->findChildren<QToolButton*>(Qt::FindDirectChildrenOnly);
        for (int i = 0; i < buttons.size() && i < 5; ++i)
            buttons[i]->setEnabled(navigator->ButtonEnabled(kNavigatorButtons[i]));
    } else if (dynamic_cast<QFrame*>(w)) {
        ApplyColours(control, w, dynamic_cast<TBevel*>(control) == nullptr, false);
    } else {
        ApplyColours(control, w, dynamic_cast<TWinControl*>(control) != nullptr, false);
    }
}

} // namespace aph
