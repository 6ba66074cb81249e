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

QByteArray SmtpSink::file(const QString& name) const {
    QFile file(QDir(folder_.path()).filePath(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QJsonObject SmtpSink::message(int n) const {
    return QJsonDocument::fromJson(file(QStringLiteral("%1.json").arg(n))).object();
}

QStringList SmtpSink::commands() const {
    return QString::fromUtf8(file("commands")).split(u'\n', Qt::SkipEmptyParts);
}

} // namespace fakes
