// SPDX-License-Identifier: GPL-3.0-or-later
#include "SnapshotRighe.h"

#include "modGestioneTipiDato.h"

void SnapshotRighe::insert(const QString &key, const QString &item)
{
    const auto it = m_index.constFind(key);
    if (it != m_index.constEnd()) {
        m_items[*it].second = item;
        return;
    }
    m_index.insert(key, m_items.size());
    m_items.append({key, item});
}

QString SnapshotRighe::value(const QString &key, bool *found) const
{
    const auto it = m_index.constFind(key);
    if (found)
        *found = it != m_index.constEnd();
    return it != m_index.constEnd() ? m_items[*it].second : QString();
}

bool quantitaDaStampare(const QString &itemDopo, const SnapshotRighe &prima, double &quantita, QSet<QString> *usati)
{
    const QStringList dopo = itemDopo.split(u'|');
    const QString digest = dopo.value(0);
    const double qtaDopo = tipi::toDouble(dopo.value(1));
    for (const auto &[key, item] : prima.items()) {
        if (usati && usati->contains(key))
            continue;
        const QStringList p = item.split(u'|');
        if (p.value(0) == digest) {
            if (usati)
                usati->insert(key);
            quantita = qtaDopo - tipi::toDouble(p.value(1));
            return true;
        }
    }
    quantita = qtaDopo;
    return true;
}
