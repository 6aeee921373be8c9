// The bridge: each of the 22 listener operations emits exactly its own
// signal, with the same arguments, and the signals keep the interface order.
#include "ui/mainwindow/widgets/uilogiclistener.h"

#include <QMetaMethod>
#include <QSignalSpy>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace {

struct Operation
{
    const char* signal; // normalized signature
    std::function<void(IZvLogicListener&)> call;
    QVariantList arguments;
};

const std::vector<Operation>& operations()
{
    static const std::vector<Operation> ops = {
        {"sglUpdateAppStatus(QString,int)",
         [](IZvLogicListener& l) { l.onUpdateAppStatus("OBS Studio", 2); },
         {"OBS Studio", 2}},
        {"sglUpdateDownloadProgress(QString,int)",
         [](IZvLogicListener& l) { l.onUpdateDownloadProgress("Zavmo直播伴侣", 42); },
         {"Zavmo直播伴侣", 42}},
        {"sglDownloadFinished(QString,QString)",
         [](IZvLogicListener& l) { l.onDownloadFinished("key", "/tmp/a b.exe"); },
         {"key", "/tmp/a b.exe"}},
        {"sglDownloadFailed(QString)", [](IZvLogicListener& l) { l.onDownloadFailed("key"); }, {"key"}},
        {"sglLiveToolInstallProgress(QString,int)",
         [](IZvLogicListener& l) { l.onLiveToolInstallProgress("OBS Studio", 100); },
         {"OBS Studio", 100}},
        {"sglLiveToolInstallFinished(QString)", [](IZvLogicListener& l) { l.onLiveToolInstallFinished("t"); }, {"t"}},
        {"sglLiveToolUnInstallFinished(QString)",
         [](IZvLogicListener& l) { l.onLiveToolUnInstallFinished("u"); },
         {"u"}},
        {"sglBroadcastInfoMsg(QString,QString)",
         [](IZvLogicListener& l) { l.onBroadcastInfoMsg("rtmp://x", "c"); },
         {"rtmp://x", "c"}},
        {"sglOpenLiveRoomResult(int,QString)", [](IZvLogicListener& l) { l.onOpenLiveRoomResult(-3, "m"); }, {-3, "m"}},
        {"sglLiveCodeModuleClose()", [](IZvLogicListener& l) { l.onLiveCodeModuleClose(); }, {}},
        {"sglRepairFinished(QString)", [](IZvLogicListener& l) { l.onRepairFinished("DirectX"); }, {"DirectX"}},
        {"sglLoginSuccessed()", [](IZvLogicListener& l) { l.onLoginSuccessed(); }, {}},
        {"sglBeginLogin()", [](IZvLogicListener& l) { l.onBeginLogin(); }, {}},
        {"sglLoginFinished(int,QString)",
         [](IZvLogicListener& l) { l.onLoginFinished(1003, "请检查设备时间"); },
         {1003, "请检查设备时间"}},
        {"sglQRCodeChanged()", [](IZvLogicListener& l) { l.onQRCodeChanged(); }, {}},
        {"sglGetRtmpSuccessed(QString,QString)",
         [](IZvLogicListener& l) { l.onGetRtmpSuccessed("rtmp://push/live", "code"); },
         {"rtmp://push/live", "code"}},
        {"sglGetRtmpFailed(int,QString)", [](IZvLogicListener& l) { l.onGetRtmpFailed(7, "no"); }, {7, "no"}},
        {"sglLogout()", [](IZvLogicListener& l) { l.onLogout(); }, {}},
        {"sglGetQRCodeFailed(int,QString)", [](IZvLogicListener& l) { l.onGetQRCodeFailed(-1, "e"); }, {-1, "e"}},
        {"sglCloseLiveRoomSuccess()", [](IZvLogicListener& l) { l.onCloseLiveRoomSuccess(); }, {}},
        {"sglCloseLiveRommFailed(int,QString)", [](IZvLogicListener& l) { l.onCloseLiveRommFailed(5, "f"); }, {5, "f"}},
        {"sglCheckInGuildResult(int,QString,bool)",
         [](IZvLogicListener& l) { l.onCheckInGuildResult(0, QString(), true); },
         {0, QString(), true}},
    };
    return ops;
}

QStringList declaredSignals(const QMetaObject& meta)
{
    QStringList names;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        const QMetaMethod m = meta.method(i);
        if (m.methodType() == QMetaMethod::Signal)
            names << QString::fromLatin1(m.methodSignature());
    }
    return names;
}

TEST(UILogicListener, DeclaresTheTwentyTwoSignalsInInterfaceOrder)
{
    QStringList expected;
    for (const auto& op : operations())
        expected << op.signal;
    ASSERT_EQ(expected.size(), 22);
    EXPECT_EQ(declaredSignals(UILogicListener::staticMetaObject), expected);
    // Signals only: no slots of its own.
    const QMetaObject& meta = UILogicListener::staticMetaObject;
    EXPECT_EQ(meta.methodCount() - meta.methodOffset(), 22);
}

TEST(UILogicListener, EachOperationEmitsOnlyItsSignalWithItsArguments)
{
    UILogicListener listener;
    std::vector<std::unique_ptr<QSignalSpy>> spies;
    for (const auto& op : operations()) {
        const QMetaMethod signal = listener.metaObject()->method(listener.metaObject()->indexOfSignal(op.signal));
        ASSERT_TRUE(signal.isValid()) << op.signal;
        spies.push_back(std::make_unique<QSignalSpy>(&listener, signal));
    }
    IZvLogicListener& iface = listener;
    for (size_t k = 0; k < operations().size(); ++k) {
        for (auto& spy : spies)
            spy->clear();
        operations()[k].call(iface);
        for (size_t j = 0; j < spies.size(); ++j) {
            if (j == k) {
                ASSERT_EQ(spies[j]->count(), 1) << operations()[k].signal;
                EXPECT_EQ(spies[j]->at(0), operations()[k].arguments) << operations()[k].signal;
            } else {
                EXPECT_EQ(spies[j]->count(), 0) << operations()[k].signal << " also emitted " << operations()[j].signal;
            }
        }
    }
}

TEST(UILogicListener, EverySubscriberGetsEveryEmission)
{
    UILogicListener listener;
    // Nothing connected: no effect, no failure.
    listener.onLoginFinished(1, "x");

    QStringList first, second;
    QObject::connect(&listener, &UILogicListener::sglLoginFinished,
                     [&](int code, QString msg) { first << QString::number(code) + msg; });
    QObject::connect(&listener, &UILogicListener::sglLoginFinished,
                     [&](int code, QString msg) { second << QString::number(code) + msg; });
    listener.onLoginFinished(81, "登录需要验证");
    listener.onLoginFinished(-1, "返回数据格式错误");
    EXPECT_EQ(first, (QStringList{"81登录需要验证", "-1返回数据格式错误"}));
    EXPECT_EQ(second, first);
}

TEST(UILogicListener, QueuedSubscriberRunsOnALaterPass)
{
    UILogicListener listener;
    int received = 0;
    QObject context;
    QObject::connect(
        &listener, &UILogicListener::sglLogout, &context, [&] { ++received; }, Qt::QueuedConnection);
    listener.onLogout();
    EXPECT_EQ(received, 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(received, 1);
}

TEST(UILogicListener, DeletingThroughTheInterfaceDestroysTheWholeObject)
{
    auto* listener = new UILogicListener;
    bool destroyed = false;
    QObject::connect(listener, &QObject::destroyed, [&] { destroyed = true; });
    IZvLogicListener* iface = listener;
    delete iface;
    EXPECT_TRUE(destroyed);
}

} // namespace
