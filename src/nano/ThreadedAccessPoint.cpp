// SPDX-License-Identifier: GPL-3.0-or-later
#include "ThreadedAccessPoint.h"

#include <QEventLoop>
#include <QPointer>

ThreadedAccessPoint::ThreadedAccessPoint(const std::function<std::unique_ptr<AccessPoint>()> &device)
    : m_worker(new QObject)
{
    m_thread.setObjectName(QStringLiteral("access point"));
    m_worker->moveToThread(&m_thread);
    m_thread.start();
    // The driver's port is made on the thread that uses it.
    QMetaObject::invokeMethod(m_worker, [this, &device] { m_device = device(); }, Qt::BlockingQueuedConnection);
}

ThreadedAccessPoint::~ThreadedAccessPoint()
{
    // The driver goes on its own thread, after whatever call is still running there.
    QMetaObject::invokeMethod(m_worker, [this] { m_device.reset(); }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
    delete m_worker;
}

void ThreadedAccessPoint::accoda(std::function<void(AccessPoint &)> job, std::function<void()> after)
{
    ++m_inCorso;
    QMetaObject::invokeMethod(m_worker, [this, job = std::move(job), after = std::move(after)] {
        job(*m_device);
        m_lineaPersa = m_device->lineaPersa();
        --m_inCorso;
        if (after)
            QMetaObject::invokeMethod(&m_ritorno, after, Qt::QueuedConnection);
    });
}

void ThreadedAccessPoint::attendi(const std::function<void(AccessPoint &)> &job)
{
    // The outcome and the loop are read only on this thread, once the call has come back queued.
    struct Esito
    {
        bool finito = false;
        bool risposta = true;
    };
    auto esito = std::make_shared<Esito>();
    QEventLoop loop;
    QPointer<QEventLoop> attesa(&loop);
    accoda(
        [&job, esito](AccessPoint &ap) {
            job(ap);
            esito->risposta = ap.lastCallAnswered();
        },
        [this, esito, attesa] {
            esito->finito = true;
            m_answered = esito->risposta;
            if (attesa)
                attesa->quit();
        });
    // A loop ended from outside (the program quitting) waits again: the job still refers to this
    // frame, and a call is bounded by the driver's timeout.
    while (!esito->finito)
        loop.exec();
}

qint32 ThreadedAccessPoint::Dll_OpenSerial(qint32 port)
{
    qint32 r = 0;
    attendi([&](AccessPoint &ap) { r = ap.Dll_OpenSerial(port); });
    return r;
}

void ThreadedAccessPoint::Dll_CloseSerial()
{
    attendi([](AccessPoint &ap) { ap.Dll_CloseSerial(); });
}

qint32 ThreadedAccessPoint::Dll_ReqSysInfo(QByteArray &buffer)
{
    qint32 r = 0;
    attendi([&](AccessPoint &ap) { r = ap.Dll_ReqSysInfo(buffer); });
    return r;
}

qint32 ThreadedAccessPoint::Dll_GetDllVersion(QByteArray &buffer)
{
    qint32 r = 0;
    attendi([&](AccessPoint &ap) { r = ap.Dll_GetDllVersion(buffer); });
    return r;
}

void ThreadedAccessPoint::Dll_EnabledVisibleMode()
{
    attendi([](AccessPoint &ap) { ap.Dll_EnabledVisibleMode(); });
}

void ThreadedAccessPoint::Dll_DisabledVisibleMode()
{
    attendi([](AccessPoint &ap) { ap.Dll_DisabledVisibleMode(); });
}

void ThreadedAccessPoint::Dll_EraseDB(qint32 first, qint32 second)
{
    attendi([=](AccessPoint &ap) { ap.Dll_EraseDB(first, second); });
}

qint32 ThreadedAccessPoint::Dll_OpenDataBase(const QString &path)
{
    qint32 r = 0;
    attendi([&](AccessPoint &ap) { r = ap.Dll_OpenDataBase(path); });
    return r;
}

qint32 ThreadedAccessPoint::Dll_SendDataBase()
{
    qint32 r = 0;
    attendi([&](AccessPoint &ap) { r = ap.Dll_SendDataBase(); });
    return r;
}

qint32 ThreadedAccessPoint::Dll_RxManager(QByteArray &buffer, qint32 &length)
{
    qint32 r = 0;
    attendi([&](AccessPoint &ap) { r = ap.Dll_RxManager(buffer, length); });
    return r;
}

// The replies to handheld messages are queued: nothing waits for their acknowledgement, and the
// next poll is queued behind them, so they still reach the device in order.
void ThreadedAccessPoint::Dll_SendOrder(const QByteArray &reply)
{
    accoda([reply](AccessPoint &ap) { ap.Dll_SendOrder(reply); });
}

void ThreadedAccessPoint::Dll_SendTblList(const QByteArray &reply)
{
    accoda([reply](AccessPoint &ap) { ap.Dll_SendTblList(reply); });
}

void ThreadedAccessPoint::Dll_SendLockTbl()
{
    accoda([](AccessPoint &ap) { ap.Dll_SendLockTbl(); });
}

void ThreadedAccessPoint::Dll_SendEmptyTbl()
{
    accoda([](AccessPoint &ap) { ap.Dll_SendEmptyTbl(); });
}

void ThreadedAccessPoint::Dll_FeedBackForMoveTbl(qint32 code)
{
    accoda([code](AccessPoint &ap) { ap.Dll_FeedBackForMoveTbl(code); });
}

void ThreadedAccessPoint::riceviMessaggio(QObject *context, std::function<void(const Messaggio &)> done)
{
    auto esito = std::make_shared<Messaggio>();
    QPointer<QObject> destinatario(context);
    accoda([esito](AccessPoint &ap) { ap.riceviMessaggio(nullptr, [esito](const Messaggio &m) { *esito = m; }); },
           [esito, destinatario, done = std::move(done)] {
               if (destinatario)
                   done(*esito);
           });
}
