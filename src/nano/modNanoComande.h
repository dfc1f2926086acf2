// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Currency.h"
#include "HandheldLink.h"
#include "NanoHandlers.h"
#include "OrderRecorder.h"
#include "SnapshotRighe.h"
#include "modNanoTavoli.h"

#include <QByteArray>
#include <QList>
#include <functional>

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
    // Told the outcome of every "T" message salvaComandaNano handles: the order's key, or -1.
    void setEsito(std::function<void(qint32)> esito) { m_esito = std::move(esito); }
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
    // -1 when all are taken.
    qint32 tavoloDiRiserva();
    // The free-text part of a body: after its first "$", without "|.|" and "$", split on "|".
    static QList<QByteArray> noteLibere(const QByteArray &body);

    modNanoTavoli &tavoli() { return m_tavoli; }

private:
    enum class Stampa { PreConto, ListaOrdinazioni };
    // One "T" message on its way into the database: what its header says, then what its records
    // add up to. An attempt starts from the header again.
    struct ComandaNano
    {
        QList<QByteArray> t; // the body's tokens
        QList<QByteArray> note; // its free-text part
        qint32 operatore = 0;
        qint32 tavolo = 0;
        qint32 idComanda = -1;
        SnapshotRighe prima;
        Currency totale;
        qint32 coperti = 0;
        Currency costoCoperti;
        QList<Stampa> stampe;
        qint32 ultimaRiga = -1; // the line the next variation belongs to
        double qtaUltima = 0;
    };

    // The steps of a "T" message, in their order.
    bool leggiTesta(const QByteArray &body, ComandaNano &c);
    bool registraUnaVolta(ComandaNano &c, SnapshotRighe &dopo);
    bool apriComanda(ComandaNano &c);
    bool prendiRighe(ComandaNano &c);
    bool prendiRiga(ComandaNano &c, qsizetype i);
    bool prendiVariazione(ComandaNano &c, qsizetype i);
    void prendiCoperti(ComandaNano &c, qsizetype i);
    bool prendiStampa(ComandaNano &c, qsizetype i);
    void calcolaCoperti(ComandaNano &c);
    bool chiudiComanda(ComandaNano &c, SnapshotRighe &dopo);
    void stampaComanda(const ComandaNano &c, const SnapshotRighe &dopo);

    // Recording lines needs no connection: the radio gets no reply to an order.
    class SenzaCollegamento final : public HandheldLink
    {
    public:
        int inviaRisposta(const QString &, int) override { return 1; }
        bool aspettaChiusura(int) override { return true; }
    };

    // Rolls back, logs why and tells the operator (unless it was a conflict, tried again); false.
    bool fallito(const QString &perche);

    clsDatabase &m_db;
    modPlikoServer &m_helpers;
    OperatorUi *m_ui;
    frmStampeDocumenti *m_stampe;
    SenzaCollegamento m_link;
    bool m_conflitto = false; // the attempt failed on a conflict with another writer
    std::function<void(qint32)> m_esito;
    OrderRecorder m_recorder;
    modNanoTavoli m_tavoli;
};
