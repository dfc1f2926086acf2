// SPDX-License-Identifier: GPL-3.0-or-later
#include "SyncFixture.h"

#include "modGestioneTipiDato.h"

using namespace Qt::StringLiterals;

void SyncTest::setOpeningHours(const QString &opening, const QString &closing)
{
    data.exec(u"UPDATE var_str SET value = '"_s + opening + u"' WHERE name = 'ora_apertura_attivita'"_s);
    data.exec(u"UPDATE var_str SET value = '"_s + closing + u"' WHERE name = 'ora_chiusura_attivita'"_s);
}

void SyncTest::setLong(const QString &name, qint32 value)
{
    data.exec(u"DELETE FROM var_long WHERE name = '"_s + name + u"'"_s);
    data.exec(u"INSERT INTO var_long (name, value) VALUES ('"_s + name + u"', "_s + QString::number(value) + u")"_s);
}

qint32 SyncTest::addOrder(double inizio, qint32 operatore, const QList<int> &tables, int coperti, int stato,
                          bool preConto)
{
    data.exec(u"INSERT INTO comande (inizio, ultima_ordinazione, data, coperti, id_operatore, stato, fine, "
              "gia_scaricato, pre_conto) VALUES ("_s
              + tipi::sqlNumber(inizio) + u", "_s + tipi::sqlNumber(inizio + 600) + u", "_s
              + QString::number(qint64(inizio / 86400)) + u", "_s + QString::number(coperti) + u", "_s
              + QString::number(operatore) + u", "_s + QString::number(stato) + u", 0, false, "_s
              + (preConto ? u"true"_s : u"false"_s) + u")"_s);
    const qint32 key = data.scalar(u"SELECT max(id_comanda) FROM comande"_s).toInt();
    for (int t : tables)
        data.exec(u"INSERT INTO tavoli_occupati (numero_tavolo, id_comanda) VALUES ("_s + QString::number(t) + u", "_s
                  + QString::number(key) + u")"_s);
    return key;
}

qint32 SyncTest::addLine(qint32 order, int article, const QString &quantita, int turno)
{
    data.exec(u"INSERT INTO merce_comande (id_comanda, id_articolo, quantita, turno) VALUES ("_s
              + QString::number(order) + u", "_s + QString::number(article) + u", "_s + quantita + u", "_s
              + QString::number(turno) + u")"_s);
    return data.scalar(u"SELECT max(id_merce_comanda) FROM merce_comande"_s).toInt();
}

void SyncTest::addVariation(qint32 line, int variation, const QString &quantita)
{
    data.exec(u"INSERT INTO merce_comande_variazioni (id_merce_comanda, id_variazione, quantita) VALUES ("_s
              + QString::number(line) + u", "_s + QString::number(variation) + u", "_s + quantita + u")"_s);
}

void SyncTest::addReservation(double dataOra, int table)
{
    data.exec(u"INSERT INTO prenotazioni (data_ora, nome, persone) VALUES ("_s + tipi::sqlNumber(dataOra)
              + u", 'Cliente', 2)"_s);
    const QString key = data.scalar(u"SELECT max(id_prenotazione) FROM prenotazioni"_s);
    data.exec(u"INSERT INTO tavoli_prenotati (id_prenotazione, numero_tavolo) VALUES ("_s + key + u", "_s
              + QString::number(table) + u")"_s);
}

void SyncTest::clearReservations()
{
    data.exec(u"DELETE FROM tavoli_prenotati"_s);
    data.exec(u"DELETE FROM prenotazioni"_s);
}

QString SyncTest::onlyReply() const
{
    EXPECT_EQ(link.replies.size(), 1) << link.replies.join(u" // "_s).toStdString();
    return link.replies.value(0);
}
