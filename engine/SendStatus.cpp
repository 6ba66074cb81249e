#include "engine/SendStatus.h"

#include "engine/Engine.h"

SendStatus::SendStatus(Engine& engine, ShowBox showBox, QObject* parent)
    : QObject(parent), showBox_(std::move(showBox)) {
    connect(&engine, &Engine::sending, this, [this] {
        ++mailsStarted_;
        testSendEnabled_ = false;
        set(QStringLiteral("送信中..."));
    });
    connect(&engine, &Engine::sent, this, [this] { set(QStringLiteral("送信完了")); });
    connect(&engine, &Engine::failed, this, &SendStatus::failed);
    connect(&engine, &Engine::notice, this, [this](const Notice& box) { showBox_(box); });
    connect(&engine, &Engine::idle, this, [this] {
        testSendEnabled_ = true;
        emit changed();
    });
    connect(&engine, &Engine::holderStatus, this, &SendStatus::set);
    if (!engine.schedules())
        text_ = Engine::HolderStatus();
}

void SendStatus::set(const QString& text) {
    text_ = text;
    emit changed();
}

void SendStatus::failed(const Notice& box, bool quiet) {
    const quint64 thisMail = mailsStarted_;
    if (!quiet)
        showBox_(box);
    if (thisMail == mailsStarted_)
        set(QStringLiteral("送信エラー"));
}
