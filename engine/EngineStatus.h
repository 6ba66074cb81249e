#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

// The state of the program without a window, which it keeps in a file of the
// settings folder for a window on the same folder: the window shows it in its
// status bar. Lines in the system's code page: who keeps it ("service" for the
// Windows service, "console" otherwise), "running" or "stopped", when the
// last mail ended (yyyy/MM/dd HH:mm:ss, empty before the first), its result
// ("送信完了" or "送信エラー"), and how many reports wait.
struct EngineStatus {
    static inline const QString kFile = QStringLiteral("tolvane.status");

    bool service = false;
    bool running = false;
    QDateTime lastMail;
    QString lastResult;
    int waiting = 0;

    // False when the file could not be written.
    bool Write() const;
    // Nothing when there is no such file, or it is cut short.
    static std::optional<EngineStatus> Read();
    // What the window's status bar says, for example
    // "サービス実行中　最終 12/07 09:30 送信完了　再送待ち 1件".
    QString Text() const;
};
