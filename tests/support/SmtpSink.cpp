#include "support/SmtpSink.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>

namespace fakes {

SmtpSink::SmtpSink(const QString& address, int port, const QStringList& options) {
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start("/usr/bin/python3",
                   QStringList{TOLVANE_SMTP_SINK, folder_.path(), address, QString::number(port)} +
                       options);
    while (!process_.canReadLine() && process_.waitForReadyRead(10000)) {
    }
    port_ = process_.readLine().trimmed().toInt();
}

SmtpSink::~SmtpSink() {
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.closeWriteChannel();
    process_.waitForFinished(5000);
}

QJsonObject SmtpSink::message() const {
    QFile file(QDir(folder_.path()).filePath("1.json"));
    return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object()
                                          : QJsonObject();
}

QStringList SmtpSink::commands() const {
    QFile file(QDir(folder_.path()).filePath("commands"));
    return file.open(QIODevice::ReadOnly)
               ? QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts)
               : QStringList();
}

QByteArray SmtpSink::content() const {
    QFile file(QDir(folder_.path()).filePath("1.data"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace fakes
