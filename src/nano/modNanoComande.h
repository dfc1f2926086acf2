// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "HandheldLink.h"
#include "NanoHandlers.h"
#include "OrderRecorder.h"
#include "SnapshotRighe.h"
#include "modNanoTavoli.h"

#include <QByteArray>
#include <QList>

class clsDatabase;
class frmStampeDocumenti;
class modPlikoServer;
class OperatorUi;

// What the radio messages do: a "T" message rewrites one table's order in one transaction (lines
// recorded as the TCP orders record theirs) and, once committed, prints its pre-bill or order list
// when asked and the kitchen tickets of what changed; the table services answer from the database.
class modNanoComande final : public NanoHandlers
{
public:
    // stampe may be null: orders are then recorded without printing anything.
    modNanoComande(clsDatabase &db, modPlikoServer &helpers, OperatorUi *ui, frmStampeDocumenti *stampe);

    void salvaComandaNano(const QByteArray &body) override;
    QByteArray statoTavoloNano(qint16 table) override { return m_tavoli.statoTavoloNano(table); }
    QByteArray listaTavoliNano(qint32 operatorNano) override { return m_tavoli.listaTavoliNano(operatorNano); }
    qint32 spostaTavoloNano(const QByteArray &body) override { return m_tavoli.spostaTavoloNano(body); }

    // salvaComandaNano with its outcome: the order's key, or -1 when the message was dropped or
    // rolled back (nothing of it recorded, nothing printed).
    qint32 registraComandaNano(const QByteArray &body);

    // The lines of an order keyed by id_merce_comanda: the digest of what the line is (article,
    // variations, free notes), "|", its quantity. Two snapshots tell the kitchen what changed.
    SnapshotRighe snapshotRighe(qint32 idComanda);
    bool esisteTavolo(qint32 tavolo);
    // The first spare table from 999 down to 981 that has no row (it is added) or no open order;
    // 999 when all are taken.
    qint32 tavoloDiRiserva();
    // The free-text part of a body: after its first "$", without "|.|" and "$", split on "|".
    static QList<QByteArray> noteLibere(const QByteArray &body);

    modNanoTavoli &tavoli() { return m_tavoli; }

private:
    // Recording lines needs no connection: the radio gets no reply to an order.
    class SenzaCollegamento final : public HandheldLink
    {
    public:
        int inviaRisposta(const QString &, int) override { return 1; }
        bool aspettaChiusura(int) override { return true; }
    };

    qint32 fallito(const QString &perche);

    clsDatabase &m_db;
    modPlikoServer &m_helpers;
    OperatorUi *m_ui;
    frmStampeDocumenti *m_stampe;
    SenzaCollegamento m_link;
    OrderRecorder m_recorder;
    modNanoTavoli m_tavoli;
};
