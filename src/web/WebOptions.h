// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHostAddress>
#include <QString>
#include <QStringList>

class Registry;

// The kitchen screens' and console's options of [PlikoServer]: WebAddress (off when empty), WebKey,
// WebCertificate/WebPrivateKey (TLS), ScreenZones and ScreenWarnMinutes. Read and checked in one
// place, so that --check-config and the start agree.
struct WebOptions
{
    static constexpr qsizetype MinKeyLength = 16;

    QHostAddress address;
    quint16 port = 0;
    QString key;
    QString certificate; // PEM files; both or neither
    QString privateKey;
    QStringList zones; // zone names with a screen, as in zona_ristorante_<zone>
    int warnMinutes = 10; // a card turns amber
    int alarmMinutes = 20; // and red

    bool enabled() const { return port != 0; }

    // Every value that cannot be used adds a line to *problems ("Option: what").
    static WebOptions read(const Registry &registry, QStringList *problems);
    // The zone numbers of the kitchen zones, by name ("cucina" -> 2); 0 for none.
    static qint32 zoneNumber(const QString &name);
};
