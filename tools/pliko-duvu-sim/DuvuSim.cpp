// SPDX-License-Identifier: GPL-3.0-or-later
#include "DuvuSim.h"

#include "ApFrame.h"
#include "NanoParsing.h"

#include <QFile>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {
bool fail(QString *error, const char *what)
{
    if (error)
        *error = QString::fromUtf8(what) + u": "_s + QString::fromLocal8Bit(std::strerror(errno));
    return false;
}

bool makeRaw(int fd)
{
    termios tio{};
    if (tcgetattr(fd, &tio) != 0)
        return false;
    cfmakeraw(&tio);
    cfsetispeed(&tio, B115200);
    cfsetospeed(&tio, B115200);
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}
} // namespace

DuvuSim::DuvuSim() = default;

DuvuSim::~DuvuSim()
{
    unplug();
}

void DuvuSim::unplug()
{
    stop();
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
    m_slave = m_master = -1;
}

bool DuvuSim::openPty(QString *error)
{
    // Neither end may leak into a program started meanwhile (the server under test): unplugging
    // the device must close the line for real.
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0)
        return fail(error, "posix_openpt");
    if (grantpt(m_master) != 0 || unlockpt(m_master) != 0)
        return fail(error, "grantpt/unlockpt");
    char name[128] = {};
    if (ptsname_r(m_master, name, sizeof name) != 0)
        return fail(error, "ptsname_r");
    m_devicePath = QString::fromLocal8Bit(name);
    // Holding the terminal side open keeps the line up while the server closes and reopens it,
    // and raw mode from the start means nothing the server sends is echoed or translated.
    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_slave < 0 || !makeRaw(m_slave))
        return fail(error, "lato terminale dello pseudo-terminale");
    return true;
}

bool DuvuSim::openDevice(const QString &path, QString *error)
{
    m_master = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY);
    if (m_master < 0)
        return fail(error, "open");
    if (!makeRaw(m_master))
        return fail(error, "modalità raw");
    m_devicePath = path;
    return true;
}

void DuvuSim::start()
{
    if (m_running || m_master < 0)
        return;
    m_running = true;
    m_thread = std::thread([this] { run(); });
}

void DuvuSim::stop()
{
    m_running = false;
    if (m_thread.joinable())
        m_thread.join();
}

void DuvuSim::setInfo(const QByteArray &info)
{
    std::lock_guard lock(m_mutex);
    m_info = info;
}

void DuvuSim::queueMessage(char kind, const QByteArray &body)
{
    std::lock_guard lock(m_mutex);
    m_queue.append(kind + body);
}

bool DuvuSim::queueLine(const QByteArray &line)
{
    QByteArray text = line;
    while (text.endsWith('\n') || text.endsWith('\r'))
        text.chop(1);
    if (text.isEmpty() || text.startsWith('#'))
        return false;
    queueMessage(text.at(0), text.mid(1));
    return true;
}

int DuvuSim::pendingMessages() const
{
    std::lock_guard lock(m_mutex);
    return int(m_queue.size());
}

QList<QByteArray> DuvuSim::requests() const
{
    std::lock_guard lock(m_mutex);
    return m_requests;
}

QList<QByteArray> DuvuSim::replies() const
{
    std::lock_guard lock(m_mutex);
    return m_replies;
}

QByteArray DuvuSim::database() const
{
    std::lock_guard lock(m_mutex);
    return m_database;
}

int DuvuSim::transfers() const
{
    std::lock_guard lock(m_mutex);
    return m_transfers;
}

void DuvuSim::run()
{
    char chunk[4096];
    while (m_running) {
        pollfd p{m_master, POLLIN, 0};
        const int ready = ::poll(&p, 1, 20);
        if (ready <= 0 || !(p.revents & POLLIN)) {
            if (ready > 0 && (p.revents & (POLLHUP | POLLERR)))
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            continue;
        }
        const ssize_t n = ::read(m_master, chunk, sizeof chunk);
        if (n <= 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            continue;
        }
        std::lock_guard lock(m_mutex);
        m_incoming.append(chunk, n);
        for (const apframe::Frame &frame : apframe::parseFrames(m_incoming))
            handle(frame.kind, frame.payload);
    }
}

// Called with the mutex held.
void DuvuSim::handle(char kind, const QByteArray &payload)
{
    m_requests.append(kind + payload);
    if (m_mode == Mode::Dead)
        return;
    switch (kind) {
    case 'I':
        send('i', m_info.left(100));
        break;
    case 'Y':
    case 'y':
    case 'X':
        send('a');
        break;
    case 'O':
    case 'T':
    case 'K':
    case 'E':
    case 'W': {
        m_replies.append(kind + payload);
        if (!m_repliesFile.isEmpty()) {
            QFile f(m_repliesFile);
            if (f.open(QIODevice::WriteOnly | QIODevice::Append))
                f.write(kind + payload + '\n');
        }
        send('a');
        break;
    }
    case 'F':
        m_expectedSize = nano::leggiIntero(payload);
        m_receiving.clear();
        send('a');
        break;
    case 'D': {
        int percent = 100;
        if (m_expectedSize >= 0) {
            m_receiving.append(payload);
            if (m_receiving.size() >= m_expectedSize) {
                m_database = m_receiving;
                ++m_transfers;
                m_expectedSize = -1;
                if (!m_databaseFile.isEmpty()) {
                    QFile f(m_databaseFile);
                    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
                        f.write(m_database);
                }
            } else {
                percent = int(qMin<qint64>(99, m_receiving.size() * 100 / m_expectedSize));
            }
        }
        if (m_fixedProgress > 0)
            percent = m_fixedProgress;
        send('p', QByteArray::number(percent));
        break;
    }
    case 'R':
        if (m_queue.isEmpty())
            send('z');
        else
            send('m', m_queue.takeFirst());
        break;
    default:
        send('n');
        break;
    }
}

void DuvuSim::send(char kind, const QByteArray &payload)
{
    if (const int delay = m_replyDelayMs; delay > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(delay));
    QByteArray frame = apframe::encode(kind, payload);
    switch (m_mode.load()) {
    case Mode::Garble:
        frame[frame.size() - 2] = frame.at(frame.size() - 2) == '0' ? '1' : '0';
        writeAll(frame);
        break;
    case Mode::Noisy: {
        // Noise (a stray ETX, an STX with no length after it), then the frame in three pieces.
        writeAll(QByteArrayLiteral("\x03noise\x02Zq"));
        const qsizetype third = frame.size() / 3;
        writeAll(frame.left(third));
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        writeAll(frame.mid(third, third));
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        writeAll(frame.mid(2 * third));
        break;
    }
    default:
        writeAll(frame);
        break;
    }
}

void DuvuSim::writeAll(const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
            return;
        }
        done += n;
    }
}
