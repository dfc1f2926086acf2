// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM and SIGINT (and SIGHUP, the reload request) into a Qt signal on the event loop. The signal handler only writes one
// byte into a socket pair (all a handler may safely do); the notifier reads it on the loop, where
// the server can end cleanly. One watcher per process.
class SignalWatcher : public QObject
{
    Q_OBJECT
public:
    explicit SignalWatcher(QObject *parent = nullptr);
    ~SignalWatcher() override;
    bool isActive() const { return m_notifier != nullptr; }

signals:
    void terminationRequested(int signalNumber);
    void reloadRequested();

private:
    void onReadable();

    QSocketNotifier *m_notifier = nullptr;
};
