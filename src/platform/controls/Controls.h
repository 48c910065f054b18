#pragma once
// Input vocabulary shared by the platform's controls: shift states, mouse
// buttons and the virtual-key codes that key handlers receive.

#include "platform/core/Types.h"

#include <QtGlobal>

class QKeyEvent;

enum TShiftStateItem : unsigned {
    ssShift = 1u << 0,
    ssAlt = 1u << 1,
    ssCtrl = 1u << 2,
    ssLeft = 1u << 3,
    ssRight = 1u << 4,
    ssMiddle = 1u << 5,
    ssDouble = 1u << 6,
};
using TShiftState = unsigned;

enum TMouseButton { mbLeft, mbRight, mbMiddle };

// Virtual-key codes.
enum : quint16 {
    VK_BACK = 0x08,
    VK_TAB = 0x09,
    VK_RETURN = 0x0D,
    VK_SHIFT = 0x10,
    VK_CONTROL = 0x11,
    VK_MENU = 0x12,
    VK_ESCAPE = 0x1B,
    VK_SPACE = 0x20,
    VK_PRIOR = 0x21,
    VK_NEXT = 0x22,
    VK_END = 0x23,
    VK_HOME = 0x24,
    VK_LEFT = 0x25,
    VK_UP = 0x26,
    VK_RIGHT = 0x27,
    VK_DOWN = 0x28,
    VK_INSERT = 0x2D,
    VK_DELETE = 0x2E,
    VK_F2 = 0x71,
};

// The shift state of a key event's modifiers.
TShiftState ShiftStateOf(Qt::KeyboardModifiers Modifiers);
// The virtual-key code of a key event: letters and digits as their upper-case
// character, navigation and editing keys as the VK_ codes above, 0 for others.
quint16 VirtualKeyOf(const QKeyEvent *Event);
