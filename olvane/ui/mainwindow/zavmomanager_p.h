#pragma once
// What the main window's source files share: the hub's managers, the
// prompts and links they open, the status and dialog numbers they read.

#include "core/serverurltable.h"
#include "core/stringconstants.h"
#include "core/systemutils.h"
#include "logic/zvlogicfw.h"
#include "ui/mainwindow/widgets/zvmsgtipwidget.h"

#include <QDialog>

namespace mainwindow {

constexpr int kRunning = 2;

// Install-dialog kinds.
constexpr int kInstallKindZvTool = 0;
constexpr int kInstallKindZvShow = 1;
constexpr int kInstallKindObsStudio = 3;

inline ZvLiveToolsManager* toolsManager()
{
    return ZvLogicFW::instance()->getLiveToolsManager();
}

inline LoginManager* loginManager()
{
    return ZvLogicFW::instance()->getLoginManager();
}

// The number a tool carries as "type" in the install events; 0 for none.
inline int analyticsToolType(const QString& tool)
{
    if (tool == kZvToolName)
        return 1;
    if (tool == kZvShowToolName)
        return 2;
    if (tool == kObsClassicToolName)
        return 3;
    if (tool == kObsStudioToolName)
        return 4;
    return 0;
}

inline void openTableUrl(const char* url)
{
    openUrl(QString::fromUtf8(url));
}

// A prompt of one of the shared texts; true when confirmed.
inline bool prompt(const QString& text, bool showCancel, QWidget* parent)
{
    zvMsgTipWidget tip(text, showCancel, parent);
    return tip.exec() == QDialog::Accepted;
}

} // namespace mainwindow
