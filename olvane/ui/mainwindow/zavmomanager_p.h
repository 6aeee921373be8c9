#pragma once
// What the main window's source files share: the hub's managers, the
// prompts and links they open.

#include "core/serverurltable.h"
#include "core/stringconstants.h"
#include "core/systemutils.h"
#include "logic/zvlogicfw.h"
#include "ui/mainwindow/widgets/zvmsgtipwidget.h"

#include <QDialog>

namespace mainwindow {

inline ZvLiveToolsManager* toolsManager()
{
    return ZvLogicFW::instance()->getLiveToolsManager();
}

inline LoginManager* loginManager()
{
    return ZvLogicFW::instance()->getLoginManager();
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
