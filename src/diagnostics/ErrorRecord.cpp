// SPDX-License-Identifier: GPL-3.0-or-later
#include "ErrorRecord.h"

#include "Version.h"

#include <QCoreApplication>
#include <QCryptographicHash>

using namespace Qt::StringLiterals;

namespace diagnostics {

ErrorRecord &errorRecord()
{
    // Per thread, as the legacy Err object: a fault captured on the database thread is handled there.
    thread_local ErrorRecord record;
    return record;
}

void capture(qint32 number, const QString &description, qint32 line)
{
    ErrorRecord &r = errorRecord();
    r.number = number;
    r.description = description;
    r.line = line;
}

void clearError()
{
    capture(0, {}, 0);
}

QString moduleTextOf(const QString &module, qint32 line)
{
    return line != 0 ? module + u" (Linea: "_s + QString::number(line) + u')' : module;
}

QString errorTextOf(const QString &message, qint32 number, const QString &description)
{
    return message.isEmpty() ? QString::number(number) + u"  "_s + description : message;
}

QString errorTimeOf(const QDateTime &when)
{
    return when.toString(u"dd.MM.yyyy-HH.mm.ss"_s);
}

QString percentEncode(const QString &value)
{
    static const char hex[] = "0123456789ABCDEF";
    QString out;
    const QByteArray bytes = value.toUtf8();
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b == ' ' || (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z')) {
            out += QLatin1Char(char(b));
        } else {
            out += u'%';
            out += QLatin1Char(hex[b >> 4]);
            out += QLatin1Char(hex[b & 0xF]);
        }
    }
    return out;
}

QString errFileText(const ErrorRecord &r, const QString &customerId, const QString &email)
{
    const QString id = r.errorTime + u'-' + QString::number(QCoreApplication::applicationPid());
    const QList<std::pair<const char *, QString>> items{
        {"CUSTOMERID", customerId},
        {"EMAIL", email},
        {"ID", id},
        {"APP", u"PlikoServer"_s},
        {"DATA", r.errorTime},
        {"VERSIONEOS", r.operatingSystem},
        {"VERSIONE", version()},
        {"BUILD", build()},
        {"CODICE", r.errorText},
        {"MODULO", r.moduleText},
        {"COMMENTO", r.comment},
        {"DBSTATUS", r.databaseStatus},
        {"USER", r.user},
        {"MACHINE", r.machine},
    };
    QString text = u"<ERRORE>\r\n"_s;
    QCryptographicHash check(QCryptographicHash::Md5);
    for (const auto &[tag, value] : items) {
        const QString name = QString::fromLatin1(tag);
        text += u"\t<"_s + name + u'>' + percentEncode(value) + u"</"_s + name + u">\r\n"_s;
        check.addData(value.toUtf8());
    }
    // The check lets the receiving end tell a report edited by hand from one written here.
    text += u"\t<CHECK>"_s + QString::fromLatin1(check.result().toHex()) + u"</CHECK>\r\n"_s;
    text += u"</ERRORE>\r\n"_s;
    return text;
}

} // namespace diagnostics
