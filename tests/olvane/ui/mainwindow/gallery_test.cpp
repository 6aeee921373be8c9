// Offscreen screenshots of the shared dialogs and widgets with their style
// sheets, and a sheet of every image in the bundle, for people to look at.
// Written to $ZAVMO_GALLERY_DIR, by default gallery/ in the build folder.
#include "ui/mainwindow/widgets/cmbitemdelegate.h"
#include "ui/mainwindow/widgets/mainwindowlink.h"
#include "ui/mainwindow/widgets/roundheadbutton.h"
#include "ui/mainwindow/widgets/zvappquittip.h"
#include "ui/mainwindow/widgets/zvcenterpicturewidget.h"
#include "ui/mainwindow/widgets/zvmsgtipwidget.h"
#include "ui/mainwindow/widgets/zvtooltip.h"
#include "ui/mainwindow/zavmomanager.h"
#include "ui/mainwindow/zvtitlebar.h"
#include "ui/mainwindow/zvtitlemenu.h"

#include "core/appconfig.h"
#include "core/deployment.h"
#include "core/stringconstants.h"
#include "core/systemutils.h"
#include "imagelist.h"
#include "qtwait.h"
#include "screenshot.h"
#include "simulator.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QListView>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTest>
#include <gtest/gtest.h>

