#include "core/stringconstants.h"

const QString kObsClassicToolName = QStringLiteral("Open Broadcaster Software");
const QString kObsStudioToolName = QStringLiteral("OBS Studio");
const QString kObsClassicTitle = QStringLiteral("OBS经典版");
const QString kObsStudioTitle = QStringLiteral("OBS工作室版");
const QString kZvToolName = QStringLiteral("Zavmo直播伴侣");
const QString kZvShowToolName = QStringLiteral("Zavmo秀场直播伴侣");

const QString kInstallZvToolText = QStringLiteral("安装Zavmo直播伴侣");
const QString kInstallObsText = QStringLiteral("安装OBS");
const QString kVisitObsSiteText = QStringLiteral("访问OBS网站手动安装");
const QString kInstallDirText = QStringLiteral("安装目录");

const QString kZvToolIntro = QStringLiteral("Zavmo官方直播工具，傻瓜式操作，让直播更简单。\n"
                                            "1、电脑游戏、手游、娱乐、语音等多场景支持；\n"
                                            "2、自动检测游戏，免设置一键开播；\n"
                                            "3、内置安卓/苹果手游投屏；\n"
                                            "4、与主播连麦PK，礼物收不停；\n"
                                            "5、支持录制视频到本地；\n"
                                            "6、自带弹幕助手、弹幕秀、歌名助手、语音连麦\n"
                                            "等多款插件。");
const QString kZvShowToolIntro = QStringLiteral("Zavmo官方直播工具，专为秀场主播定制。\n"
                                                "1、一键开播，免设置推流地址；\n"
                                                "2、强大美颜、可爱挂件助你秀出自己；\n"
                                                "3、酷炫特效助你炫炸全场；\n"
                                                "4、支持录制视频到本地；\n"
                                                "5、自带弹幕助手、弹幕点歌等多款插件，主播播\n"
                                                "放歌曲观众可查看歌名歌词。\n"
                                                "    ");
const QString kObsClassicIntro = QStringLiteral("免费且开源的用于视频录制以及直播推流的软件。\n"
                                                "1、电脑游戏、手游、娱乐等多场景支持；\n"
                                                "2、通过填写RTMP流地址进行推流直播；\n"
                                                "3、有一定上手门槛，小白慎入；\n"
                                                "4、支持录制视频到本地；\n"
                                                "5、自带插件数量较少；\n"
                                                "6、经典版较为稳定，但亦不会再有更新。\n"
                                                "   ");
const QString kObsStudioIntro = QStringLiteral("免费且开源的用于视频录制以及直播推流的软件。\n"
                                               "1、电脑游戏、手游、娱乐等多场景支持；\n"
                                               "2、通过填写RTMP流地址进行推流直播；\n"
                                               "3、有一定上手门槛，功能比OBS经典版强大；\n"
                                               "4、支持录制视频到本地；\n"
                                               "5、自带插件数量较少；\n"
                                               "6、仍处于初期阶段，错误修复频繁。\n"
                                               " ");

const QString kZavmoLiveText = QStringLiteral("Zavmo直播");
const QString kInitFailedText = QStringLiteral("程序初始化失败！");
const QString kRestartFailedText = QStringLiteral("程序重启失败！");
const QString kLiveCodeModuleKey = QStringLiteral("liveCodeModule");
const QString kModuleUpdateDownloadKey = QStringLiteral("组件更新信息下载");
const QString kObsStudioConfigDir = QStringLiteral("obs-studio/");
const QString kObsStudioProfilesDir = QStringLiteral("obs-studio/basic/profiles/");
const QString kObsRestartPromptText =
    QStringLiteral("检测到OBS已开启，本次推流设置在重启OBS后生效，点击重启，即重启OBS");
