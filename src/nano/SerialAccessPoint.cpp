// SPDX-License-Identifier: GPL-3.0-or-later
#include "SerialAccessPoint.h"

#include "NanoParsing.h"
#include "Registry.h"
#include "modGestioneTipiDato.h"

#include <QDeadlineTimer>
#include <QLoggingCategory>

#ifdef Q_OS_UNIX
#include <poll.h>
#endif

using namespace Qt::StringLiterals;

Q_LOGGING_CATEGORY(lcAp, "pliko.accesspoint")

namespace {
constexpr qint64 MaxPort = 255;
// A device that keeps taking empty chunks after the end of the file without reaching 100 is not
// completing the transfer; the send gives up instead of looping for ever.
constexpr int MaxSendsAfterEnd = 10;

qint64 wholeOption(const Registry &registry, const QString &name, qint64 defaultValue, qint64 min, qint64 max)
{
    const QString text = registry.option(name).trimmed();
    if (text.isEmpty())
        return defaultValue;
    qint64 value = 0;
    if (!tipi::parseWhole(text, &value) || value < min || value > max) {
        qCWarning(lcAp).noquote() << name << "non valido:" << text << "- uso" << defaultValue;
        return defaultValue;
    }
    return value;
}
} // namespace

SerialAccessPoint::Settings SerialAccessPoint::readSettings(const Registry &registry)
{
    Settings s;
    s.baud = qint32(wholeOption(registry, u"AccessPointBaud"_s, s.baud, 1200, 4000000));
    s.timeoutMs = int(wholeOption(registry, u"AccessPointTimeoutMs"_s, s.timeoutMs, 50, 5000));
    for (qint32 port = 1; port <= MaxPort; ++port) {
        const QString device = registry.option(u"Com"_s + QString::number(port)).trimmed();
        if (!device.isEmpty())
            s.devices.insert(port, device);
    }
    return s;
}

QString SerialAccessPoint::devicePath(qint32 port, const Settings &settings)
{
    if (settings.devices.contains(port))
        return settings.devices.value(port);
    if (port < 1 || port > MaxPort)
        return {};
#ifdef Q_OS_WIN
    return u"COM"_s + QString::number(port);
#else
    return u"/dev/ttyS"_s + QString::number(port - 1);
#endif
}

SerialAccessPoint::SerialAccessPoint(Settings settings) : m_settings(std::move(settings)) {}

SerialAccessPoint::~SerialAccessPoint() = default;

qint32 SerialAccessPoint::Dll_OpenSerial(qint32 port)
{
    Dll_CloseSerial();
    m_answered = true;
    const QString device = devicePath(port, m_settings);
    if (device.isEmpty()) {
        qCWarning(lcAp).noquote() << "nessun dispositivo per la porta" << port;
        return 0;
    }
    m_port.setPortName(device);
    if (!apri(device))
        return 0;
    qCInfo(lcAp).noquote() << "porta" << port << "aperta su" << device;
    return 1;
}

bool SerialAccessPoint::apri(const QString &device, bool silenzioso)
{
    if (!m_port.open(QIODevice::ReadWrite)) {
        // A lost line is tried every few seconds: its failures are not news.
        if (silenzioso)
            qCDebug(lcAp).noquote() << "riapertura di" << device << "non riuscita:" << m_port.errorString();
        else
            qCWarning(lcAp).noquote() << "apertura di" << device << "non riuscita:" << m_port.errorString();
        return false;
    }
    // A pseudo-terminal ignores the line settings; a real port must take them.
    const bool configured = m_port.setBaudRate(m_settings.baud) && m_port.setDataBits(QSerialPort::Data8)
                            && m_port.setParity(QSerialPort::NoParity) && m_port.setStopBits(QSerialPort::OneStop)
                            && m_port.setFlowControl(QSerialPort::NoFlowControl);
    if (!configured)
        qCWarning(lcAp).noquote() << device << ": impostazioni della linea non accettate:" << m_port.errorString();
    return true;
}

void SerialAccessPoint::Dll_CloseSerial()
{
    m_database.reset();
    if (m_port.isOpen())
        m_port.close();
    m_received.clear();
    m_lineaPersa = false;
}

void SerialAccessPoint::perdiLinea()
{
    qCWarning(lcAp).noquote() << "porta dell'access point chiusa dopo un errore:" << m_port.portName() << "-"
                               << m_port.errorString();
    m_port.clearError();
    m_port.close();
    m_database.reset();
    m_received.clear();
    m_lineaPersa = true;
    m_tentativo.start();
}

bool SerialAccessPoint::riapri()
{
    if (!m_lineaPersa || m_tentativo.elapsed() < ReopenIntervalMs)
        return false;
    m_tentativo.start();
    if (!apri(m_port.portName(), true)) {
        m_port.clearError();
        return false;
    }
    m_lineaPersa = false;
    qCInfo(lcAp).noquote() << "porta dell'access point riaperta:" << m_port.portName();
    return true;
}

