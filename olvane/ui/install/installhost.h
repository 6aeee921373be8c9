#pragma once
// What the install and repair dialogs reach of the main window: the logic
// listener whose signals they follow and the settings object they change.
// The main window registers both once it has made them. Until then the
// dialogs follow no logic events and change no setting (each logs why).
// GUI thread only; the listener is watched, so a freed one reads as null.

class AppConfig;
class UILogicListener;

void setInstallHost(UILogicListener* listener, AppConfig* config);
UILogicListener* installLogicListener();
AppConfig* installConfig();
