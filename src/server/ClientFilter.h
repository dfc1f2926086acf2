// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QString>

// The networks handhelds may connect from ([PlikoServer] AllowedClients: CIDR networks separated
// by commas, e.g. "192.168.1.0/24, 10.0.0.5/32"). Empty or "all" admits every address. IPv4
// clients reaching a dual-stack listener are compared as the IPv4 addresses they are.
class ClientFilter
{
public:
    // False (with the offending entry in *error) when an entry is not a network.
    bool parse(const QString &text, QString *error = nullptr);
    bool allows(const QHostAddress &address) const;
    bool admitsAll() const { return m_networks.isEmpty(); }

    // The address as the operator knows it: "::ffff:192.168.1.20" becomes "192.168.1.20".
    static QHostAddress plain(const QHostAddress &address);

private:
    QList<QPair<QHostAddress, int>> m_networks;
};
