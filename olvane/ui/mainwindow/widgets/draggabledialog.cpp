#include "ui/mainwindow/widgets/draggabledialog.h"

#include <QVariant>
#include <QWidget>

void makeDraggableDialog(QWidget* dialog, int titleHeight)
{
    dialog->setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint |
                           Qt::WindowMinimizeButtonHint);
    dialog->setProperty(kCanMoveProperty, true);
    dialog->setProperty(kTitleHeightProperty, titleHeight);
}
