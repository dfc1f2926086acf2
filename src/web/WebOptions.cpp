// SPDX-License-Identifier: GPL-3.0-or-later
#include "WebOptions.h"

#include "Registry.h"
#include "frmStampeDocumenti.h"

#include <QFileInfo>

using namespace Qt::StringLiterals;

qint32 WebOptions::zoneNumber(const QString &name)
{
    // The zones that get kitchen tickets (cassa, cucina, pizzeria, bar).
    for (qint32 z : { 1, 2, 3, 4 })
        if (name.compare(frmStampeDocumenti::nomeTipoStampante(z), Qt::CaseInsensitive) == 0)
            return z;
    return 0;
}

WebOptions WebOptions::read(const Registry &registry, QStringList *problems)
{
    WebOptions o;
    auto complain = [problems](const QString &name, const QString &what) {
        if (problems)
            problems->append(name + u": "_s + what);
    };
    const QString address = registry.option(u"WebAddress"_s).trimmed();
    o.key = registry.option(u"WebKey"_s);
    if (!address.isEmpty()) {
        const qsizetype colon = address.lastIndexOf(u':');
        QString host = colon < 0 ? QString() : address.left(colon);
        if (host.startsWith(u'[') && host.endsWith(u']'))
            host = host.mid(1, host.size() - 2);
        bool ok = false;
        const uint port = colon < 0 ? 0 : address.mid(colon + 1).toUInt(&ok);
        QHostAddress a;
        if (colon < 0 || !ok || port == 0 || port > 65535 || !a.setAddress(host)) {
            complain(u"WebAddress"_s, u"\""_s + address + u"\" non è indirizzo:porta (es. 0.0.0.0:8080)"_s);
        } else if (o.key.size() < MinKeyLength) {
            // Screens on the restaurant's network without a key would show and bump for anyone.
            complain(u"WebKey"_s,
                o.key.isEmpty() ? u"manca: WebAddress la richiede"_s : u"troppo corta (almeno 16 caratteri)"_s);
        } else {
            o.address = a;
            o.port = quint16(port);
        }
    } else if (!o.key.isEmpty() && o.key.size() < MinKeyLength) {
        complain(u"WebKey"_s, u"troppo corta (almeno 16 caratteri)"_s);
    }
    o.certificate = registry.option(u"WebCertificate"_s).trimmed();
    o.privateKey = registry.option(u"WebPrivateKey"_s).trimmed();
    if (o.certificate.isEmpty() != o.privateKey.isEmpty())
        complain(o.certificate.isEmpty() ? u"WebCertificate"_s : u"WebPrivateKey"_s,
            u"WebCertificate e WebPrivateKey vanno indicati insieme"_s);
    for (const QString *file : { &o.certificate, &o.privateKey })
        if (!file->isEmpty() && !QFileInfo(*file).isReadable())
            complain(
                file == &o.certificate ? u"WebCertificate"_s : u"WebPrivateKey"_s, u"file non leggibile: "_s + *file);
    for (const QString &z : registry.option(u"ScreenZones"_s).split(u',', Qt::SkipEmptyParts)) {
        const QString name = z.trimmed().toLower();
        if (zoneNumber(name) == 0)
            complain(u"ScreenZones"_s, u"zona sconosciuta \""_s + name + u"\" (cucina, bar, pizzeria, cassa)"_s);
        else if (!o.zones.contains(name))
            o.zones.append(name);
    }
    const QString warn = registry.option(u"ScreenWarnMinutes"_s).trimmed();
    if (!warn.isEmpty()) {
        const QStringList parts = warn.split(u',');
        bool ok1 = false, ok2 = false;
        const int amber = parts.value(0).trimmed().toInt(&ok1);
        const int red = parts.value(1).trimmed().toInt(&ok2);
        if (parts.size() != 2 || !ok1 || !ok2 || amber <= 0 || red <= amber || red > 24 * 60)
            complain(u"ScreenWarnMinutes"_s, u"\""_s + warn + u"\" non è \"giallo,rosso\" in minuti (es. 10,20)"_s);
        else {
            o.warnMinutes = amber;
            o.alarmMinutes = red;
        }
    }
    return o;
}
