// The push-address dialog: what it shows of OBS's current push settings,
// what it writes into OBS classic's profile and OBS Studio's service.json,
// each of its results, and a running OBS (a fake tool program) that the user
// keeps, that is ended, or that cannot be ended.

#include "pushtest.h"

#include "core/pathlayout.h"
#include "core/stringconstants.h"
#include "logic/zvlivetoolsmanager.h"
#include "logic/zvlogicfw.h"
#include "ui/login/zvliveaddressset.h"
#include "ui/mainwindow/widgets/zvmsgtipwidget.h"

#include "platform/process.h"

#include "faketools.h"
#include "logictest.h"
#include "modalresponder.h"
#include "mouse.h"
#include "olvaneworld.h"
#include "screenshot.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <functional>
#include <memory>

using logictest::bytesOf;
using logictest::put;
using logictest::waitFor;
using zavmo::test::FakeTools;
using zavmo::test::ModalResponder;

namespace {

const char kAddress[] = "rtmp://push.zavmo.example/live";
const char kKey[] = "room42?auth=abc";

QString roaming(const QString& relative)
{
    return getRoamingAppDataRoot() + relative;
}

QString classicProfile()
{
    return roaming("OBS/profiles/Live.ini");
}

QString studioService()
{
    return roaming("obs-studio/basic/profiles/未命名/service.json");
}

QJsonObject studioSettings()
{
    return QJsonDocument::fromJson(bytesOf(studioService())).object();
}

// Runs a callback when a message prompt is shown, before anyone answers it.
class OnPrompt : public QObject
{
public:
    explicit OnPrompt(std::function<void(zvMsgTipWidget*)> act) : m_act(std::move(act))
    {
        qApp->installEventFilter(this);
    }
    ~OnPrompt() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show)
            if (auto* prompt = qobject_cast<zvMsgTipWidget*>(watched))
                m_act(prompt);
        return false;
    }

private:
    std::function<void(zvMsgTipWidget*)> m_act;
};

class PushAddressTest : public OlvaneWorld
{
protected:
    static void SetUpTestSuite()
    {
        setProcessFolder("");
        ASSERT_NO_FATAL_FAILURE(startHub());
    }
    void SetUp() override
    {
        OlvaneWorld::SetUp();
        QDir(roaming("OBS")).removeRecursively();
        QDir(roaming("obs-studio")).removeRecursively();
        // OBS classic's current profile is "Live".
        put(roaming("OBS/global.ini"), "[General]\r\nProfile=Live\r\n");
    }
    void TearDown() override { fake.killAll(); }

    static ZvLiveToolsManager* tools() { return ZvLogicFW::instance()->getLiveToolsManager(); }

    // Starts a copy of the fake tool under that name; it runs until killed.
    void startTool(const QString& exeName, const QString& toolName)
    {
        const std::string dir = (qEnvironmentVariable("ZAVMO_TEST_ROOT") + "/tools").toStdString();
        const std::string program = FakeTools::place(dir, exeName.toStdString());
        ASSERT_TRUE(platform::process::startDetached(program, {}, ""));
        ASSERT_EQ(fake.waitForStarts(exeName.toStdString(), 1, 5000).size(), 1u);
        ASSERT_TRUE(waitFor([&] { return tools()->getAppStatus(toolName) == 2; }));
    }

    // Types into both fields of a dialog.
    static void type(zvLiveAddressSet& d, const QString& address, const QString& key)
    {
        child<QLineEdit>(d, "ledit_RTMP")->setText(address);
        child<QLineEdit>(d, "ledit_liveCode")->setText(key);
    }

    // Shown rather than run: the responder answers only the prompts that the
    // confirm button opens, never the dialog still open beneath them.
    static void confirm(zvLiveAddressSet& d)
    {
        d.show();
        child<QPushButton>(d, "button_confirm")->click();
    }

    static void expectAnsweredAsQueued(const ModalResponder& responder)
    {
        EXPECT_EQ(responder.pending(), 0);
        for (const auto& record : responder.records())
            EXPECT_TRUE(record.expected()) << record.className.toStdString() << " " << record.action.toStdString();
    }

    FakeTools fake;
};

