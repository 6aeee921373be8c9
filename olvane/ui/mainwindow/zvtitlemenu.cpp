#include "ui/mainwindow/zvtitlemenu.h"
#include "ui_zvtitlemenu.h"

#include "core/serverurltable.h"
#include "core/systemutils.h"
#include "core/zavmopointing.h"
#include "logic/loginmanager.h"
#include "logic/zvlogicfw.h"
#include "ui/mainwindow/widgets/x11windowhints.h"

#include <QPainter>
#include <QPolygon>

zvTitleMenu::zvTitleMenu(QWidget* parent) : QWidget(parent), ui(new Ui::zvTitleMenu)
{
    setWindowFlags(Qt::Window | Qt::SubWindow | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_TranslucentBackground);
    ui->setupUi(this);
    setStyleSheet(readFileText(QStringLiteral(":/Qss/MainWidgetQss.qss")));
    // The panel and its arrow; the strip beside the arrow needs translucency.
    maskTranslucentParts(this, QRegion(0, 8, width(), height() - 8) + QRegion(QPolygon({{55, 8}, {60, 0}, {65, 8}})));
}

zvTitleMenu::~zvTitleMenu()
{
    delete ui;
}

void zvTitleMenu::on_button_roomManage_clicked()
{
    pointEvent(PointClickTopnaviMemRset);
    openUrl(QString::fromUtf8(myRoomPageUrl()));
}

void zvTitleMenu::on_button_logout_clicked()
{
    if (LoginManager* login = ZvLogicFW::instance()->getLoginManager())
        login->logout();
}

void zvTitleMenu::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    if (!hasFocus())
        hide();
}

void zvTitleMenu::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    setFocus();
}

void zvTitleMenu::paintEvent(QPaintEvent* event)
{
    Q_UNUSED(event);
    // Every menu has the same size: the outline is worked out once.
    static const QPolygon outline = [this] {
        const int w = width(), h = height();
        return QPolygon({{60, 0}, {55, 8}, {0, 8}, {0, h - 1}, {w - 1, h - 1}, {w - 1, 8}, {65, 8}, {60, 0}});
    }();
    QPainter painter(this);
    const QColor paper(QStringLiteral("#f5f5fb"));
    painter.setPen(paper);
    painter.setBrush(paper);
    painter.drawPolygon(outline, Qt::OddEvenFill);
}
