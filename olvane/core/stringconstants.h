#pragma once
// Names and texts that several parts of Olvane must agree on. Tool and
// runtime names are the keys of every tool operation and are compared with
// exact, case-sensitive equality.

#include <QString>

// Tool names (keys) and titles.
extern const QString kObsClassicToolName;
extern const QString kObsStudioToolName;
extern const QString kObsClassicTitle;
extern const QString kObsStudioTitle;
extern const QString kZvToolName;
extern const QString kZvShowToolName;

// Install dialog texts.
extern const QString kInstallZvToolText;
extern const QString kInstallObsText;
extern const QString kVisitObsSiteText;
extern const QString kInstallDirText;

// Tool descriptions on the main window.
extern const QString kZvToolIntro;
extern const QString kZvShowToolIntro;
extern const QString kObsClassicIntro;
extern const QString kObsStudioIntro;

extern const QString kZavmoLiveText;
extern const QString kInitFailedText;
extern const QString kRestartFailedText;
extern const QString kLiveCodeModuleKey;
extern const QString kModuleUpdateDownloadKey;
extern const QString kObsStudioConfigDir;
extern const QString kObsStudioProfilesDir;
extern const QString kObsRestartPromptText;
extern const QString kQuitText;
extern const QString kAppTitle;
extern const QString kPackageDownloadFailedText;
extern const QString kInstallFailedText;
extern const QString kLaunchToolFailedText;
// A push address that could not be written into OBS's files.
extern const QString kPushSettingsWriteFailedText;
// A settings save the user asked for that failed.
extern const QString kSettingsSaveFailedText;
// The record folder to open is missing and cannot be made.
extern const QString kRecordFolderCreateFailedText;
extern const QString kObsNotInstalledText;
extern const QString kCompanionStartedText;
extern const QString kInstallDirMissingText;
extern const QString kToolRunningText;
extern const QString kUntitledProfileName;
extern const QString kObsClosedPromptText;
extern const QString kRoomClosedText;
extern const QString kCloseRoomFailedText;

// Runtime repair dialog texts.
extern const QString kEnvAbnormalOneText;
extern const QString kEnvAbnormalListText;
extern const QString kOneKeyRepairText;
extern const QString kDownloadingEnvText;
extern const QString kDownloadingText;
extern const QString kDownloadFailedText;
extern const QString kRepairingEnvText;
extern const QString kRepairingText;
extern const QString kRepairSucceededText;
extern const QString kRepairFailedText;
extern const QString kRepairDoneText;

// Runtime names (repair keys).
extern const QString kNetFrameworkName;
extern const QString kDirectXName;
extern const QString kVcRedistName;

extern const QString kSelectRepairItemText;
extern const QString kCompanionNoNeedText;
extern const QString kOtherManagerToolName;
extern const QString kOtherManagerObsPath;
extern const QString kUserHeaderImageDownloadKey;

// Preview pictures per tool, rows in the order ZVTool, ZVShow, OBS classic,
// OBS Studio; an empty text means the tool has no such picture.
extern const QString kToolPreviewImages[4][3];
