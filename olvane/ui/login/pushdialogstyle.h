#pragma once
// What the push-address, failed-fetch and tutorial dialogs share: frameless,
// dragged by their top 36 pixels through the application-wide drag filter,
// styled by the main style sheet.

#include <QString>

class QDialog;
class QWidget;

// Sets the window flags, the drag properties and the style sheet; returns
// the style sheet's text for widgets that take it again.
QString setUpPushDialog(QDialog& dialog);
// The pale page colour (#f5f5fb) as the widget's own filled background.
void setPaperBackground(QWidget& widget);
