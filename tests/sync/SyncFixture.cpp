// SPDX-License-Identifier: GPL-3.0-or-later
#include "SyncFixture.h"

#include "modGestioneTipiDato.h"

using namespace Qt::StringLiterals;

void SyncTest::setOpeningHours(const QString &opening, const QString &closing)
{
    data.exec(u"UPDATE var_str SET value = '%1' WHERE name = 'ora_apertura_attivita'"_s.arg(opening));
    data.exec(u"UPDATE var_str SET value = '%1' WHERE name = 'ora_chiusura_attivita'"_s.arg(closing));
}

void SyncTest::setLong(const QString &name, qint32 value)
{
    data.exec(u"DELETE FROM var_long WHERE name = '%1'"_s.arg(name));
    data.exec(u"INSERT INTO var_long (name, value) VALUES ('%1', %2)"_s.arg(name).arg(value));
}

qint32 SyncTest::addOrder(double inizio, qint32 operatore, const QList<int> &tables, int coperti, int stato,
                          bool preConto)
{
    data.exec(u"INSERT INTO comande (inizio, ultima_ordinazione, data, coperti, id_operatore, stato, fine, gia_scaricato,"
              " pre_conto) VALUES (%1, %2, %3, %4, %5, %6, 0, false, %7)"_s.arg(tipi::sqlNumber(inizio),
              tipi::sqlNumber(inizio + 600)).arg(qint64(inizio / 86400)).arg(coperti).arg(operatore).arg(stato)
                  .arg(preConto ? u"true"_s : u"false"_s));
    const qint32 key = data.scalar(u"SELECT max(id_comanda) FROM comande"_s).toInt();
    for (int t : tables)
        data.exec(u"INSERT INTO tavoli_occupati (numero_tavolo, id_comanda) VALUES (%1, %2)"_s.arg(t).arg(key));
    return key;
}

qint32 SyncTest::addLine(qint32 order, int article, const QString &quantita, int turno)
{
    data.exec(u"INSERT INTO merce_comande (id_comanda, id_articolo, quantita, turno) VALUES (%1, %2, %3, %4)"_s.arg(order)
                  .arg(article).arg(quantita).arg(turno));
    return data.scalar(u"SELECT max(id_merce_comanda) FROM merce_comande"_s).toInt();
}

void SyncTest::addVariation(qint32 line, int variation, const QString &quantita)
{
    data.exec(u"INSERT INTO merce_comande_variazioni (id_merce_comanda, id_variazione, quantita) VALUES (%1, %2, %3)"_s
                  .arg(line).arg(variation).arg(quantita));
}

void SyncTest::addReservation(double dataOra, int table)
{
    data.exec(u"INSERT INTO prenotazioni (data_ora, nome, persone) VALUES (%1, 'Cliente', 2)"_s.arg(tipi::sqlNumber(dataOra)));
    data.exec(u"INSERT INTO tavoli_prenotati (id_prenotazione, numero_tavolo) VALUES (%1, %2)"_s
                  .arg(data.scalar(u"SELECT max(id_prenotazione) FROM prenotazioni"_s)).arg(table));
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
