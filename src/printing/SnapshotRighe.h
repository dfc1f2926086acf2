// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <utility>

// The lines of an order at one moment, keyed by id_merce_comanda as text; each item is the
// digest of the line's content, "|", and its quantity. Items keep the order they were inserted
// in, because the quantity-to-print rule takes the first matching item of the earlier snapshot.
class SnapshotRighe
{
public:
    // Inserts, or replaces the item of a key already there (keeping its place).
    void insert(const QString &key, const QString &item);
    bool contains(const QString &key) const { return m_index.contains(key); }
    // The item of a key; *found false (and "") when the key is absent.
    QString value(const QString &key, bool *found = nullptr) const;
    qsizetype size() const { return m_items.size(); }
    bool isEmpty() const { return m_items.isEmpty(); }
    const QList<std::pair<QString, QString>> &items() const { return m_items; }

private:
    QList<std::pair<QString, QString>> m_items;
    QHash<QString, qsizetype> m_index;
};

// How much of a line to print: split the later item at "|"; the first item of the earlier
// snapshot with the same digest gives quantity = later quantity - its quantity, and with none
// the whole later quantity is new. Always true (the caller prints when the quantity is above 0).
// With usati, an earlier item answers for one later line only: its key is added to usati and
// items already there are passed over, so a second identical line of an order is new, not a
// repetition of the first.
bool quantitaDaStampare(const QString &itemDopo, const SnapshotRighe &prima, double &quantita,
                        QSet<QString> *usati = nullptr);
