// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "AccessPoint.h"

// The access point when no driver or device is present: every open fails and every probe finds
// nothing, so start-up reports the failure and goes on without the radio service.
class NullAccessPoint : public AccessPoint
{
public:
    qint32 Dll_OpenSerial(qint32) override { return 0; }
    void Dll_CloseSerial() override {}
    qint32 Dll_ReqSysInfo(QByteArray &buffer) override { buffer.clear(); return 0; }
    qint32 Dll_GetDllVersion(QByteArray &buffer) override { buffer.clear(); return 0; }
    void Dll_EnabledVisibleMode() override {}
    void Dll_DisabledVisibleMode() override {}
    void Dll_EraseDB(qint32, qint32) override {}
    qint32 Dll_OpenDataBase(const QString &) override { return 0; }
    qint32 Dll_SendDataBase() override { return 0; }
    qint32 Dll_RxManager(QByteArray &buffer, qint32 &length) override { buffer.clear(); length = 0; return 0; }
    void Dll_SendOrder(const QByteArray &) override {}
    void Dll_SendTblList(const QByteArray &) override {}
    void Dll_SendLockTbl() override {}
    void Dll_SendEmptyTbl() override {}
    void Dll_FeedBackForMoveTbl(qint32) override {}
};
