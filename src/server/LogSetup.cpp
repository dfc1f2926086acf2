// SPDX-License-Identifier: GPL-3.0-or-later
#include "LogSetup.h"

#include <QLoggingCategory>
#include <QStringList>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

using namespace Qt::StringLiterals;

namespace logsetup {

bool underJournal()
{
#ifdef Q_OS_UNIX
    const QByteArray stream = qgetenv("JOURNAL_STREAM");
    const QList<QByteArray> parts = stream.split(':');
    if (parts.size() != 2)
        return false;
    // Only when standard error is that very stream: a child that inherited the variable but
    // writes elsewhere keeps its timestamps.
    struct stat st = {};
    if (::fstat(2, &st) != 0)
        return false;
    bool okDev = false;
    bool okIno = false;
    const qulonglong dev = parts[0].toULongLong(&okDev);
    const qulonglong ino = parts[1].toULongLong(&okIno);
    return okDev && okIno && dev == qulonglong(st.st_dev) && ino == qulonglong(st.st_ino);
#else
    return false;
#endif
}

QString messagePattern(bool journal)
{
    if (journal) {
        // sd-daemon(3) priorities: 7 debug, 6 info, 4 warning, 3 error, 2 critical.
        return u"%{if-debug}<7>%{endif}%{if-info}<6>%{endif}%{if-warning}<4>%{endif}%{if-critical}<3>%{endif}"
               "%{if-fatal}<2>%{endif}%{category}: %{message}"_s;
    }
    return u"%{time yyyy-MM-dd HH:mm:ss.zzz} "
           "%{if-debug}D%{endif}%{if-info}I%{endif}%{if-warning}W%{endif}%{if-critical}C%{endif}"
           "%{if-fatal}F%{endif} %{category}: %{message}"_s;
}

bool isLogLevel(const QString &level)
{
    for (const char16_t *known : {u"debug", u"info", u"warning"}) {
        if (level.compare(QString::fromUtf16(known), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

void applyLogLevel(const QString &level)
{
    QString rules = u"pliko.operator.debug=false\n"_s;
    if (level.compare(u"debug"_s, Qt::CaseInsensitive) == 0)
        rules = u"pliko.*.debug=true\npliko.operator.debug=false\n"_s;
    else if (level.compare(u"warning"_s, Qt::CaseInsensitive) == 0)
        rules += u"pliko.*.debug=false\npliko.*.info=false\n"_s;
    else
        rules += u"pliko.*.debug=false\n"_s;
    QLoggingCategory::setFilterRules(rules);
}

} // namespace logsetup
