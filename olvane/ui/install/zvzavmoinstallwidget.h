#pragma once
// The install wizard of the platform's own tools (ZVTool, and ZVShowTool,
// whose row is not offered but whose running task is resumed): the tool box
// runs it with exec and ignores the result. Its listener events arrive
// queued.

#include "ui/install/zvinstallwizard.h"

namespace Ui {
class zvZavmoInstallWidget;
}

class zvZavmoInstallWidget : public ZvInstallWizard
{
    Q_OBJECT

public:
    explicit zvZavmoInstallWidget(QWidget* parent = nullptr);
    ~zvZavmoInstallWidget() override;

private:
    void loadStyleSheet();

    Ui::zvZavmoInstallWidget* ui;
};
