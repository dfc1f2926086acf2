// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "AccessPoint.h"

#include <QObject>
#include <QThread>
#include <atomic>
#include <memory>

// The access point on a thread of its own, so that the event loop never waits on the serial line.
// Every library call runs there, one at a time in the order made. A caller on the event loop waits
// for its answer in a local event loop (handhelds, the control socket and the watchdog are served
// meanwhile); the poll and the replies to handheld messages do not wait at all.
class ThreadedAccessPoint final : public AccessPoint
{
public:
    // device is called on the new thread and builds the driver that lives there.
    explicit ThreadedAccessPoint(const std::function<std::unique_ptr<AccessPoint>()> &device);
    ~ThreadedAccessPoint() override;
    ThreadedAccessPoint(const ThreadedAccessPoint &) = delete;
    ThreadedAccessPoint &operator=(const ThreadedAccessPoint &) = delete;

    qint32 Dll_OpenSerial(qint32 port) override;
    void Dll_CloseSerial() override;
    qint32 Dll_ReqSysInfo(QByteArray &buffer) override;
    qint32 Dll_GetDllVersion(QByteArray &buffer) override;
    void Dll_EnabledVisibleMode() override;
    void Dll_DisabledVisibleMode() override;
    void Dll_EraseDB(qint32 first, qint32 second) override;
    qint32 Dll_OpenDataBase(const QString &path) override;
    qint32 Dll_SendDataBase() override;
    qint32 Dll_RxManager(QByteArray &buffer, qint32 &length) override;
    void Dll_SendOrder(const QByteArray &reply) override;
    void Dll_SendTblList(const QByteArray &reply) override;
    void Dll_SendLockTbl() override;
    void Dll_SendEmptyTbl() override;
    void Dll_FeedBackForMoveTbl(qint32 code) override;
    bool lastCallAnswered() const override { return m_answered; }
    bool lineaPersa() const override { return m_lineaPersa; }
    void riceviMessaggio(QObject *context, std::function<void(const Messaggio &)> done) override;

    // Calls queued on the thread and not yet finished (the benchmark and tests watch it).
    int inCorso() const { return m_inCorso; }

private:
    // Runs job on the thread and waits for it in a local event loop.
    void attendi(const std::function<void(AccessPoint &)> &job);
    // Runs job on the thread; then, on the caller's thread, after (when given).
    void accoda(std::function<void(AccessPoint &)> job, std::function<void()> after = {});

    QThread m_thread;
    QObject *m_worker;   // lives on m_thread: the target of the queued calls
    QObject m_ritorno;   // lives on the caller's thread: where finished calls come back
    std::unique_ptr<AccessPoint> m_device;
    std::atomic<bool> m_answered{true};
    std::atomic<bool> m_lineaPersa{false};
    std::atomic<int> m_inCorso{0};
};
