// The login dialog's form, modes, empty-field checks, toasts, links, dialing
// codes and dragging. Offscreen screenshots of its pages go to the gallery.
#include "logintest.h"
#include "screenshot.h"

#include "core/serverurltable.h"
#include "ui/login/areacodetable.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QElapsedTimer>
#include <QStackedWidget>

using namespace logintest;
using zavmo::test::mouseMoveAt;
using zavmo::test::mousePress;
using zavmo::test::mousePressAt;
using zavmo::test::mouseReleaseAt;
using zavmo::test::saveScreenshot;

namespace {

QColor textColour(QWidget* widget)
{
    widget->ensurePolished();
    return widget->palette().color(QPalette::ButtonText);
}

QRect cursorRect(const QLineEdit& edit)
{
    return edit.inputMethodQuery(Qt::ImCursorRectangle).toRect();
}

class LoginFormTest : public LoginDialogTest
{
protected:
    void SetUp() override
    {
        LoginDialogTest::SetUp();
        dialog = std::make_unique<ZvLoginWidget>();
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    }

    std::unique_ptr<ZvLoginWidget> dialog;
};

} // namespace

TEST_F(LoginFormTest, OpensOnTheQRPageWithThePhoneTabAndPlus86)
{
    EXPECT_EQ(dialog->objectName(), "ZvLoginWidget");
    EXPECT_EQ(dialog->size(), QSize(360, 445));
    EXPECT_TRUE(dialog->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(dialog->loginMode(), ZvLoginWidget::QRCode);
    EXPECT_TRUE(child(*dialog, "page")->isVisible());
    EXPECT_FALSE(child(*dialog, "page_2")->isVisible());
    EXPECT_EQ(child<QStackedWidget>(*dialog, "stackedWidget")->currentIndex(), 0);
    EXPECT_EQ(child<QLabel>(*dialog, "label_loginbyQR_code")->text(), QStringLiteral("手机扫码，安全登录"));
    EXPECT_FALSE(child<QLabel>(*dialog, "label_4")->pixmap(Qt::ReturnByValue).isNull());
    const ZvToolTip* toast = dialog->findChild<ZvToolTip*>();
    EXPECT_EQ(toast->size(), QSize(300, 40));
    EXPECT_FALSE(toast->isVisible());

    child<QPushButton>(*dialog, "button_loginbypsw")->click();
    EXPECT_EQ(dialog->loginMode(), ZvLoginWidget::Phone);
    EXPECT_TRUE(child(*dialog, "page_3")->isVisible());
    EXPECT_FALSE(child(*dialog, "page_4")->isVisible());
    EXPECT_EQ(textColour(child(*dialog, "button_phonelogin")), QColor("#ff5500"));
    EXPECT_EQ(textColour(child(*dialog, "button_nickname")), QColor("#89898a"));

    auto* combo = child<QComboBox>(*dialog, "combo_Area_code");
    EXPECT_EQ(combo->currentText(), "+86");
    EXPECT_EQ(combo->count(), kAreaCodeCount);
    EXPECT_EQ(combo->itemData(1, Qt::UserRole).toString(), "+853");
    EXPECT_EQ(combo->maxVisibleItems(), 6);
    EXPECT_EQ(combo->view()->width(), 300);
    EXPECT_EQ(child<QLineEdit>(*dialog, "ledit_password")->echoMode(), QLineEdit::Password);
    EXPECT_EQ(child<QLineEdit>(*dialog, "ledit_phonenumber")->placeholderText(), QStringLiteral("请输入电话号码"));
    saveScreenshot(*dialog, "login_phone.png");

    child<QPushButton>(*dialog, "button_nickname")->click();
    EXPECT_EQ(textColour(child(*dialog, "button_phonelogin")), QColor("#89898a"));
    EXPECT_EQ(textColour(child(*dialog, "button_nickname")), QColor("#ff5500"));
    saveScreenshot(*dialog, "login_nickname.png");
}

TEST_F(LoginFormTest, ModesFollowThePagesAndTabs)
{
    child<QPushButton>(*dialog, "button_loginbypsw")->click();
    child<QPushButton>(*dialog, "button_nickname")->click();
    EXPECT_EQ(dialog->loginMode(), ZvLoginWidget::NickName);
    child<QPushButton>(*dialog, "button_loginbyQRcode")->click();
    EXPECT_EQ(dialog->loginMode(), ZvLoginWidget::QRCode);
    EXPECT_TRUE(child(*dialog, "page")->isVisible());

    // Back to the account page: the nickname tab is still the visible one.
    mousePress(child(*dialog, "label_loginbypsd"), QPoint(3, 3));
    EXPECT_EQ(dialog->loginMode(), ZvLoginWidget::NickName);
    child<QPushButton>(*dialog, "button_phonelogin")->click();
    EXPECT_EQ(dialog->loginMode(), ZvLoginWidget::Phone);
}

TEST_F(LoginFormTest, EmptyFieldsAreToastedAndBlanksCountAsFilled)
{
    child<QPushButton>(*dialog, "button_loginbypsw")->click();
    auto* login = child<QPushButton>(*dialog, "button_login");

    // Phone mode: a user name does not help.
    typeInto(*dialog, "ledit_username", "someone");
    typeInto(*dialog, "ledit_password", "pw");
    login->click();
    EXPECT_EQ(toastText(*dialog), QStringLiteral("电话号码或密码为空!"));

    dialog->findChild<ZvToolTip*>()->hide();
    child<QPushButton>(*dialog, "button_nickname")->click();
    typeInto(*dialog, "ledit_username", "");
    typeInto(*dialog, "ledit_phonenumber", "13800138000");
    login->click();
    EXPECT_EQ(toastText(*dialog), QStringLiteral("用户名或密码为空!"));

    dialog->findChild<ZvToolTip*>()->hide();
    typeInto(*dialog, "ledit_username", "  ");
    login->click();
    EXPECT_EQ(toastText(*dialog), QString());
    ASSERT_TRUE(waitUntil([&] { return !toastText(*dialog).isEmpty(); }));
    EXPECT_EQ(toastText(*dialog), QStringLiteral("错误码：1005，unknown user or wrong password"));
    EXPECT_EQ(requests("loginCheck2").at(0)["form"]["nickname"].asString(), "  ");
}

TEST_F(LoginFormTest, FailuresShowTheirCodeExceptMinusOne)
{
    auto* login = child<QPushButton>(*dialog, "button_login");
    dialog->OnBeginLogin();
    EXPECT_FALSE(login->isEnabled());
    dialog->OnLoginFinished(1003, QStringLiteral("请检查设备时间，或稍后重新登录"));
    EXPECT_TRUE(login->isEnabled());
    EXPECT_EQ(toastText(*dialog), QStringLiteral("错误码：1003，请检查设备时间，或稍后重新登录"));

    // While the toast shows, a new message only replaces its text.
    dialog->OnLoginFinished(-1, QStringLiteral("返回数据格式错误"));
    EXPECT_EQ(toastText(*dialog), QStringLiteral("返回数据格式错误"));
    dialog->sltGetQRCodeFailed(0, QString());
    EXPECT_EQ(toastText(*dialog), QStringLiteral("错误码：0，"));
    saveScreenshot(*dialog->findChild<ZvToolTip*>(), "login_toast.png");
}

TEST_F(LoginFormTest, ToastIsCentredOverTheDialog)
{
    dialog->move(200, 150);
    dialog->OnInitDelayed();
    const ZvToolTip* toast = dialog->findChild<ZvToolTip*>();
    EXPECT_EQ(toast->pos(), QPoint(200 + (360 - toast->width()) / 2, 150 + (445 - toast->height()) / 2));
}

TEST_F(LoginFormTest, DialingCodeRowsPutOnlyTheirCodeInTheBox)
{
    child<QPushButton>(*dialog, "button_loginbypsw")->click();
    auto* combo = child<QComboBox>(*dialog, "combo_Area_code");
    combo->setCurrentIndex(1);
    emit combo->activated(1);
    EXPECT_EQ(combo->currentText(), "+853");

    // A typed code and Enter: no row is added, the text stays.
    combo->lineEdit()->clear();
    QTest::keyClicks(combo->lineEdit(), "0086");
    QTest::keyClick(combo->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(combo->count(), kAreaCodeCount);
    EXPECT_EQ(combo->currentText(), "0086");
    for (int i = 0; i < combo->count(); ++i)
        ASSERT_FALSE(combo->itemData(i, Qt::UserRole).toString().isEmpty()) << i;

    // No row: the box keeps its text.
    dialog->onAeroCodeComboClicked(-1);
    EXPECT_EQ(combo->currentText(), "0086");

    combo->showPopup();
    settle(50);
    EXPECT_EQ(combo->view()->width(), 300);
    saveScreenshot(*combo->view()->window(), "login_area_codes.png");
    combo->hidePopup();
}

TEST_F(LoginFormTest, EyeButtonShowsThePasswordAndTextAvoidsTheIcons)
{
    child<QPushButton>(*dialog, "button_loginbypsw")->click();
    auto* password = child<QLineEdit>(*dialog, "ledit_password");
    QPushButton* eye = nullptr;
    for (QPushButton* b : password->findChildren<QPushButton*>())
        eye = b;
    ASSERT_NE(eye, nullptr);
    EXPECT_EQ(eye->size(), QSize(16, 17));
    QTest::mouseClick(eye, Qt::LeftButton);
    EXPECT_EQ(password->echoMode(), QLineEdit::Normal);
    QTest::mouseClick(eye, Qt::LeftButton);
    EXPECT_EQ(password->echoMode(), QLineEdit::Password);

    // Long text ends left of the eye and starts right of the lock.
    password->setText(QString(60, 'W'));
    password->setCursorPosition(0);
    const QLabel* lock = password->findChild<QLabel*>();
    EXPECT_GT(cursorRect(*password).left(), lock->geometry().right());
    password->end(false);
    // The line edit scrolls to its cursor when it paints.
    password->repaint();
    EXPECT_LT(cursorRect(*password).center().x(), eye->geometry().left());

    child<QPushButton>(*dialog, "button_nickname")->click();
    auto* user = child<QLineEdit>(*dialog, "ledit_username");
    user->setText(QStringLiteral("主播"));
    user->setCursorPosition(0);
    EXPECT_GT(cursorRect(*user).left(), user->findChild<QLabel*>()->geometry().right());
}

TEST_F(LoginFormTest, LinkLabelsOpenTheirPagesOnAnyButton)
{
    ShellRecord shell;
    mousePress(child(*dialog, "label_zavmoAPP"), QPoint(3, 3), Qt::RightButton);
    mousePress(child(*dialog, "label_register"), QPoint(3, 3));
    child<QPushButton>(*dialog, "button_loginbypsw")->click();
    mousePress(child(*dialog, "label_5register"), QPoint(3, 3));
    mousePress(child(*dialog, "label_forgetPsd"), QPoint(3, 3));
    const QString record = shell.lines();
    EXPECT_TRUE(record.contains(QStringLiteral("open ") + clientDownloadPageUrl())) << record.toStdString();
    EXPECT_EQ(record.count(QStringLiteral("open ") + registerUrl() + QLatin1Char('\n')), 2) << record.toStdString();
    EXPECT_TRUE(record.contains(QStringLiteral("open ") + findPasswordUrl())) << record.toStdString();
}

TEST_F(LoginFormTest, TitleDragsWithTheLeftButtonOnly)
{
    dialog->move(100, 100);
    const QPoint title = dialog->mapToGlobal(QPoint(150, 15));
    mousePressAt(dialog.get(), title);
    mouseMoveAt(dialog.get(), title + QPoint(40, 30), Qt::LeftButton);
    EXPECT_EQ(dialog->pos(), QPoint(140, 130));
    mouseReleaseAt(dialog.get(), title + QPoint(40, 30));

    const QPoint again = dialog->mapToGlobal(QPoint(150, 15));
    mousePressAt(dialog.get(), again, Qt::RightButton);
    mouseMoveAt(dialog.get(), again + QPoint(40, 30), Qt::RightButton);
    EXPECT_EQ(dialog->pos(), QPoint(140, 130));

    // A drag released below the title is over: a press on the page does not
    // move the window.
    mousePressAt(dialog.get(), again);
    mouseMoveAt(dialog.get(), again + QPoint(0, 100), Qt::LeftButton);
    EXPECT_EQ(dialog->pos(), QPoint(140, 230));
    mouseReleaseAt(dialog.get(), dialog->mapToGlobal(QPoint(150, 115)));
    const QPoint page = dialog->mapToGlobal(QPoint(20, 300));
    mousePressAt(dialog.get(), page);
    mouseMoveAt(dialog.get(), page + QPoint(50, 50), Qt::LeftButton);
    EXPECT_EQ(dialog->pos(), QPoint(140, 230));

    // So is one whose release went elsewhere, once a move comes without the
    // left button.
    mousePressAt(dialog.get(), dialog->mapToGlobal(QPoint(150, 15)));
    mouseMoveAt(dialog.get(), page, Qt::NoButton);
    mousePressAt(dialog.get(), page);
    mouseMoveAt(dialog.get(), page + QPoint(50, 50), Qt::LeftButton);
    EXPECT_EQ(dialog->pos(), QPoint(140, 230));
}

TEST_F(LoginFormTest, CloseButtonRejects)
{
    QTimer::singleShot(0, dialog.get(), [this] { child<QPushButton>(*dialog, "button_close")->click(); });
    EXPECT_EQ(dialog->exec(), QDialog::Rejected);
}

TEST_F(LoginFormTest, QRPageScreenshot)
{
    saveScreenshot(*dialog, "login_qr.png");
}

// Opened before the time synchronisation has succeeded: the first code is
// asked for a second later, and only if the QR page is still shown.
TEST_F(LoginDialogTest, FirstCodeWaitsForTheServerTime)
{
    // A login answered 1003 leaves the time unsynchronised until the held
    // time request is let go.
    sim->setMode("timeStamp", "stall");
    sim->setMode("loginCheck2", "error:1003");
    manager()->loginByNickName(QString::fromUtf8(account::kNickName), QString::fromUtf8(account::kPassword), true);
    ASSERT_TRUE(waitUntil([] { return !manager()->isServerTimespaceValid(); }));

    {
        // Left for the password page at once: no code, no polling.
        ZvLoginWidget dialog;
        dialog.show();
        child<QPushButton>(dialog, "button_loginbypsw")->click();
        settle(1300);
        EXPECT_TRUE(requests("scanCode").empty());
        EXPECT_TRUE(requests("scanAuth").empty());
    }

    QElapsedTimer opened;
    opened.start();
    ZvLoginWidget dialog;
    dialog.show();
    sim->reset();
    ASSERT_TRUE(waitUntil([] { return manager()->isServerTimespaceValid(); }));
    ASSERT_TRUE(waitUntil([] { return !requests("scanCode").empty(); }, 3000));
    // A coarse timer may fire up to 5% early.
    EXPECT_GE(opened.elapsed(), 950);
    ASSERT_TRUE(waitUntil([] { return !requests("scanAuth").empty(); }, 2000));
    EXPECT_EQ(requests("scanCode").size(), 1u);
}
