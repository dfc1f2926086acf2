// SPDX-License-Identifier: GPL-3.0-or-later
// What systemd hears from the server (through a notification socket the test binds, as systemd
// would) and how log lines look under the journal.
#include "LogSetup.h"
#include "SystemdNotifier.h"

#include <QTemporaryDir>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

class NotifySocket : public ::testing::Test
{
protected:
    void SetUp() override
    {
        fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        ASSERT_GE(fd, 0);
        sockaddr_un addr = {};
        addr.sun_family = AF_UNIX;
        const QByteArray path = dir.filePath(u"notify"_s).toLocal8Bit();
        ASSERT_LT(size_t(path.size()), sizeof(addr.sun_path));
        std::memcpy(addr.sun_path, path.constData(), size_t(path.size()));
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)), 0);
        qputenv("NOTIFY_SOCKET", path);
    }
    void TearDown() override
    {
        qunsetenv("NOTIFY_SOCKET");
        ::close(fd);
    }
    // The next message: a local datagram is queued by the time its send returns.
    QString next()
    {
        char buffer[1024];
        const ssize_t n = ::recv(fd, buffer, sizeof(buffer), MSG_DONTWAIT);
        return n > 0 ? QString::fromUtf8(buffer, n) : QString();
    }

    QTemporaryDir dir;
    int fd = -1;
};

} // namespace

TEST_F(NotifySocket, TheServiceManagerHearsReadyStatusReloadingAndStopping)
{
    SystemdNotifier notifier;
    EXPECT_TRUE(SystemdNotifier::underServiceManager());
    notifier.ready(u"servizio palmari, 0 slot in uso"_s);
    EXPECT_EQ(next(), u"READY=1\nSTATUS=servizio palmari, 0 slot in uso"_s);
    // A status is one line, whatever the text holds.
    notifier.status(u"riga\nspezzata"_s);
    EXPECT_EQ(next(), u"STATUS=riga spezzata"_s);
    notifier.reloading();
    EXPECT_TRUE(next().startsWith(u"RELOADING=1\n"_s));
    notifier.stopping();
    EXPECT_TRUE(next().startsWith(u"STOPPING=1\n"_s));
    EXPECT_FALSE(notifier.startWatchdog()) << "no watchdog asked";
    // Without a service manager nothing is sent.
    qunsetenv("NOTIFY_SOCKET");
    EXPECT_FALSE(SystemdNotifier::underServiceManager());
    EXPECT_FALSE(SystemdNotifier::notify("READY=1"));
}

TEST(ServiceNotify, UnderTheJournalLinesCarryPrioritiesAndNoTimeOfTheirOwn)
{
    struct stat st = {};
    ASSERT_EQ(::fstat(2, &st), 0);
    qputenv("JOURNAL_STREAM", QByteArray::number(qulonglong(st.st_dev)) + ':' + QByteArray::number(qulonglong(st.st_ino)));
    EXPECT_TRUE(logsetup::underJournal());
    // A variable inherited by a process whose standard error goes elsewhere does not count.
    qputenv("JOURNAL_STREAM", "1:2");
    EXPECT_FALSE(logsetup::underJournal());
    qunsetenv("JOURNAL_STREAM");
    EXPECT_FALSE(logsetup::underJournal());

    const QString journal = logsetup::messagePattern(true);
    EXPECT_TRUE(journal.startsWith(u"%{if-debug}<7>"_s));
    EXPECT_TRUE(journal.contains(u"%{if-warning}<4>"_s));
    EXPECT_FALSE(journal.contains(u"%{time"_s));
    EXPECT_TRUE(logsetup::messagePattern(false).startsWith(u"%{time"_s));
}
