// The main window's buttons that open the settings dialogs.

#include "app/frmMain.h"

#include "dialogs/frmCheckConfig.h"
#include "dialogs/frmSendTimeConfig.h"
#include "dialogs/frmSmtpConfig.h"

// Each dialog is created when it opens (unless it exists already) and
// destroyed when it has closed, so every opening starts from the files.
void frmMain::cmdCheckConfig_Click() {
    frmCheckConfig::instance().exec();
    frmCheckConfig::destroyInstance();
}

void frmMain::cmdSmtpConfig_Click() {
    frmSmtpConfig::instance().exec();
    frmSmtpConfig::destroyInstance();
}

void frmMain::cmdSendTime_Click() {
    frmSendTimeConfig::instance().exec();
    frmSendTimeConfig::destroyInstance();
}
