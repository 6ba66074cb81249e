#pragma once

#include <QObject>
#include <QString>
#include <functional>

class Engine;
struct Notice;

// What a face with a status text and a test-send button shows of the
// engine's mails: "送信中..." while one is composed or sent, "送信完了" or
// "送信エラー" after it, the button disabled while anything is under way, and
// the boxes, shown through the face's own box. A box runs an event loop of
// its own, in which a newer mail may start: the box of a failed mail then
// leaves the status text to the newer one.
class SendStatus : public QObject {
    Q_OBJECT
public:
    using ShowBox = std::function<void(const Notice&)>;
    SendStatus(Engine& engine, ShowBox showBox, QObject* parent = nullptr);

    QString text() const { return text_; }
    bool testSendEnabled() const { return testSendEnabled_; }

signals:
    void changed();

private:
    void set(const QString& text);
    void failed(const Notice& box, bool quiet);

    ShowBox showBox_;
    QString text_;
    bool testSendEnabled_ = true;
    quint64 mailsStarted_ = 0;
};
