// SPDX-License-Identifier: GPL-3.0-or-later
// The local control socket pliko-ctl talks to: who may use it, where it refuses to start, and what
// a client that misbehaves gets.
#include "ControlChannel.h"
#include "HandheldClient.h"

#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// One exchange as pliko-ctl makes it, with the event loop turning for the channel.
QByteArray ask(const QString &path, const QByteArray &bytes)
{
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!pumpUntil([&] { return socket.state() == QLocalSocket::ConnectedState; }))
        return "(not connected)";
    socket.write(bytes);
    QByteArray answer;
    pumpUntil([&] {
        answer += socket.readAll();
        return socket.state() == QLocalSocket::UnconnectedState;
    });
    return answer + socket.readAll();
}

TEST(ControlChannelTest, CommandsAnswerWithTheirLinesAndAnEndMark)
{
    QTemporaryDir dir;
    ControlChannel channel;
    channel.addStatusSection([] { return QStringList{u"Duvu: ricezione ordini: attiva"_s}; });
    channel.registerCommand(u"eco"_s, u"eco TESTO"_s, [](const QStringList &args) {
        return ControlChannel::Reply{!args.isEmpty(), args};
    });
    const QString path = dir.filePath(u"ctl.sock"_s);
    ASSERT_TRUE(channel.start(path));
    EXPECT_EQ(QFileInfo(path).permissions() & (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther
                                               | QFile::WriteOther),
              QFile::Permissions());

    EXPECT_EQ(ask(path, "status\n"), QByteArray("Duvu: ricezione ordini: attiva\n#END 0\n"));
    EXPECT_EQ(ask(path, "eco uno  due\n"), QByteArray("uno\ndue\n#END 0\n"));
    EXPECT_EQ(ask(path, "eco\n"), QByteArray("#END 1\n"));
    EXPECT_TRUE(ask(path, "spegni tutto\n").endsWith("#END 1\n"));
    EXPECT_TRUE(ask(path, "\n").endsWith("#END 1\n"));
    EXPECT_TRUE(ask(path, "help\n").contains("eco TESTO\n"));
    // A client that sends a flood without a line end is dropped, and the channel serves on.
    EXPECT_FALSE(ask(path, QByteArray(5000, 'x')).contains("#END"));
    EXPECT_EQ(ask(path, "status\n"), QByteArray("Duvu: ricezione ordini: attiva\n#END 0\n"));
}

TEST(ControlChannelTest, ItNeverTakesOverAPathThatIsNotItsOwnSocket)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(u"notes.txt"_s);
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("keep");
    f.close();
    ControlChannel first;
    QString error;
    EXPECT_FALSE(first.start(file, &error));
    EXPECT_TRUE(QFile::exists(file)) << "a file that is not a socket is left alone";
    EXPECT_FALSE(first.start(QString(), &error));

    // A second server on a path where one already answers is refused; the first keeps it.
    const QString path = dir.filePath(u"ctl.sock"_s);
    ASSERT_TRUE(first.start(path));
    ControlChannel second;
    EXPECT_FALSE(second.start(path, &error));
    EXPECT_TRUE(error.contains(u"risponde"_s)) << error.toStdString();
    EXPECT_TRUE(ask(path, "status\n").endsWith("#END 0\n"));
}

} // namespace