std::optional<apframe::Frame> SerialAccessPoint::request(char kind, const QByteArray &payload)
{
    m_answered = false;
    if (!m_port.isOpen() && !riapri())
        return std::nullopt;
    // A late reply to an earlier request must not answer this one.
    m_port.readAll();
    m_received.clear();
    const QDeadlineTimer deadline(m_settings.timeoutMs);
    m_port.write(apframe::encode(kind, payload));
    while (m_port.bytesToWrite() > 0 && !deadline.hasExpired()) {
        if (!m_port.waitForBytesWritten(int(qMax<qint64>(1, deadline.remainingTime()))))
            break;
    }
    // A port that is gone fails every write; one that is only full (EAGAIN) fails this request alone.
    if (m_port.error() == QSerialPort::ResourceError) {
        perdiLinea();
        return std::nullopt;
    }
    for (;;) {
        m_received.append(m_port.readAll());
        const QList<apframe::Frame> frames = apframe::parseFrames(m_received);
        if (!frames.isEmpty()) {
            m_answered = true;
            if (frames.first().kind == 'n')
                qCWarning(lcAp) << "l'access point non ha capito la richiesta" << kind;
            return frames.first();
        }
        if (deadline.hasExpired())
            break;
        if (!m_port.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())))
            && m_port.error() != QSerialPort::TimeoutError && m_port.error() != QSerialPort::NoError) {
            // An error that comes back at once would otherwise spin here until the deadline.
            if (m_port.error() == QSerialPort::ResourceError || m_port.error() == QSerialPort::ReadError) {
                perdiLinea();
                return std::nullopt;
            }
            qCWarning(lcAp).noquote() << "linea dell'access point:" << m_port.errorString();
            m_port.clearError();
            break;
        }
    }
    // The other end gone (an adapter unplugged, the emulator's terminal closed) is not always
    // reported as an error: the line only falls silent, with a hang-up on its descriptor.
    if (hungUp()) {
        perdiLinea();
        return std::nullopt;
    }
    qCDebug(lcAp) << "nessuna risposta alla richiesta" << kind;
    return std::nullopt;
}

bool SerialAccessPoint::hungUp()
{
#ifdef Q_OS_UNIX
    pollfd p{int(m_port.handle()), POLLIN, 0};
    return m_port.isOpen() && ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
#else
    return false;
#endif
}

void SerialAccessPoint::acknowledged(char kind, const QByteArray &payload)
{
    const auto reply = request(kind, payload);
    if (reply && reply->kind != 'a')
        m_answered = false;
}

qint32 SerialAccessPoint::Dll_ReqSysInfo(QByteArray &buffer)
{
    buffer.clear();
    const auto reply = request('I');
    if (!reply || reply->kind != 'i') {
        m_answered = false;
        return 0;
    }
    buffer = reply->payload.left(InfoSize);
    return qint32(buffer.size());
}

qint32 SerialAccessPoint::Dll_GetDllVersion(QByteArray &buffer)
{
    buffer = Version.left(InfoSize);
    return qint32(buffer.size());
}

void SerialAccessPoint::Dll_EnabledVisibleMode() { acknowledged('Y'); }

void SerialAccessPoint::Dll_DisabledVisibleMode() { acknowledged('y'); }

void SerialAccessPoint::Dll_EraseDB(qint32 first, qint32 second)
{
    acknowledged('X', QByteArray::number(first) + ',' + QByteArray::number(second));
}

qint32 SerialAccessPoint::Dll_OpenDataBase(const QString &path)
{
    m_database.reset();
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::ReadOnly)) {
        qCWarning(lcAp).noquote() << "file del database" << path << ":" << file->errorString();
        return 0;
    }
    const auto reply = request('F', QByteArray::number(file->size()));
    if (!reply || reply->kind != 'a') {
        return 0;
    }
    m_database = std::move(file);
    m_sendsAfterEnd = 0;
    return 1;
}

qint32 SerialAccessPoint::Dll_SendDataBase()
{
    if (!m_database) {
        m_answered = false;
        return 0;
    }
    const QByteArray chunk = m_database->read(ChunkSize);
    if (chunk.isEmpty() && ++m_sendsAfterEnd > MaxSendsAfterEnd) {
        qCWarning(lcAp) << "l'access point non completa il trasferimento";
        m_database.reset();
        m_answered = false;
        return 0;
    }
    const auto reply = request('D', chunk);
    if (!reply || reply->kind != 'p') {
        m_answered = false;
        return 0;
    }
    const qint32 percent = nano::leggiIntero(reply->payload);
    if (percent >= 100)
        m_database.reset();
    return percent;
}

qint32 SerialAccessPoint::Dll_RxManager(QByteArray &buffer, qint32 &length)
{
    buffer = QByteArray(BufferSize, ' ');
    length = 0;
    const auto reply = request('R');
    if (!reply)
        return 0;
    if (reply->kind == 'z')
        return 0;
    if (reply->kind != 'm' || reply->payload.isEmpty()) {
        m_answered = false;
        return 0;
    }
    const QByteArray body = reply->payload.mid(1);
    if (body.size() > BufferSize) {
        qCWarning(lcAp).noquote() << "messaggio Duvu di" << body.size() << "byte ignorato: oltre" << BufferSize;
        return 0;
    }
    buffer.replace(0, body.size(), body);
    length = qint32(body.size());
    return static_cast<unsigned char>(reply->payload.at(0));
}

void SerialAccessPoint::Dll_SendOrder(const QByteArray &reply) { acknowledged('O', reply); }

void SerialAccessPoint::Dll_SendTblList(const QByteArray &reply) { acknowledged('T', reply); }

void SerialAccessPoint::Dll_SendLockTbl() { acknowledged('K'); }

void SerialAccessPoint::Dll_SendEmptyTbl() { acknowledged('E'); }

void SerialAccessPoint::Dll_FeedBackForMoveTbl(qint32 code) { acknowledged('W', QByteArray::number(code)); }
