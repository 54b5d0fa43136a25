#include "host/qt/qtconvert.h"

#include <QApplication>
#include <QFontDatabase>
#include <QKeyEvent>

namespace aph {

QColor QtColor(TColor color, const QPalette& palette)
{
    if (!IsSystemColor(color))
        return QColor((color >> 16) & 0xFF, (color >> 8) & 0xFF, color & 0xFF);
    // The active group, so that a selection looks the same in every window.
    const auto role = [&](QPalette::ColorRole r) {
        return palette.color(QPalette::Active, r);
    };
    switch (color) {
    case clWindow:
    case clDefault:
        return role(QPalette::Base);
    case clWindowText:
        return role(QPalette::Text);
    case clBtnFace:
        return role(QPalette::Window);
    case clBtnText:
        return role(QPalette::ButtonText);
    case clHighlight:
        return role(QPalette::Highlight);
    case clHighlightText:
        return role(QPalette::HighlightedText);
    case clInfoBk:
        return role(QPalette::ToolTipBase);
    case clInfoText:
        return role(QPalette::ToolTipText);
    case clGrayText:
        return palette.color(QPalette::Disabled, QPalette::Text);
    default:
        return role(QPalette::Text);
    }
}

namespace {

QString StandInFamily()
{
    static const QString family = [] {
        for (const char* name : {"DejaVu Sans Condensed", "Liberation Sans", "DejaVu Sans"}) {
            const QString f = QString::fromLatin1(name);
            if (QFontDatabase::hasFamily(f))
                return f;
        }
        return QApplication::font().family();
    }();
    return family;
}

} // namespace

QFont QtFont(const TFont& font)
{
    QFont f(StandInFamily());
    f.setPointSizeF(font.Size > 0 ? font.Size : 8);
    f.setBold(font.Bold);
    f.setItalic(font.Italic);
    return f;
}

TKeyStroke KeyStrokeOf(const QKeyEvent& event)
{
    TKeyStroke stroke;
    const Qt::KeyboardModifiers m = event.modifiers();
    if (m & Qt::ShiftModifier)
        stroke.Shift |= ssShift;
    if (m & Qt::ControlModifier)
        stroke.Shift |= ssCtrl;
    if (m & Qt::AltModifier)
        stroke.Shift |= ssAlt;
    const int k = event.key();
    if ((k >= Qt::Key_A && k <= Qt::Key_Z) || (k >= Qt::Key_0 && k <= Qt::Key_9))
        stroke.Key = k; // the same codes as upper-case letters and digits
    else if (k >= Qt::Key_F1 && k <= Qt::Key_F12)
        stroke.Key = VK_F2 - 1 + (k - Qt::Key_F1);
    else {
        switch (k) {
        case Qt::Key_Backspace:
            stroke.Key = VK_BACK;
            break;
        case Qt::Key_Tab:
            stroke.Key = VK_TAB;
            break;
        case Qt::Key_Backtab:
            stroke.Key = VK_TAB;
            stroke.Shift |= ssShift;
            break;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            stroke.Key = VK_RETURN;
            break;
        case Qt::Key_Escape:
            stroke.Key = VK_ESCAPE;
            break;
        case Qt::Key_Space:
            stroke.Key = VK_SPACE;
            break;
        case Qt::Key_PageUp:
            stroke.Key = VK_PRIOR;
            break;
        case Qt::Key_PageDown:
            stroke.Key = VK_NEXT;
            break;
        case Qt::Key_End:
            stroke.Key = VK_END;
            break;
        case Qt::Key_Home:
            stroke.Key = VK_HOME;
            break;
        case Qt::Key_Left:
            stroke.Key = VK_LEFT;
            break;
        case Qt::Key_Up:
            stroke.Key = VK_UP;
            break;
        case Qt::Key_Right:
            stroke.Key = VK_RIGHT;
            break;
        case Qt::Key_Down:
            stroke.Key = VK_DOWN;
            break;
        case Qt::Key_Insert:
            stroke.Key = VK_INSERT;
            break;
        case Qt::Key_Delete:
            stroke.Key = VK_DELETE;
            break;
        default:
            break;
        }
    }
    const QString text = event.text();
    if (!text.isEmpty())
        stroke.Char = text.at(0);
    else if (stroke.Key == VK_RETURN)
        stroke.Char = QChar(u'\r');
    else if (stroke.Key == VK_ESCAPE)
        stroke.Char = QChar(0x1B);
    return stroke;
}

} // namespace aph