// First, so that no earlier test's event can arrive in between.
TEST_F(PushAddressTest, GetAndConfirmSendTheirEvents)
{
    zvLiveAddressSet d(kObsStudioToolName, "跳过");
    ModalResponder responder;
    responder.clickButton("button_get");
    d.exec();
    EXPECT_EQ(d.getResult(), 2);
    // The events go out from the event loop.
    waitFor([] { return sim->requests("pelk2").size() >= 1; });
    auto events = sim->requests("pelk2");
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0]["decoded"]["ac"], "click_stream_get");

    type(d, kAddress, kKey);
    responder.clickButton("button_confirm");
    d.exec();
    EXPECT_EQ(d.getResult(), 0);
    waitFor([] { return sim->requests("pelk2").size() >= 2; });
    events = sim->requests("pelk2");
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1]["decoded"]["ac"], "click_stream_fillin");
    expectAnsweredAsQueued(responder);
}

TEST_F(PushAddressTest, FormShowsTheCurrentPushSettings)
{
    put(classicProfile(),
        QByteArray("\xEF\xBB\xBF[Publish]\r\nMode=0\r\nURL=") + kAddress + "\r\nPlayPath=" + kKey + "\r\n");
    zvLiveAddressSet d(kObsClassicToolName, "取消");
    pushtest::expectDialogFrame(d, QSize(410, 312), "zvLiveAddressSet", "直播地址设置");
    EXPECT_EQ(d.getResult(), 1);
    EXPECT_EQ(child<QPushButton>(d, "button_cancel")->text(), "取消");
    auto* platform = child<QComboBox>(d, "com_livePlat");
    EXPECT_EQ(platform->count(), 1);
    EXPECT_EQ(platform->currentText(), kZavmoLiveText);

    // A stored address opens with the confirm button enabled.
    EXPECT_EQ(child<QLineEdit>(d, "ledit_RTMP")->text(), kAddress);
    EXPECT_EQ(child<QLineEdit>(d, "ledit_liveCode")->text(), kKey);
    EXPECT_EQ(child<QLineEdit>(d, "ledit_RTMP")->cursorPosition(), 1);
    EXPECT_TRUE(child<QPushButton>(d, "button_confirm")->isEnabled());
    d.show();
    zavmo::test::saveScreenshot(d, "zvLiveAddressSet.png");

    // OBS Studio without service settings, and any other tool: empty.
    for (const QString& tool : {kObsStudioToolName, kZvToolName}) {
        zvLiveAddressSet other(tool, "跳过");
        EXPECT_TRUE(child<QLineEdit>(other, "ledit_RTMP")->text().isEmpty());
        EXPECT_TRUE(child<QLineEdit>(other, "ledit_liveCode")->text().isEmpty());
        EXPECT_FALSE(child<QPushButton>(other, "button_confirm")->isEnabled());
        EXPECT_EQ(child<QPushButton>(other, "button_cancel")->text(), "跳过");
        if (tool == kObsStudioToolName) {
            other.show();
            zavmo::test::saveScreenshot(other, "zvLiveAddressSet_empty.png");
        }
    }
}

TEST_F(PushAddressTest, ConfirmFollowsTheSimplifiedAddressButWritesItAsTyped)
{
    zvLiveAddressSet d(kObsClassicToolName, "跳过");
    auto* confirm = child<QPushButton>(d, "button_confirm");
    type(d, " \t  ", kKey);
    EXPECT_FALSE(confirm->isEnabled());
    type(d, QStringLiteral("  %1 ").arg(kAddress), "");
    EXPECT_TRUE(confirm->isEnabled());

    ModalResponder responder;
    responder.clickButton("button_confirm");
    d.exec();
    EXPECT_EQ(d.getResult(), 0);
    // The key stays empty, the address keeps its blanks; other lines stay.
    EXPECT_EQ(bytesOf(classicProfile()),
              QByteArray("\xEF\xBB\xBF[Publish]\r\nMode=0\r\nURL=  ") + kAddress + " \r\nPlayPath=\r\n");
    expectAnsweredAsQueued(responder);
}

TEST_F(PushAddressTest, ConfirmWritesOBSStudioServiceSettings)
{
    put(studioService(), R"({"settings":{"bwtest":false,"server":"old"},"type":"rtmp_common"})");
    zvLiveAddressSet d(kObsStudioToolName, "跳过");
    EXPECT_EQ(child<QLineEdit>(d, "ledit_RTMP")->text(), "old");
    type(d, kAddress, kKey);
    ModalResponder responder;
    responder.clickButton("button_confirm");
    d.exec();
    EXPECT_EQ(d.getResult(), 0);
    const QJsonObject root = studioSettings();
    EXPECT_EQ(root["type"].toString(), "rtmp_custom");
    const QJsonObject settings = root["settings"].toObject();
    EXPECT_EQ(settings["server"].toString(), kAddress);
    EXPECT_EQ(settings["key"].toString(), kKey);
    EXPECT_EQ(settings["bwtest"], QJsonValue(false));
    expectAnsweredAsQueued(responder);
}

