#include "support/SmtpSink.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>

namespace fakes {

SmtpSink::SmtpSink(const QString& address, int port) {
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start("/usr/bin/python3",
                   {TOLVANE_SMTP_SINK, folder_.path(), address, QString::number(port)});
    while (!process_.canReadLine() && process_.waitForReadyRead(10000)) {
    }
    port_ = process_.readLine().trimmed().toInt();
}

SmtpSink::~SmtpSink() {
    process_.closeWriteChannel();
    process_.waitForFinished(5000);
}

QJsonObject SmtpSink::message() const {
    QFile file(QDir(folder_.path()).filePath("1.json"));
    return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object()
                                          : QJsonObject();
}

} // namespace fakes
