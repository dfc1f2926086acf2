// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "OrderText.h"
#include "Recordset.h"

#include <QHash>
#include <QSet>
#include <QVariantList>
#include <QString>
#include <array>
#include <functional>
#include <memory>

class OrderPrinting;
class clsDatabase;
class modPlikoServer;
class HandheldLink;
class OperatorUi;

// Records the orders that TCP handhelds send ("Comanda"): finds the order by its opening moment
// and waiter or creates it, and replaces its tables, lines, variations and stock commitment in one
// transaction. The handheld hears "ComandaOK|" only once all of it is committed; the kitchen
// tickets print after the connection has closed.
class OrderRecorder
{
public:
    // A line of an article with no row in magazzino: left out and reported unavailable.
    static constexpr qint32 ArticoloSconosciuto = -2;

    // The order-sending test: counts and logs a test order (prologue of test mode).
    using TestLog = std::function<void(const QString &line)>;

    OrderRecorder(clsDatabase &db, modPlikoServer &helpers, HandheldLink &link, OperatorUi *ui,
                  OrderPrinting *printing);

    void setTestLog(TestLog log) { m_testLog = std::move(log); }
    // Told of the key of each order recorded, before its handheld hears the reply.
    void setRegistrata(std::function<void(qint32 idComanda)> registrata) { m_registrata = std::move(registrata); }

    // Returns false when the order text was rejected (nothing written, no reply). `letta` is the
    // text already read (on the network thread); without it the text is read here.
    bool salvaComanda(const QString &text, int index, bool test, bool scarico, const LetturaComanda *letta = nullptr);

    // Starts the lines of a new order: forgets the VAT rates and unit names read for the previous
    // one. A caller that records lines itself (the radio orders) calls it once per order, as
    // salvaComanda does.
    void nuovaComanda();
    // Inside the open transaction: gives back the stock the order's lines commit and removes the
    // lines with their variations, before the order's lines are written again. False on failure
    // (the caller rolls back). `nuova`: the key was given just now, so its lines are looked for first.
    bool rilasciaRighe(qint32 idComanda, bool nuova = false);
    // One order line inside the open transaction; its key, -1 when it could not be written
    // (transaction rolled back), ArticoloSconosciuto when the article does not exist.
    qint32 salvaMerceComanda(qint32 idComanda, qint32 articolo, double quantita, double prezzo, qint16 turno,
                             const QString &descrizione, qint32 giaStampata, qint32 qtaStampata);
    // One variation of a line; false when the transaction had to be rolled back.
    bool salvaVariazione(qint32 idMerceComanda, qint32 variazione, double quantita);
    // Whether the last failure was a conflict with another writer (the order is worth recording
    // again whole). nuovaComanda clears it.
    bool conflitto() const { return m_conflitto; }

    static constexpr int ConflictAttempts = 3;

private:
    // Records a parsed order in one transaction, replies and queues its tickets; false when
    // nothing was stored (rolled back).
    bool registra(const OrderText &order, int index, bool test);
    // The steps of registra, inside its transaction; each returns false once it has rolled back.
    // The order's key: the one opened at this moment by this waiter, else left as it is (-1).
    bool cercaComanda(const OrderText &order, qint32 *idComanda);
    // Writes the header, a new one when *idComanda is not positive, and sets *idComanda to its key.
    bool scriviIntestazione(const OrderText &order, qint32 *idComanda);
    // Replaces the order's tables; *elenco gets them comma-separated.
    bool occupaTavoli(qint32 idComanda, const QStringList &tavoli, QString *elenco);
    // Lines and variations; the lines left out are added to *nonDisponibili ("articolo:quantità,").
    bool scriviRighe(const OrderText &order, qint32 idComanda, QString *nonDisponibili);
    // Why the line record `line` is left out (*scarto empty: it is not).
    bool scartoRiga(const QList<OrderText::Record> &records, qsizetype line, QHash<qint32, bool> &note,
                    QString *scarto);
    // Whether the stock covers the line (*basta); when not, the line is added to *nonDisponibili.
    bool disponibile(const OrderText::Line &l, QString *nonDisponibili, bool *basta);
    // Marks the lines printed when no ticket would print, and journals the tickets the order owes.
    bool registraStampa(qint32 idComanda, const QString &elencoTavoli);
    // After the commit: the handheld's reply, then the tickets once its connection has closed.
    void rispondi(qint32 idComanda, const QString &tavoli, QString nonDisponibili, int index, bool test);
    bool failAndRollback(const QString &why);
    // Whether every variation that follows line record `line` is in the catalogue (*tutte); false
    // when the catalogue could not be read (transaction rolled back). Answers are kept in `note`.
    bool variazioniConosciute(const QList<OrderText::Record> &records, qsizetype line, QHash<qint32, bool> &note,
                              bool *tutte);

    // Inside the open transaction: reads the catalogue columns a line copies for every article of
    // the order in a few statements instead of one per line. False on failure (rolled back).
    bool leggiArticoli(const QList<OrderText::Record> &records);

    clsDatabase &m_db;
    modPlikoServer &m_helpers;
    HandheldLink &m_link;
    OperatorUi *m_ui;
    OrderPrinting *m_printing;
    QHash<qint32, double> m_aliquote;  // VAT rates read during the order being recorded
    QHash<qint32, QString> m_unita;    // unit names likewise
    // The catalogue columns of the order's articles (ColonneArticolo), once leggiArticoli ran for it.
    QHash<qint32, QVariantList> m_articoli;
    // Likewise what the stock holds of them (dishes have none), and the articles whose stock this
    // order has committed since (their next line reads it again).
    QHash<qint32, QVariant> m_disponibili;
    QSet<qint32> m_impegnati;
    // merce_comande, opened once for all the lines of a handheld order and closed with it (it holds
    // the connection); lines recorded otherwise open their own.
    std::unique_ptr<Recordset> m_righe;
    // Where the columns a line writes are in the last merce_comande recordset opened.
    std::array<int, 20> m_colonneRiga{};
    bool m_riusaRighe = false;
    bool m_articoliLetti = false;
    // The handheld order being recorded marks its lines printed (no ticket printer): a line with a
    // whole quantity is written marked; `m_daMarcare` when one is left for the marking statement.
    bool m_marcaRighe = false;
    bool m_daMarcare = false;
    TestLog m_testLog;
    std::function<void(qint32)> m_registrata;
    bool m_conflitto = false; // the last failure was a conflict with another writer
};