const QString kQuitText = QStringLiteral("退出");
const QString kAppTitle = QStringLiteral("Zavmo直播管家");
const QString kPackageDownloadFailedText = QStringLiteral("安装包下载失败，可能是网络不通，请检查网络后重试");
const QString kInstallFailedText = QStringLiteral("程序安装失败，请重新尝试");
const QString kPushSettingsWriteFailedText = QStringLiteral("推流设置保存失败，请检查OBS的配置文件后重试");
const QString kSettingsSaveFailedText = QStringLiteral("设置保存失败，请检查磁盘空间或文件权限");
const QString kRecordFolderCreateFailedText = QStringLiteral("录制文件夹不存在且无法创建");
const QString kLaunchToolFailedText =
    QStringLiteral("启动直播工具失败，疑是程序损坏，请尝试从工具箱中重新安装直播工具以解决这个问题");
const QString kObsNotInstalledText = QStringLiteral("检测OBS未安装，请安装OBS后重试");
const QString kCompanionStartedText = QStringLiteral("伴侣已启动，点击确定查看伴侣OBS转推使用教程");
const QString kInstallDirMissingText = QStringLiteral("\"%1\"安装目录不存在，请重新设置");
const QString kToolRunningText = QStringLiteral("检测到\"%1\"正在运行，请关闭后重试");
const QString kUntitledProfileName = QStringLiteral("未命名");
const QString kObsClosedPromptText =
    QStringLiteral("检测到您已关闭OBS推流软件，直播间将不会再有画面，是否同时关闭直播？");
const QString kRoomClosedText = QStringLiteral("直播间已成功关闭");
const QString kCloseRoomFailedText = QStringLiteral("关闭直播间失败，请点击确定前往网页端手动关闭");

const QString kEnvAbnormalOneText =
    QStringLiteral("检测到%1环境异常，OBS可能无法运行，点击修复进行修复，如可以运行，则点击忽略");
const QString kEnvAbnormalListText =
    QStringLiteral("检测到以下环境异常，OBS可能无法运行，点击修复进行修复，如可以运行，则点击忽略 ");
const QString kOneKeyRepairText = QStringLiteral("点击一键修复，开始修复运行环境");
const QString kDownloadingEnvText = QStringLiteral("正在下载%1环境......");
const QString kDownloadingText = QStringLiteral("正在下载");
const QString kDownloadFailedText = QStringLiteral("下载失败");
const QString kRepairingEnvText = QStringLiteral("正在修复%1环境......");
const QString kRepairingText = QStringLiteral("正在修复");
const QString kRepairSucceededText = QStringLiteral("修复成功");
const QString kRepairFailedText = QStringLiteral("修复失败");
const QString kRepairDoneText = QStringLiteral("完成修复");

const QString kNetFrameworkName = QStringLiteral("NET Framework 4.0");
const QString kDirectXName = QStringLiteral("DirectX");
const QString kVcRedistName = QStringLiteral("vcredist_x86");

const QString kSelectRepairItemText = QStringLiteral("请至少选中一项修复");
const QString kCompanionNoNeedText = QStringLiteral("直播伴侣用户无需设置此项");
const QString kOtherManagerToolName = QStringLiteral("Kestro直播管家");
// Relative to the other manager's install folder; stored with Windows separators.
const QString kOtherManagerObsPath = QStringLiteral("resources\\tools\\OBS\\OBS.exe");
const QString kUserHeaderImageDownloadKey = QStringLiteral("UserHeaderImageDownload");

const QString kToolPreviewImages[4][3] = {
    {QStringLiteral(":/Resources/zavmo_classic_1.png"), QStringLiteral(":/Resources/zavmo_classic_2.png"),
     QStringLiteral(":/Resources/zavmo_classic_3.png")},
    {QStringLiteral(":/Resources/zavmo_show_1.png"), QStringLiteral(":/Resources/zavmo_show_2.png"), QString()},
    {QStringLiteral(":/Resources/OBS_classic_1.png"), QStringLiteral(":/Resources/OBS_classic_2.png"), QString()},
    {QStringLiteral(":/Resources/OBS_studio_1.png"), QStringLiteral(":/Resources/OBS_studio_2.png"), QString()},
};
