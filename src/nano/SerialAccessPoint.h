// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "AccessPoint.h"
#include "ApFrame.h"

#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QSerialPort>
#include <memory>
#include <optional>

class Registry;

// The access point on a serial line (a USB adapter, a COM port, or a pseudo-terminal of the
// emulator). Each operation sends one request frame and waits for its reply frame, synchronously
// and at most the configured timeout, so a dead device never holds the event loop longer than that.
class SerialAccessPoint : public AccessPoint
{
public:
    struct Settings
    {
        qint32 baud = 115200;
        int timeoutMs = 1000;
        QMap<qint32, QString> devices;  // port number -> device path ([PlikoServer] Com<N>)
    };
    static constexpr qsizetype ChunkSize = 512;
    static constexpr qsizetype BufferSize = 2000;
    static constexpr qsizetype InfoSize = 100;
    static inline const QByteArray Version = QByteArrayLiteral("PlikoServer serial access point 1.0");
    // How often a port lost to an I/O error is opened again.
    static constexpr int ReopenIntervalMs = 3000;

    // AccessPointBaud, AccessPointTimeoutMs and the Com<N> mappings of [PlikoServer].
    static Settings readSettings(const Registry &registry);
    // The device of a port number: its mapping, else /dev/ttyS<N-1> (COM<N> on Windows).
    static QString devicePath(qint32 port, const Settings &settings);

    explicit SerialAccessPoint(Settings settings);
    ~SerialAccessPoint() override;

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

    QString deviceName() const { return m_port.portName(); }

private:
    // One request and its reply frame; nothing when the device does not answer in time, answers
    // with a broken frame, or the line is not open.
    std::optional<apframe::Frame> request(char kind, const QByteArray &payload = {});
    void acknowledged(char kind, const QByteArray &payload = {});
    // The port reported an I/O error (the device unplugged, the other end of a pseudo-terminal
    // closed): it is closed, said once, and opened again every ReopenIntervalMs.
    void perdiLinea();
    bool hungUp();
    bool riapri();
    bool apri(const QString &device, bool silenzioso = false);

    Settings m_settings;
    QSerialPort m_port;
    QByteArray m_received;
    std::unique_ptr<QFile> m_database;
    bool m_answered = true;
    bool m_lineaPersa = false;
    QElapsedTimer m_tentativo; // since the last open attempt of a lost line
    int m_sendsAfterEnd = 0;
};