// Close, skip and Escape write nothing; each run starts from "closed", so an
// Escape after "get" is not taken for another "get".
TEST_F(PushAddressTest, OtherWaysOutWriteNothing)
{
    zvLiveAddressSet d(kObsStudioToolName, "跳过");
    type(d, kAddress, kKey);
    ModalResponder responder;
    responder.clickButton("button_close");
    d.exec();
    EXPECT_EQ(d.getResult(), 1);
    responder.clickButton("button_cancel");
    d.exec();
    EXPECT_EQ(d.getResult(), 3);
    responder.clickButton("button_get");
    d.exec();
    EXPECT_EQ(d.getResult(), 2);
    responder.pressKey(Qt::Key_Escape);
    d.exec();
    EXPECT_EQ(d.getResult(), 1);
    EXPECT_FALSE(QFileInfo::exists(studioService()));
    EXPECT_EQ(child<QLineEdit>(d, "ledit_RTMP")->text(), kAddress);
    expectAnsweredAsQueued(responder);
}

// Return in either field confirms what was typed, never "获取"; with a blank
// address it presses nothing.
TEST_F(PushAddressTest, ReturnInAFieldConfirms)
{
    for (const char* field : {"ledit_RTMP", "ledit_liveCode"}) {
        zvLiveAddressSet d(kObsStudioToolName, "跳过");
        d.show();
        auto* edit = child<QLineEdit>(d, field);
        edit->setFocus();
        QTest::keyClick(edit, Qt::Key_Return);
        EXPECT_TRUE(d.isVisible()) << field;
        EXPECT_EQ(d.getResult(), 1) << field;
        type(d, kAddress, kKey);
        QTest::keyClick(edit, Qt::Key_Return);
        EXPECT_FALSE(d.isVisible()) << field;
        EXPECT_EQ(d.getResult(), 0) << field;
        EXPECT_EQ(studioSettings()["settings"].toObject()["server"].toString(), kAddress) << field;
        QFile::remove(studioService());
    }
}

TEST_F(PushAddressTest, RunningOBSKeptByTheUserIsNotWritten)
{
    ASSERT_NO_FATAL_FAILURE(startTool("OBS.exe", kObsClassicToolName));
    zvLiveAddressSet d(kObsClassicToolName, "跳过");
    type(d, kAddress, kKey);
    OnPrompt look([](zvMsgTipWidget* prompt) { zavmo::test::saveScreenshot(*prompt, "zvLiveAddressSet_restart.png"); });
    ModalResponder responder;
    responder.clickButton("button_cancel");
    confirm(d);
    EXPECT_EQ(d.getResult(), 4);
    EXPECT_FALSE(d.isVisible());
    EXPECT_FALSE(QFileInfo::exists(classicProfile()));
    EXPECT_EQ(tools()->getAppStatus(kObsClassicToolName), 2);

    ASSERT_EQ(responder.records().size(), 1);
    const auto& prompt = responder.records().at(0);
    EXPECT_EQ(prompt.className, "zvMsgTipWidget");
    EXPECT_TRUE(prompt.texts.contains(kObsRestartPromptText));
    EXPECT_TRUE(prompt.texts.contains("重启OBS"));
    EXPECT_TRUE(prompt.texts.contains("取消"));
    expectAnsweredAsQueued(responder);
}

// Ended, then written; the dialog does not start it again.
TEST_F(PushAddressTest, RunningOBSStudioIsEndedThenWritten)
{
    ASSERT_NO_FATAL_FAILURE(startTool("obs64.exe", kObsStudioToolName));
    zvLiveAddressSet d(kObsStudioToolName, "取消");
    type(d, kAddress, kKey);
    ModalResponder responder;
    responder.clickButton("button_confirm");
    confirm(d);
    EXPECT_EQ(d.getResult(), 0);
    EXPECT_FALSE(d.isVisible());
    EXPECT_TRUE(fake.waitUntilGone("obs64.exe", 5000));
    EXPECT_EQ(studioSettings()["settings"].toObject()["key"].toString(), kKey);
    EXPECT_EQ(fake.starts().size(), 1u);
    ASSERT_EQ(responder.records().size(), 1);
    EXPECT_TRUE(responder.records().at(0).texts.contains(kObsRestartPromptText));
    expectAnsweredAsQueued(responder);
}

