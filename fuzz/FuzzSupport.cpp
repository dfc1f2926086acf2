// SPDX-License-Identifier: GPL-3.0-or-later
#include "FuzzSupport.h"

#include "RestaurantSchema.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>

using namespace Qt::StringLiterals;

namespace fuzz {

namespace {
void quiet(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    // A fatal message is a finding: let it through so the crash carries its reason.
    if (type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}
} // namespace

void initialise()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quiet);
    static int argc = 1;
    static char name[] = "fuzz";
    static char *argv[] = {name, nullptr};
    new QCoreApplication(argc, argv); // lives for the whole run
}

QString demoDatabase()
{
    static QTemporaryDir *dir = nullptr;
    static QString path;
    if (!dir) {
        // In memory where the machine offers it: a request's commit is a file sync, which on a disk
        // costs more than the request, and the targets fuzz the code, not the disk.
        const QString base = QFileInfo(u"/dev/shm"_s).isWritable() ? u"/dev/shm"_s : QDir::tempPath();
        dir = new QTemporaryDir(base + u"/pliko-fuzz-XXXXXX"_s);
        // The process ends through exit(): the folder goes with it rather than stay behind.
        std::atexit([] { dir->remove(); });
        path = dir->filePath(u"restaurant.db"_s);
        QString error;
        if (!schema::createDatabase(path, true, &error)) {
            std::fprintf(stderr, "demo database: %s\n", error.toLocal8Bit().constData());
            std::abort();
        }
    }
    return path;
}

QString wireText(const uint8_t *data, size_t size)
{
    QString text(qsizetype(size), Qt::Uninitialized);
    // Windows-1252 and Latin-1 differ only in 0x80-0x9F, which make no difference to the parsers.
    for (size_t i = 0; i < size; ++i)
        text[qsizetype(i)] = QChar(char16_t(data[i]));
    return text;
}

} // namespace fuzz
