// The ways a desktop session ends a program without closing its window: SIGTERM (shutdown, many
// logouts), SIGHUP (the terminal that started it closed), SIGINT (Ctrl+C there) and the session
// manager's save request. Each ends the program as a close of the window does, settings saved.
#pragma once
#include <QObject>
#include <memory>

// Watches for those ends until the returned object is destroyed, which restores the signals'
// earlier handling. A signal that was ignored when the watch began stays ignored (a job started
// with "&" or nohup). The handler only writes to a pipe; the window thread reads it.
std::unique_ptr<QObject> WatchSessionEnd();
