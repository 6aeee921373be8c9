#include "ui/login/pushdialogstyle.h"

#include "core/systemutils.h"
#include "ui/mainwindow/widgets/draggabledialog.h"

#include <QColor>
#include <QDialog>
#include <QPalette>
#include <QVariant>

QString setUpPushDialog(QDialog& dialog)
{
    makeDraggableDialog(&dialog);
    const QString styleSheet = readFileText(QStringLiteral(":/Qss/MainWidgetQss.qss"));
    dialog.setStyleSheet(styleSheet);
    return styleSheet;
}

void setPaperBackground(QWidget& widget)
{
    widget.setAutoFillBackground(true);
    QPalette palette = widget.palette();
    palette.setBrush(QPalette::Window, QBrush(QColor(QStringLiteral("#f5f5fb"))));
    widget.setPalette(palette);
}
