#pragma once
// The install wizard of the two OBS editions: OBS classic goes into its
// configured folder without the folder page, OBS Studio into the folder the
// user confirms. The tool box runs it with exec and ignores the result. Its
// listener events arrive directly (the download pool and the hub emit
// without a lock held); the uninstall's end arrives queued.

#include "ui/install/zvinstallwizard.h"

namespace Ui {
class zvOBSInstallWidget;
}

class zvOBSInstallWidget : public ZvInstallWizard
{
    Q_OBJECT

public:
    explicit zvOBSInstallWidget(QWidget* parent = nullptr);
    ~zvOBSInstallWidget() override;

private:
    void loadStyleSheet();

    Ui::zvOBSInstallWidget* ui;
};
