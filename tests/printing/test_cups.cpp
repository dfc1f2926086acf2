// SPDX-License-Identifier: GPL-3.0-or-later
#include "PrintingFixture.h"
#include "PrinterBackend.h"
#include "PrintControl.h"
#include "TicketDelivery.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

using namespace Qt::StringLiterals;

namespace {

// A thermal printer on the network: takes one connection at a time and keeps what it receives.
class SocketPrinter
{
public:
    SocketPrinter()
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this]() {
            while (QTcpSocket *s = m_server.nextPendingConnection()) {
                QObject::connect(s, &QTcpSocket::readyRead, s, [this, s]() { m_received += s->readAll(); });
                QObject::connect(s, &QTcpSocket::disconnected, s, [this, s]() {
                    m_received += s->readAll();
                    ++m_jobs;
                    s->deleteLater();
                });
            }
        });
    }
    QString uri() const { return u"socket://127.0.0.1:"_s + QString::number(m_server.serverPort()); }
    const QByteArray &received() const { return m_received; }
    // The jobs received, once at least one has come (or a minute has passed).
    int jobs(bool wait = false) const
    {
        QElapsedTimer t;
        t.start();
        while (wait && m_jobs == 0 && t.elapsed() < 60000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
        return m_jobs;
    }

private:
    QTcpServer m_server;
    QByteArray m_received;
    int m_jobs = 0;
};

// A CUPS scheduler of our own: private configuration and spool folders, a private port, and one raw
// queue per printer given. Stopped when the test ends.
class PrivateCups
{
public:
    ~PrivateCups()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(10000))
            m_process.kill();
    }

    // `stopped`: queues that take jobs and hold them (a printer off or out of paper).
    bool start(const QList<std::pair<QString, QString>> &queues, QString *why, const QStringList &stopped = {})
    {
        const QString cupsd = QStandardPaths::findExecutable(u"cupsd"_s, {u"/usr/sbin"_s, u"/usr/local/sbin"_s,
                                                                           u"/sbin"_s});
        if (cupsd.isEmpty()) {
            *why = u"cupsd is not installed (Debian package cups-daemon)"_s;
            return false;
        }
        // The backends run as the lp user: they must be able to read the spooled job.
        QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                                                | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
        const QString root = m_dir.path();
        QString files = u"ServerBin /usr/lib/cups\nDataDir /usr/share/cups\nSandboxing relaxed\n"_s;
        for (const auto &[key, sub] : {std::pair{"ServerRoot", "conf"}, {"RequestRoot", "spool"}, {"CacheDir", "cache"},
                                       {"StateDir", "state"}, {"TempDir", "tmp"}, {"ErrorLog", "log/error_log"},
                                       {"AccessLog", "log/access_log"}, {"PageLog", "log/page_log"}}) {
            QDir(root).mkpath(QString::fromLatin1(sub).section(u'/', 0, 0));
            files += QString::fromLatin1(key) + u' ' + root + u'/' + QString::fromLatin1(sub) + u'\n';
        }
        QTcpServer probe; // a free port
        probe.listen(QHostAddress::LocalHost, 0);
        m_port = probe.serverPort();
        probe.close();
        write(u"conf/cupsd.conf"_s,
              u"Listen 127.0.0.1:"_s + QString::number(m_port) + u"\nLogLevel warn\nBrowsing No\nWebInterface No\n"
              "DefaultAuthType None\n<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
              "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n"_s);
        write(u"conf/cups-files.conf"_s, files);
        QString printers;
        for (const auto &[name, uri] : queues)
            printers += u"<Printer "_s + name + u">\nInfo "_s + name + u"\nDeviceURI "_s + uri
                + (stopped.contains(name) ? u"\nState Stopped"_s : u"\nState Idle"_s)
                + u"\nAccepting Yes\nShared No\n</Printer>\n"_s;
        write(u"conf/printers.conf"_s, printers);

        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(cupsd, {u"-f"_s, u"-c"_s, root + u"/conf/cupsd.conf"_s, u"-s"_s,
                                root + u"/conf/cups-files.conf"_s});
        QElapsedTimer t;
        t.start();
        while (m_process.waitForStarted(5000) && t.elapsed() < 20000) {
            if (m_process.state() == QProcess::NotRunning)
                break;
            QTcpSocket probe;
            probe.connectToHost(QHostAddress::LocalHost, m_port);
            if (probe.waitForConnected(200))
                return true;
            QThread::msleep(100);
        }
        *why = u"cupsd did not answer on its port: "_s + m_process.errorString() + u' '
               + QString::fromLocal8Bit(m_process.readAll()) + log();
        return false;
    }

    QString server() const { return u"127.0.0.1:"_s + QString::number(m_port); }
    QString log() const
    {
        QFile f(QDir(m_dir.path()).filePath(u"log/error_log"_s));
        return f.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(f.readAll()) : QString();
    }

