#pragma once
// Frameless dialogs that the user moves by their title area. The dragging
// itself is done by the application's event filter (AppInit), which reads
// the two dynamic properties below from the window under the pointer.

class QWidget;

// True on a window that may be dragged.
inline constexpr char kCanMoveProperty[] = "CanMove";
// Height in pixels, from the window's top edge, of the area that drags it.
inline constexpr char kTitleHeightProperty[] = "TitleHeight";

// The title height of the small dialogs.
constexpr int kDialogTitleHeight = 36;

// Makes the widget a frameless dialog window dragged by its top titleHeight pixels.
void makeDraggableDialog(QWidget* dialog, int titleHeight = kDialogTitleHeight);