namespace {

using zavmo::test::galleryDir;
using zavmo::test::settle;

void save(QWidget& w, const QString& name)
{
    zavmo::test::saveScreenshot(w, name);
}

// A panel with the main window's style sheet, as the widgets sit in it.
struct StyledHost : QWidget
{
    StyledHost(QSize size)
    {
        resize(size);
        setStyleSheet(readFileText(":/Qss/MainWidgetQss.qss"));
        setAutoFillBackground(true);
        QPalette pal = palette();
        pal.setColor(QPalette::Window, QColor("#f5f5fb"));
        setPalette(pal);
    }
};

TEST(Gallery, MessageTips)
{
    zvMsgTipWidget notice(kInitFailedText, false);
    notice.show();
    save(notice, "msgtip_notice.png");
    zvMsgTipWidget question(kObsClosedPromptText, true);
    question.setButtonText("关闭直播", "忽略");
    question.show();
    save(question, "msgtip_question.png");
}

TEST(Gallery, QuitPrompt)
{
    AppConfig config;
    ScopedMainWindowLink link;
    link->config = &config;
    zvAppQuitTip tip;
    link->config = nullptr;
    tip.show();
    save(tip, "quit_prompt.png");
}

TEST(Gallery, TitleBarAndMenu)
{
    StyledHost host(QSize(942, 160));
    auto* bar = new zvTitleBar(&host);
    bar->setGeometry(11, 11, 920, 120);
    host.show();
    save(host, "titlebar.png");
    bar->findChild<QPushButton*>("button_toolbox")->click();
    bar->findChild<QPushButton*>("Button_login")->setText("主播阿梦");
    bar->findChild<QWidget*>("Button_user_header")->show();
    bar->setHeadImage(":/Resources/icon_login_user.png");
    save(host, "titlebar_loggedin.png");

    zvTitleMenu menu;
    menu.show();
    save(menu, "titlemenu.png");
}

TEST(Gallery, Toast)
{
    StyledHost owner(QSize(420, 120));
    owner.show();
    ZvToolTip tip(&owner);
    tip.setTipColors(Qt::white, Qt::black);
    tip.showMessage(kRoomClosedText);
    save(tip, "toast.png");
    // A server message longer than the toast keeps its start and its end.
    tip.setText(QStringLiteral("错误码：1002，账号或密码错误，连续输错五次后账号将被锁定三十分钟，请稍后再试"));
    save(tip, "toast_long.png");
}

TEST(Gallery, Carousels)
{
    const QString tools[4] = {kZvToolName, kZvShowToolName, kObsClassicToolName, kObsStudioToolName};
    for (int i = 0; i < 4; ++i) {
        StyledHost host(QSize(440, 304));
        auto* carousel = new zvCenterPictureWidget(&host);
        carousel->move(20, 20);
        carousel->setLiveTool(tools[i]);
        host.show();
        QTest::mouseMove(host.windowHandle(), QPoint(5, 5));
        QTest::mouseMove(host.windowHandle(), QPoint(220, 150)); // shows the arrows
        if (i == 0)
            QTest::mouseClick(carousel->findChild<QPushButton*>("button_right"), Qt::LeftButton);
        save(host, QStringLiteral("carousel_%1.png").arg(i));
    }
}

TEST(Gallery, HeadButtonsAndComboList)
{
    StyledHost host(QSize(360, 200));
    auto* dark = new QWidget(&host);
    dark->setGeometry(0, 0, 360, 60);
    dark->setStyleSheet("background: #2d2d3f;");
    auto* small = new RoundHeadButton(&host);
    small->setGeometry(20, 20, 20, 20);
    small->setHeadImage(":/Resources/icon_login_user.png");
    auto* large = new RoundHeadButton(&host);
    large->setGeometry(60, 5, 50, 50);
    large->setHeadImage(":/Resources/zavmo_show_1.png"); // a wide picture, stretched

    auto* model = new QStandardItemModel(&host);
    for (const char* row : {"中国 +86", "香港 +852", "澳门 +853", "台湾 +886"})
        model->appendRow(new QStandardItem(QString::fromUtf8(row)));
    auto* list = new QListView(&host);
    list->setGeometry(130, 70, 200, 120);
    list->setModel(model);
    list->setItemDelegate(new CmbItemDelegate(list));
    list->setCurrentIndex(model->index(1, 0));
    host.show();
    list->setFocus();
    save(host, "headbutton_and_combo.png");
}

// The whole main window after start-up (against the simulator, nothing
// installed): the live page's two cards and the toolbox.
TEST(Gallery, MainWindow)
{
    zavmo::test::Simulator sim;
    sim.setEnvironment();
    ASSERT_TRUE(deployment::installTrustedCertificates());
    zavmoManager window;
    ASSERT_TRUE(window.initialize());
    window.show();
    settle(50); // the queued tool switch of the start
    save(window, "mainwindow_live.png");
    window.findChild<QPushButton*>("button_OBSLive")->click();
    settle(50);
    save(window, "mainwindow_obs.png");
    // The OBS card while an install downloads, as the card shows progress.
    window.findChild<QPushButton*>("button_install_OBS")->hide();
    auto* bar = window.findChild<QProgressBar*>("progressBar_OBS");
    bar->setValue(42);
    bar->show();
    auto* progress = window.findChild<QLabel*>("label_progressValue_2");
    progress->setText(QStringLiteral("正在下载：42%"));
    progress->show();
    window.findChild<QPushButton*>("button_cancelDownload_2")->show();
    save(window, "mainwindow_obs_progress.png");
    bar->hide();
    progress->hide();
    window.findChild<QWidget*>("TitleBar")->findChild<QPushButton*>("button_toolbox")->click();
    save(window, "mainwindow_toolbox.png");
}

TEST(Gallery, EveryImage)
{
    const auto& images = zavmo::imagegen::allImages();
    const int cellWidth = 180, cellHeight = 150, columns = 8;
    const int rows = (static_cast<int>(images.size()) + columns - 1) / columns;
    QImage sheet(columns * cellWidth, rows * cellHeight, QImage::Format_ARGB32_Premultiplied);
    sheet.fill(QColor("#c8c8d0"));
    QPainter p(&sheet);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    QFont font("WenQuanYi Micro Hei");
    font.setPixelSize(10);
    p.setFont(font);
    for (int i = 0; i < static_cast<int>(images.size()); ++i) {
        const QString name = QString::fromUtf8(images[i].name);
        const QRect cell((i % columns) * cellWidth, (i / columns) * cellHeight, cellWidth, cellHeight);
        const QImage image(":/Resources/" + name);
        ASSERT_FALSE(image.isNull()) << name.toStdString();
        const QSize fitted = image.size().boundedTo(QSize(cellWidth - 10, cellHeight - 26));
        const QImage shown = image.scaled(fitted, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        p.drawImage(cell.left() + (cellWidth - shown.width()) / 2, cell.top() + 4, shown);
        p.setPen(Qt::black);
        p.drawText(cell.adjusted(2, 0, -2, -4), Qt::AlignHCenter | Qt::AlignBottom,
                   QStringLiteral("%1 %2x%3").arg(name).arg(image.width()).arg(image.height()));
    }
    p.end();
    EXPECT_TRUE(sheet.save(QDir(galleryDir()).filePath("images.png")));
}

} // namespace
