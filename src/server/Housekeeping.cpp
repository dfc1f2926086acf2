// SPDX-License-Identifier: GPL-3.0-or-later
#include "Housekeeping.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

using namespace Qt::StringLiterals;

Q_LOGGING_CATEGORY(lcHousekeeping, "pliko.housekeeping")

Housekeeping::Housekeeping(std::function<Limits()> limits, QObject *parent)
    : QObject(parent), m_limits(std::move(limits))
{
    connect(&m_timer, &QTimer::timeout, this, [this] {
        m_timer.setInterval(std::chrono::hours(24));
        run(m_limits(), QDateTime::currentDateTime());
    });
}

void Housekeeping::start()
{
    m_timer.start(std::chrono::minutes(1));
}

int Housekeeping::run(const Limits &limits, const QDateTime &now)
{
    int removed = 0;
    if (!limits.spoolFolder.isEmpty() && limits.spoolKeepDays > 0) {
        const QDateTime before = now.addDays(-limits.spoolKeepDays);
        // Files of the printer folders only: the folders themselves are the printers.
        for (const QFileInfo &printer : QDir(limits.spoolFolder).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            if (printer.isSymLink())
                continue;
            for (const QFileInfo &file : QDir(printer.filePath()).entryInfoList(QDir::Files | QDir::Hidden)) {
                if (file.lastModified() < before && QFile::remove(file.filePath()))
                    ++removed;
            }
        }
    }
    if (!limits.crashFolder.isEmpty() && limits.crashReportKeep > 0) {
        // Newest first; the names carry a time of day that does not sort, the files' times do.
        const QFileInfoList archives =
            QDir(limits.crashFolder).entryInfoList({u"qm10error#*.zip"_s}, QDir::Files, QDir::Time);
        for (qsizetype i = limits.crashReportKeep; i < archives.size(); ++i) {
            if (QFile::remove(archives[i].filePath()))
                ++removed;
        }
    }
    if (removed > 0)
        qCInfo(lcHousekeeping).noquote() << "pulizia: rimossi" << removed << "file vecchi di stampa e rapporti d'errore";
    return removed;
}
