// Test send, and what the engine tells of the mails: the third status bar
// panel, the test-send button and the boxes.

#include "app/frmMain.h"
#include "engine/Engine.h"
#include "engine/SendStatus.h"
#include "platform/MessageBox.h"
#include "platform/Service.h"

#include <QPushButton>

void frmMain::cmdTestSend_Click() {
    const int answer = platform::use<platform::MessageBox>().show(
        QStringLiteral("テスト送信を行ないます。よろしいですか？"), QStringLiteral("テスト送信"),
        platform::MessageBox::kYesNo);
    if (answer == platform::MessageBox::kNo)
        return;
    engine->SendMail(MailMod::Origin::TestSend);
}

void frmMain::showMailStatus() {
    setSendStatus(mailStatus_->text());
    cmdTestSend->setEnabled(mailStatus_->testSendEnabled());
}

void frmMain::showNotice(const Notice& box) {
    platform::use<platform::MessageBox>().show(box.text, box.title, platform::MessageBox::kOkOnly);
}
