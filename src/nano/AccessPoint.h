// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

class QObject;

// The radio access point's library operations. Texts cross as single-byte buffers that the device
// may overwrite. Start-up only opens the link and probes it (Dll_OpenSerial, then Dll_ReqSysInfo);
// the receive loop, the database transfer and the table services use the rest. A driver may answer
// in place or on a thread of its own (ThreadedAccessPoint); callers see the same calls either way.
class AccessPoint
{
public:
    // One poll's outcome: the message kind (0: nothing to handle) and body, whether the device
    // answered, and whether the line itself is lost (the device unplugged, the port gone).
    struct Messaggio
    {
        qint32 kind = 0;
        QByteArray body;
        bool answered = true;
        bool lineaPersa = false;
    };

    virtual ~AccessPoint() = default;

    // 1 when the serial port (3 for COM3) was opened; anything else is a failure.
    virtual qint32 Dll_OpenSerial(qint32 port) = 0;
    virtual void Dll_CloseSerial() = 0;
    // Writes the system information into buffer (at most 100 characters) and returns its length;
    // 0 means the access point is not answering.
    virtual qint32 Dll_ReqSysInfo(QByteArray &buffer) = 0;
    virtual qint32 Dll_GetDllVersion(QByteArray &buffer) = 0;
    virtual void Dll_EnabledVisibleMode() = 0;
    virtual void Dll_DisabledVisibleMode() = 0;
    virtual void Dll_EraseDB(qint32 first, qint32 second) = 0;
    // 1 when the exported database file was accepted.
    virtual qint32 Dll_OpenDataBase(const QString &path) = 0;
    // Transfer progress in percent; anything over 100 counts as 100.
    virtual qint32 Dll_SendDataBase() = 0;
    // The kind of the next message as a character code ('T', 'V', 'l', 'L', 'N', 'S'; anything else:
    // nothing to handle); buffer receives the body (at most 2000 characters), length its length.
    virtual qint32 Dll_RxManager(QByteArray &buffer, qint32 &length) = 0;
    virtual void Dll_SendOrder(const QByteArray &reply) = 0;
    virtual void Dll_SendTblList(const QByteArray &reply) = 0;
    virtual void Dll_SendLockTbl() = 0;
    virtual void Dll_SendEmptyTbl() = 0;
    virtual void Dll_FeedBackForMoveTbl(qint32 code) = 0;

    // Whether the device answered the last operation (false after a timeout or a broken reply).
    // The receive loop counts failed polls with it; a driver without a device to lose says true.
    virtual bool lastCallAnswered() const { return true; }
    // The port reported an I/O error and was closed; the driver reopens it by itself.
    virtual bool lineaPersa() const { return false; }

    // Polls for the next handheld message and hands the outcome to done on context's thread:
    // here at once (Dll_RxManager in place); a threaded driver later, without waiting. done is not
    // called once context is gone.
    virtual void riceviMessaggio(QObject *context, std::function<void(const Messaggio &)> done);
};
