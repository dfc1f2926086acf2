// SPDX-License-Identifier: GPL-3.0-or-later
#include "PrintingFixture.h"

#include <QDir>

using namespace Qt::StringLiterals;

void PrintingFixture::SetUp()
{
    PLIKO_SKIP_WITHOUT(tdb);
    ASSERT_TRUE(m_dir.isValid());
    QDir().mkpath(spoolDir());
    registry = std::make_unique<Registry>(m_dir.filePath(u"plikoserver.ini"_s));
    registry->setValue(Registry::OwnKey, u"PrinterBackend"_s, u"spool"_s);
    registry->setValue(Registry::OwnKey, u"PrintSpoolDir"_s, spoolDir());
    frm = std::make_unique<frmStampeDocumenti>(tdb.db(), *registry, &ui);
}

void PrintingFixture::configura(qint32 tipo, const QString &stampante, const QString &valore, bool installata)
{
    registry->setValue(Registry::BackOfficeKey, u"zona_ristorante_"_s + frmStampeDocumenti::nomeTipoStampante(tipo),
                       valore.isEmpty() ? QString(stampante + u"|9"_s) : valore);
    if (installata)
        QDir(spoolDir()).mkpath(stampante);
}

qint32 PrintingFixture::nuovaComanda(qint32 tavolo, qint32 cameriere)
{
    tdb.exec(u"INSERT INTO comande (inizio, id_operatore, stato) VALUES (3919579200, "_s + QString::number(cameriere)
             + u", 0)"_s);
    const qint32 id = tdb.scalar(u"SELECT max(id_comanda) FROM comande"_s).toInt();
    tdb.exec(u"INSERT INTO tavoli_occupati (numero_tavolo, id_comanda) VALUES ("_s + QString::number(tavolo) + u", "_s
             + QString::number(id) + u")"_s);
    return id;
}

qint32 PrintingFixture::nuovaRiga(qint32 comanda, qint32 articolo, double quantita, qint32 turno, qint32 qtaStampata)
{
    tdb.exec(u"INSERT INTO merce_comande (id_comanda, id_articolo, descrizione, quantita, turno, qta_stampata) "
             "SELECT "_s + QString::number(comanda) + u", codice, descrizione & '  ', "_s + QString::number(quantita)
             + u", "_s + QString::number(turno) + u", "_s + QString::number(qtaStampata)
             + u" FROM magazzino WHERE codice = "_s + QString::number(articolo));
    return tdb.scalar(u"SELECT max(id_merce_comanda) FROM merce_comande"_s).toInt();
}

void PrintingFixture::nuovaVariazione(qint32 riga, const QString &descrizione, qint32 idVariazione)
{
    tdb.exec(u"INSERT INTO merce_comande_variazioni (id_merce_comanda, id_variazione, quantita, descrizione) VALUES ("_s
             + QString::number(riga) + u", "_s + QString::number(idVariazione) + u", 1, '"_s
             + clsDatabase::SQLEscape(descrizione) + u"')"_s);
}
