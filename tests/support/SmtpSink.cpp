#include "support/SmtpSink.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>

namespace fakes {

SmtpSink::SmtpSink(const QString& address, int port, const QStringList& options) {
    const int beside = qEnvironmentVariableIntValue("TOLVANE_SMTP_SINK_PORT");
    if (beside > 0 && address == QLatin1String("127.0.0.1") && port == 0 && options.isEmpty()) {
        port_ = beside;
        besideFolder_ = qEnvironmentVariable("TOLVANE_SMTP_SINK_DIR");
        return;
    }
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

QString SmtpSink::folder() const {
    return besideFolder_.isEmpty() ? folder_.path() : besideFolder_;
}

QJsonObject SmtpSink::message() const {
    QFile file(QDir(folder()).filePath("1.json"));
    return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object()
                                          : QJsonObject();
}

QStringList SmtpSink::commands() const {
    QFile file(QDir(folder()).filePath("commands"));
    return file.open(QIODevice::ReadOnly)
               ? QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts)
               : QStringList();
}

QByteArray SmtpSink::content() const {
    QFile file(QDir(folder()).filePath("1.data"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace fakes
