// Every form of the program, built once: a slot whose on_<object>_<signal>
// name matches nothing in its form is a connection silently lost.
#include "hubworld.h"

#include "ui/install/zvenvironmentalrepair.h"
#include "ui/install/zvinstallwidget.h"
#include "ui/install/zvloadsliderwidget.h"
#include "ui/install/zvobsinstallwidget.h"
#include "ui/install/zvzavmoinstallwidget.h"
#include "ui/login/verifywebdlg.h"
#include "ui/login/webviewdlg.h"
#include "ui/login/zvgetcodetutorialwidget.h"
#include "ui/login/zvgetrtmpfalsewidget.h"
#include "ui/login/zvliveaddressset.h"
#include "ui/login/zvloginwidget.h"
#include "ui/mainwindow/widgets/uilogiclistener.h"
#include "ui/mainwindow/widgets/zvappquittip.h"
#include "ui/mainwindow/widgets/zvcenterpicturewidget.h"
#include "ui/mainwindow/widgets/zvmsgtipwidget.h"
#include "ui/mainwindow/zavmomanager.h"
#include "ui/mainwindow/zvchooserecordpath.h"
#include "ui/mainwindow/zvsystemsettingdlg.h"
#include "ui/mainwindow/zvtitlebar.h"
#include "ui/mainwindow/zvtitlemenu.h"

#include "core/stringconstants.h"

class EveryDialogTest : public HubTest
{
};

TEST_F(EveryDialogTest, EachFormConnectsEverySlotItNames)
{
    UILogicListener listener;
    link->listener = &listener;
    logictest::LogCapture log;
    {
        zavmoManager window;
        zvTitleBar titleBar;
        zvTitleMenu titleMenu;
        zvAppQuitTip quitTip;
        zvMsgTipWidget msgTip(QStringLiteral("tip"), true);
        zvCenterPictureWidget carousel;
        zvChooseRecordPath recordPath;
        zvSystemSettingDlg settings;
        zvInstallWidget install;
        zvZavmoInstallWidget zavmoWizard;
        zvOBSInstallWidget obsWizard;
        zvLoadSliderWidget loadSlider(QStringLiteral("dl"));
        zvEnvironmentalRepair repair(QStringList{QStringLiteral("DirectX")}, 0);
        ZvLoginWidget login;
        zvLiveAddressSet pushAddress(kObsStudioToolName, QStringLiteral("cancel"));
        zvGetCodeTutorialWidget tutorial;
        zvGetRtmpFalseWidget rtmpFailed;
        VerifyWebDlg verify;
        WebViewDlg web;
    }
    const QStringList lost = log.lines().filter(QStringLiteral("connectSlotsByName: No matching signal"));
    EXPECT_TRUE(lost.isEmpty()) << lost.join(QLatin1Char('\n')).toStdString();
}
