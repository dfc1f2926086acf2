// SPDX-License-Identifier: GPL-3.0-or-later
#include "ClientFilter.h"

#include <QStringList>

using namespace Qt::StringLiterals;

bool ClientFilter::parse(const QString &text, QString *error)
{
    QList<QPair<QHostAddress, int>> networks;
    const QString trimmed = text.trimmed();
    if (!trimmed.isEmpty() && trimmed.compare(u"all"_s, Qt::CaseInsensitive) != 0) {
        for (const QString &part : trimmed.split(u',', Qt::SkipEmptyParts)) {
            const QString entry = part.trimmed();
            if (entry.isEmpty())
                continue;
            auto subnet = QHostAddress::parseSubnet(entry.contains(u'/') ? entry : QString(entry + u"/"_s
                + (entry.contains(u':') ? u"128"_s : u"32"_s)));
            if (subnet.first.isNull() || subnet.second < 0) {
                if (error)
                    *error = entry;
                return false;
            }
            networks.append(subnet);
        }
    }
    m_networks = networks;
    return true;
}

bool ClientFilter::allows(const QHostAddress &address) const
{
    if (m_networks.isEmpty())
        return true;
    const QHostAddress a = plain(address);
    for (const auto &net : m_networks) {
        if (a.isInSubnet(net))
            return true;
    }
    return false;
}

QHostAddress ClientFilter::plain(const QHostAddress &address)
{
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        bool ok = false;
        const quint32 v4 = address.toIPv4Address(&ok);
        if (ok)
            return QHostAddress(v4);
    }
    return address;
}
