// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "NullAccessPoint.h"

#include <QList>

// An access point in the test's hands: it delivers the queued handheld messages, records every
// reply operation as kind and payload (the serial request letters), and can play dead.
class RecordingAccessPoint : public NullAccessPoint
{
public:
    qint32 Dll_OpenSerial(qint32 port) override
    {
        opened.append(port);
        return present ? 1 : 0;
    }
    qint32 Dll_ReqSysInfo(QByteArray &buffer) override
    {
        buffer = present && answering ? QByteArray("AP-TEST") : QByteArray();
        return qint32(buffer.size());
    }
    qint32 Dll_RxManager(QByteArray &buffer, qint32 &length) override
    {
        buffer = QByteArray(2000, ' ');
        length = 0;
        if (!answering || messages.isEmpty())
            return 0;
        const QByteArray m = messages.takeFirst();
        buffer.replace(0, m.size() - 1, m.mid(1));
        length = qint32(m.size() - 1);
        return static_cast<unsigned char>(m.at(0));
    }
    void Dll_EnabledVisibleMode() override { sent.append("Y"); }
    void Dll_DisabledVisibleMode() override { sent.append("y"); }
    void Dll_EraseDB(qint32 a, qint32 b) override { sent.append("X" + QByteArray::number(a) + ',' + QByteArray::number(b)); }
    void Dll_SendOrder(const QByteArray &r) override { sent.append("O" + r); }
    void Dll_SendTblList(const QByteArray &r) override { sent.append("T" + r); }
    void Dll_SendLockTbl() override { sent.append("K"); }
    void Dll_SendEmptyTbl() override { sent.append("E"); }
    void Dll_FeedBackForMoveTbl(qint32 code) override { sent.append("W" + QByteArray::number(code)); }
    bool lastCallAnswered() const override { return answering; }

    bool present = true;
    bool answering = true;
    QList<QByteArray> messages;  // kind character then body
    QList<QByteArray> sent;
    QList<qint32> opened;
};
