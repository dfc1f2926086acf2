// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <atomic>
#include <mutex>
#include <thread>

// The radio access point as a program: it owns the device side of a pseudo-terminal (or an
// existing serial device), answers every request of the serial protocol on its own thread, hands
// out the handheld messages queued for it, and keeps what the server sent (replies, the database).
// It can also play a dead device, one that garbles its frames, and one that sends line noise and
// splits its replies.
class DuvuSim
{
public:
    enum class Mode { Normal, Dead, Garble, Noisy };

    DuvuSim();
    ~DuvuSim();
    DuvuSim(const DuvuSim &) = delete;
    DuvuSim &operator=(const DuvuSim &) = delete;

    // A new pseudo-terminal; devicePath() is the path the server opens.
    bool openPty(QString *error = nullptr);
    // An existing device (a serial adapter wired to the server's port), set to raw 8N1.
    bool openDevice(const QString &path, QString *error = nullptr);
    QString devicePath() const { return m_devicePath; }
    void start();
    void stop();
    // Pulls the plug: stops and closes both ends, so the server's port reports an I/O error.
    // openPty and start make a new device afterwards.
    void unplug();

    void setMode(Mode mode) { m_mode = mode; }
    void setInfo(const QByteArray &info);
    // The percent every database chunk is answered with (0: the real progress).
    void setFixedProgress(int percent) { m_fixedProgress = percent; }
    // A slow device: every reply waits this long before it is sent.
    void setReplyDelayMs(int ms) { m_replyDelayMs = ms; }

    // One handheld message: its kind character and its body.
    void queueMessage(char kind, const QByteArray &body);
    // A script line: the kind character then the body ("V1|2|3|12|"). Empty lines and lines
    // starting with "#" are not messages; false for those.
    bool queueLine(const QByteArray &line);
    int pendingMessages() const;

    // Every request received, as kind followed by payload, oldest first.
    QList<QByteArray> requests() const;
    // The replies to handheld messages (requests O, T, K, E, W), as kind followed by payload.
    QList<QByteArray> replies() const;
    // The database received by the last complete transfer.
    QByteArray database() const;
    int transfers() const;
    // Written as they arrive when set: one reply a line; the database after each transfer.
    void setRepliesFile(const QString &path) { m_repliesFile = path; }
    void setDatabaseFile(const QString &path) { m_databaseFile = path; }

private:
    void run();
    void handle(char kind, const QByteArray &payload);
    void send(char kind, const QByteArray &payload = {});
    void writeAll(const QByteArray &bytes);

    int m_master = -1;
    int m_slave = -1;  // kept open so the line stays up between the server's opens
    QString m_devicePath;
    std::thread m_thread;
    std::atomic<bool> m_running{false};
    std::atomic<Mode> m_mode{Mode::Normal};
    std::atomic<int> m_fixedProgress{0};
    std::atomic<int> m_replyDelayMs{0};
    QString m_repliesFile;
    QString m_databaseFile;

    mutable std::mutex m_mutex;  // guards what follows
    QByteArray m_info = QByteArrayLiteral("PLIKO-SIM AP-1 fw 1.0");
    QList<QByteArray> m_queue;
    QList<QByteArray> m_requests;
    QList<QByteArray> m_replies;
    QByteArray m_incoming;
    qint64 m_expectedSize = -1;
    QByteArray m_receiving;
    QByteArray m_database;
    int m_transfers = 0;
};
