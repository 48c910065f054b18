#include "platform/controls/Controls.h"

#include <QKeyEvent>

TShiftState ShiftStateOf(Qt::KeyboardModifiers Modifiers)
{
    TShiftState S = 0;
    if (Modifiers & Qt::ShiftModifier)
        S |= ssShift;
    if (Modifiers & Qt::AltModifier)
        S |= ssAlt;
    if (Modifiers & Qt::ControlModifier)
        S |= ssCtrl;
    return S;
}

quint16 VirtualKeyOf(const QKeyEvent *Event)
{
    const int K = Event->key();
    switch (K) {
    case Qt::Key_Backspace: return VK_BACK;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return VK_TAB;
    case Qt::Key_Return:
    case Qt::Key_Enter: return VK_RETURN;
    case Qt::Key_Shift: return VK_SHIFT;
    case Qt::Key_Control: return VK_CONTROL;
    case Qt::Key_Alt: return VK_MENU;
    case Qt::Key_Escape: return VK_ESCAPE;
    case Qt::Key_Space: return VK_SPACE;
    case Qt::Key_PageUp: return VK_PRIOR;
    case Qt::Key_PageDown: return VK_NEXT;
    case Qt::Key_End: return VK_END;
    case Qt::Key_Home: return VK_HOME;
    case Qt::Key_Left: return VK_LEFT;
    case Qt::Key_Up: return VK_UP;
    case Qt::Key_Right: return VK_RIGHT;
    case Qt::Key_Down: return VK_DOWN;
    case Qt::Key_Insert: return VK_INSERT;
    case Qt::Key_Delete: return VK_DELETE;
    case Qt::Key_F2: return VK_F2;
    default: break;
    }
    if ((K >= Qt::Key_0 && K <= Qt::Key_9) || (K >= Qt::Key_A && K <= Qt::Key_Z))
        return quint16(K);
    if (K >= Qt::Key_F1 && K <= Qt::Key_F24)
        return quint16(0x70 + (K - Qt::Key_F1));
    return 0;
}