private:
    void write(const QString &name, const QString &text)
    {
        QFile f(QDir(m_dir.path()).filePath(name));
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            f.write(text.toUtf8());
    }

    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
};

} // namespace

using CupsPrinting = PrintingFixture;

// The kitchen's ticket reaches its thermal printer through CUPS; the pizzeria's queue is stopped (a
// printer off or out of paper) and its job moves to the till after the failover time; the bar has no queue.
TEST_F(CupsPrinting, TicketsReachThermalPrintersThroughCupsAndAStoppedQueueMovesToTheBackup)
{
    SocketPrinter kitchen;
    SocketPrinter pizzeria;
    SocketPrinter till;
    PrivateCups cups;
    QString why;
    if (!cups.start({{u"Cucina"_s, kitchen.uri()}, {u"Pizzeria"_s, pizzeria.uri()}, {u"Cassa"_s, till.uri()}}, &why,
                    {u"Pizzeria"_s}))
        GTEST_SKIP() << "no CUPS scheduler for this test: " << why.toStdString();
    registry->setValue(Registry::OwnKey, u"PrinterBackend"_s, u"cups"_s);
    registry->setValue(Registry::OwnKey, u"CupsServer"_s, cups.server());
    registry->setValue(Registry::OwnKey, u"FailoverSeconds"_s, u"1"_s);
    registry->setValue(Registry::OwnKey, u"BackupPrinter_pizzeria"_s, u"Cassa"_s);
    for (const auto &[tipo, nome] : {std::pair{2, u"Cucina"_s}, std::pair{3, u"Pizzeria"_s}, std::pair{4, u"Bar"_s}})
        configura(tipo, nome, nome + u"|9"_s, false);
    const qint32 c = nuovaComanda(5, 1);
    const qint32 pasta = nuovaRiga(c, Carbonara, 2);
    nuovaRiga(c, Margherita, 2);
    const auto stato = [this](int zona) {
        return tdb.scalar(u"SELECT stato FROM pliko_stampe WHERE zona = "_s + QString::number(zona));
    };

    frm->stampaComanda(c, u"5"_s);

    ASSERT_EQ(kitchen.jobs(true), 1) << cups.log().toStdString();
    const QByteArray &bytes = kitchen.received();
    EXPECT_TRUE(bytes.startsWith("\x1b@")) << bytes.left(20).toHex().toStdString();
    EXPECT_TRUE(bytes.contains("** TAVOLO 5 **"));
    EXPECT_TRUE(bytes.contains("2 Spaghetti alla carbonara"));
    EXPECT_TRUE(bytes.endsWith("\x1dV\x01"));
    EXPECT_EQ(qtaStampata(pasta), u"2"_s);
    EXPECT_TRUE(ui.messages().isEmpty());
    // Printed once its CUPS job completed.
    QElapsedTimer t;
    t.start();
    while (stato(2) != u"2"_s && t.elapsed() < 20000) {
        frm->consegna().riprova();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
    }
    EXPECT_EQ(stato(2), u"2"_s);

    // Taken by the stopped queue: sent, with its job, not printed.
    ASSERT_EQ(stato(3), u"1"_s);
    const QString job = tdb.scalar(u"SELECT consegna FROM pliko_stampe WHERE zona = 3"_s);
    auto *backend = frm->vp().backend();
    EXPECT_EQ(backend->jobState(job), PrinterBackend::JobState::Pending);
    EXPECT_EQ(frm->consegna().riprova(), 0) << "within the failover time the job is left to the queue";
    // A restart finds the job still pending and leaves it to the queue, printing nothing again.
    EXPECT_EQ(TicketDelivery(*frm, tdb.db(), *registry, &ui).recupera(), 0);
    EXPECT_EQ(stato(3), u"1"_s);

    regional.clock().advance(2);
    EXPECT_EQ(frm->consegna().riprova(), 1);
    EXPECT_EQ(backend->jobState(job), PrinterBackend::JobState::Failed) << "the held job is cancelled";
    EXPECT_EQ(stato(3), u"4"_s);
    ASSERT_EQ(till.jobs(true), 1) << cups.log().toStdString();
    EXPECT_TRUE(till.received().contains("PIZZERIA - STAMPANTE DI RISERVA"));
    EXPECT_TRUE(till.received().contains("2 Margherita"));
    EXPECT_EQ(pizzeria.jobs(), 0);

    // A beer for the bar, whose queue does not exist: the operator is told and the beer waits.
    nuovaRiga(c, Birra, 1);
    frm->stampaComanda(c, u"5"_s);
    EXPECT_EQ(ui.messages(), QStringList{frmStampeDocumenti::MsgConfigurazioneStampante + u" (Bar)"_s});
    EXPECT_EQ(tdb.scalar(u"SELECT count(*) FROM pliko_stampe WHERE zona = 4 AND stato = 3"_s), u"1"_s);
}
