#pragma once
// Hands the account client its web dialogs (logic/webdialogs.h): the captcha
// check VerifyWebDlg and the outside-account login WebViewDlg. The program
// calls this once at start-up, before any login can run.

void registerWebDialogFactories();