TEST_F(PushAddressTest, RunningOBSThatCannotBeEndedIsNotWritten)
{
    ASSERT_NO_FATAL_FAILURE(startTool("OBS.exe", kObsClassicToolName));
    zvLiveAddressSet d(kObsClassicToolName, "跳过");
    type(d, kAddress, kKey);
    // Once the restart prompt shows, the process scan that the kill needs fails.
    OnPrompt breakScans([](zvMsgTipWidget* prompt) {
        if (prompt->findChild<QLabel*>("label_tip")->text() == kObsRestartPromptText)
            setProcessFolder("/nonexistent");
    });
    ModalResponder responder;
    responder.clickButton("button_confirm");
    responder.clickButton("button_confirm");
    confirm(d);
    setProcessFolder("");
    EXPECT_EQ(d.getResult(), 4);
    EXPECT_FALSE(d.isVisible());
    EXPECT_FALSE(QFileInfo::exists(classicProfile()));
    EXPECT_EQ(tools()->getAppStatus(kObsClassicToolName), 2);
    ASSERT_EQ(responder.records().size(), 2);
    EXPECT_TRUE(responder.records().at(1).texts.contains(kRestartFailedText));
    EXPECT_FALSE(responder.records().at(1).texts.contains("取消"));
    expectAnsweredAsQueued(responder);
}

// Only the OBS editions are asked about and ended.
TEST_F(PushAddressTest, OtherToolsAreNeitherAskedAboutNorEnded)
{
    ASSERT_NO_FATAL_FAILURE(startTool("ZVTool.exe", kZvToolName));
    zvLiveAddressSet d(kZvToolName, "跳过");
    type(d, kAddress, kKey);
    ModalResponder responder;
    responder.clickButton("button_confirm");
    d.exec();
    EXPECT_EQ(d.getResult(), 0);
    EXPECT_EQ(responder.records().size(), 1);
    EXPECT_EQ(tools()->getAppStatus(kZvToolName), 2);
    EXPECT_FALSE(QFileInfo::exists(classicProfile()));
    EXPECT_FALSE(QFileInfo::exists(studioService()));
    expectAnsweredAsQueued(responder);
}

// A file the setter refuses to overwrite: the user is told, nothing is
// claimed written, and the dialog stays open with the typed address.
TEST_F(PushAddressTest, FailedWriteIsNotReportedAsWritten)
{
    put(studioService(), "not json");
    zvLiveAddressSet d(kObsStudioToolName, "跳过");
    type(d, kAddress, kKey);
    ModalResponder responder;
    responder.clickButton("button_confirm");
    confirm(d);
    EXPECT_EQ(d.getResult(), 1);
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(child<QLineEdit>(d, "ledit_RTMP")->text(), kAddress);
    EXPECT_EQ(bytesOf(studioService()), "not json");
    ASSERT_EQ(responder.records().size(), 1);
    EXPECT_EQ(responder.records().at(0).className, "zvMsgTipWidget");
    EXPECT_TRUE(responder.records().at(0).texts.contains("推流设置保存失败，请检查OBS的配置文件后重试"));
    expectAnsweredAsQueued(responder);
}

// The label opens the tutorial; closing it returns to the unchanged dialog.
TEST_F(PushAddressTest, HowToLabelOpensTheTutorial)
{
    zvLiveAddressSet d(kObsClassicToolName, "跳过");
    type(d, kAddress, kKey);
    d.show();
    ModalResponder responder;
    responder.clickButton("button_close");
    zavmo::test::mousePress(child(d, "label_getCode"), QPoint(3, 3));
    ASSERT_EQ(responder.records().size(), 1);
    EXPECT_EQ(responder.records().at(0).className, "zvGetCodeTutorialWidget");
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(child<QLineEdit>(d, "ledit_RTMP")->text(), kAddress);
    EXPECT_EQ(child<QLineEdit>(d, "ledit_liveCode")->text(), kKey);
    EXPECT_EQ(d.getResult(), 1);
    expectAnsweredAsQueued(responder);
}

} // namespace
