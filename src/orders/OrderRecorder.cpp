// SPDX-License-Identifier: GPL-3.0-or-later
#include "OrderRecorder.h"

#include "HandheldLink.h"
#include "OperatorUi.h"
#include "OrderPrinting.h"
#include "clsDatabase.h"
#include "modGestioneTipiDato.h"
#include "modPlikoServer.h"

#include <QLoggingCategory>
#include <QScopeGuard>
#include <QSet>

#include <array>
#include <cmath>
#include <optional>

Q_LOGGING_CATEGORY(lcOrders, "pliko.orders")

using namespace Qt::StringLiterals;

namespace {
const QString ErroreSalvataggio = u"Errore nel salvataggio "_s;
// What a line copies from its article, in this order after the article's code (Colonna).
const QStringList ColonneArticolo = {u"descrizione"_s,     u"costo_medio"_s,         u"ultimo_prezzo"_s,
                                     u"cod_art_forn"_s,    u"id_unita_misura"_s,     u"articolo_alimentare"_s,
                                     u"codice_iva"_s};
enum Colonna { Codice, Descrizione, CostoMedio, UltimoPrezzo, CodArtForn, IdUnitaMisura, ArticoloAlimentare,
               CodiceIva };
// What a line writes in merce_comande, in this order (RigaColonna), and its key.
const std::array<QString, 20> NomiColonneRiga = {
    u"id_comanda"_s, u"id_articolo"_s, u"descrizione"_s, u"quantita"_s, u"prezzo"_s, u"turno"_s,
    u"prezzo_non_ivato"_s, u"iva"_s, u"codice_articolo_fornitore"_s, u"unita_misura"_s, u"sconto"_s,
    u"costo_medio"_s, u"ultimo_prezzo"_s, u"gia_stampata"_s, u"qta_stampata"_s, u"codice_lotto_interno"_s,
    u"codice_lotto_ufficiale"_s, u"id_lotto"_s, u"totale"_s, u"id_merce_comanda"_s};
enum RigaColonna { RcIdComanda, RcIdArticolo, RcDescrizione, RcQuantita, RcPrezzo, RcTurno, RcPrezzoNonIvato, RcIva,
                   RcCodArtForn, RcUnitaMisura, RcSconto, RcCostoMedio, RcUltimoPrezzo, RcGiaStampata, RcQtaStampata,
                   RcLottoInterno, RcLottoUfficiale, RcIdLotto, RcTotale, RcChiave };
}

OrderRecorder::OrderRecorder(clsDatabase &db, modPlikoServer &helpers, HandheldLink &link, OperatorUi *ui,
                             OrderPrinting *printing)
    : m_db(db), m_helpers(helpers), m_link(link), m_ui(ui), m_printing(printing)
{
}

bool OrderRecorder::failAndRollback(const QString &why)
{
    qCWarning(lcOrders).noquote() << "comanda non registrata:" << why;
    m_conflitto = m_conflitto || m_db.conflictFailure();
    if (m_db.inTransaction())
        m_db.rollback();
    // A conflict is tried again; the operator hears of it only if every attempt fails.
    if (m_ui && !m_conflitto)
        m_ui->message(ErroreSalvataggio);
    return false;
}

bool OrderRecorder::salvaComanda(const QString &text, int index, bool test, bool scarico, const LetturaComanda *letta)
{
    LetturaComanda qui;
    if (!letta) {
        qui.ok = OrderText::parse(text, &qui.order, &qui.error);
        letta = &qui;
    }
    if (!letta->ok) {
        qCWarning(lcOrders).noquote() << "testo della comanda rifiutato sullo slot" << index << "-" << letta->error;
        return false;
    }
    const OrderText &order = letta->order;

    if (test) {
        auto rs = m_db.openDynaset(u"SELECT nickname FROM clfn WHERE  codice = "_s + QString::number(order.operatore));
        const QString nickname = rs && !rs->isEOF() ? tipi::toText(rs->value(u"nickname"_s)) : QString();
        if (m_testLog)
            m_testLog(u"Ricevuta comanda TAVOLO: "_s + order.tavoli.value(0) + u" OPERATORE: "_s + nickname);
        if (!scarico) {
            m_link.inviaRisposta(u"TestComandaOK|\r"_s, index);
            return true;
        }
    }

    // An order booked under a code that is no waiter would vanish from every waiter's open tables
    // and from the takings by waiter: it is refused like any other header out of bounds.
    if (QString why; !m_helpers.operatoreEsiste(order.operatore, &why)) {
        qCWarning(lcOrders).noquote() << "testo della comanda rifiutato sullo slot" << index << "-" << why;
        return false;
    }

    // A transaction the database ended for a conflict with another writer (a deadlock with the
    // back office, a serialization failure) is tried again whole: nothing of it was stored and the
    // handheld has heard nothing yet.
    for (int attempt = 1;; ++attempt) {
        m_conflitto = false;
        if (registra(order, index, test))
            return true;
        if (!m_conflitto)
            return false;
        if (attempt >= ConflictAttempts) {
            if (m_ui)
                m_ui->message(ErroreSalvataggio);
            return false;
        }
        qCWarning(lcOrders).noquote() << QStringLiteral(
            "comanda in conflitto con un'altra scrittura sul database, nuova "
            "registrazione (tentativo %1 di %2)")
                                             .arg(attempt + 1)
                                             .arg(ConflictAttempts);
    }
}

bool OrderRecorder::registra(const OrderText &order, int index, bool test)
{
    nuovaComanda();
    m_riusaRighe = true;
    const auto chiudi = qScopeGuard([this] {
        m_righe.reset();
        m_riusaRighe = false;
        m_marcaRighe = m_daMarcare = false;
    });

    // Nothing below yields to the event loop until the commit: another request's writes must
    // never land inside this transaction.
    if (!m_db.beginTrans())
        return failAndRollback(u"transazione non avviata: "_s + m_db.lastErrorText());

    qint32 idComanda = -1;
    QString elencoTavoli;
    QString nonDisponibili;
    if (!cercaComanda(order, &idComanda))
        return false;
    const bool nuova = idComanda <= 0;
    if (!scriviIntestazione(order, &idComanda) || !occupaTavoli(idComanda, order.tavoli, &elencoTavoli))
        return false;
    // Release the stock of the old lines, then remove them with their variations.
    if (!rilasciaRighe(idComanda, nuova))
        return failAndRollback(u"righe precedenti non rimosse"_s);
    // With no ticket printer the tickets would only mark the lines still to print: done with the
    // order, so that it is stored by the same durable commit.
    m_marcaRighe = m_printing && m_printing->soloMarcatura(idComanda);
    if (!leggiArticoli(order.records) || !scriviRighe(order, idComanda, &nonDisponibili)
        || !registraStampa(idComanda, elencoTavoli))
        return false;

    // Commit: only now is the order stored, and only now may the handheld hear so.
    if (!m_db.commitTrans())
        return failAndRollback(u"commit non riuscito: "_s + m_db.lastErrorText());
    rispondi(idComanda, elencoTavoli, nonDisponibili, index, test);
    return true;
}

bool OrderRecorder::cercaComanda(const OrderText &order, qint32 *idComanda)
{
    // The order is the one opened at this moment by this waiter, or a new one. It is looked up
    // under the writer lock, so that the same order sent to two servers sharing the database is
    // still recorded once.
    auto rs = m_db.openDynaset(u"SELECT comande.id_comanda FROM comande WHERE inizio = "_s
                               + tipi::sqlNumber(order.inizio) + u" AND comande.id_operatore = "_s
                               + QString::number(order.operatore));
    if (!rs)
        return failAndRollback(u"comanda non cercata: "_s + m_db.lastErrorText());
    if (!rs->isEOF())
        *idComanda = tipi::toLong(rs->value(u"id_comanda"_s));
    return true;
}

bool OrderRecorder::scriviIntestazione(const OrderText &order, qint32 *idComanda)
{
    auto rs = m_db.openTable(u"comande"_s);
    if (!rs)
        return failAndRollback(u"tabella comande non aperta"_s);
    bool ok = false;
    if (*idComanda > 0) {
        ok = rs->setIndex(u"comanda_idx"_s) && rs->seek(u"="_s, *idComanda) && !rs->noMatch()
            && m_db.editRecord(*rs);
    } else {
        ok = m_db.addNewRecord(*rs);
    }
    if (!ok)
        return failAndRollback(u"intestazione della comanda non scritta: "_s + m_db.lastErrorText());
    rs->setValue(u"inizio"_s, order.inizio);
    // When this round was taken: what tells, after a stop, whose tickets may still be owed.
    rs->setValue(u"ultima_ordinazione"_s, modPlikoServer::momentoAttuale());
    rs->setValue(u"coperti"_s, order.coperti);
    rs->setValue(u"costo_coperti"_s, Currency::fromDouble(order.costoCoperti).toDouble());
    rs->setValue(u"totale"_s, Currency::fromDouble(order.totaleConCoperti - order.costoCoperti).toDouble());
    rs->setValue(u"id_operatore"_s, order.operatore);
    rs->setValue(u"stato"_s, 0);
    rs->setValue(u"data"_s, tipi::dayNumber(tipi::today()));
    rs->setValue(u"gia_scaricato"_s, 0);
    *idComanda = tipi::toLong(rs->value(u"id_comanda"_s));
    if (!m_db.updateRecord(*rs))
        return failAndRollback(u"intestazione della comanda non salvata: "_s + m_db.lastErrorText());
    return true;
}

bool OrderRecorder::occupaTavoli(qint32 idComanda, const QStringList &tavoli, QString *elenco)
{
    if (!m_db.doQuery(u"DELETE FROM tavoli_occupati WHERE id_comanda = "_s + QString::number(idComanda)))
        return failAndRollback(u"tavoli non liberati"_s);
    auto rs = m_db.openTable(u"tavoli_occupati"_s);
    if (!rs)
        return failAndRollback(u"tabella tavoli_occupati non aperta"_s);
    for (const QString &t : tavoli) {
        if (!m_db.addNewRecord(*rs))
            return failAndRollback(u"tavolo non occupato: "_s + t);
        rs->setValue(u"numero_tavolo"_s, tipi::toLong(t));
        rs->setValue(u"id_comanda"_s, idComanda);
        if (!m_db.updateRecord(*rs))
            return failAndRollback(u"tavolo non occupato: "_s + t);
        *elenco += t + u',';
    }
    elenco->chop(1);
    *elenco = elenco->trimmed();
    return true;
}

bool OrderRecorder::scriviRighe(const OrderText &order, qint32 idComanda, QString *nonDisponibili)
{
    // Availability is checked after the old lines were released and after this request's earlier
    // lines were written, so a resend is checked as the first send and two lines of one article
    // count together.
    qint32 ultimaRiga = -1;
    QHash<qint32, bool> variazioniNote;
    for (qsizetype i = 0; i < order.records.size(); ++i) {
        const OrderText::Record &rec = order.records[i];
        if (rec.kind == OrderText::Record::VariationRecord) {
            if (ultimaRiga != -1 && !salvaVariazione(ultimaRiga, rec.variation.variazione, rec.variation.quantita))
                return false;
            continue;
        }
        const OrderText::Line &l = rec.line;
        QString scarto;
        if (!scartoRiga(order.records, i, variazioniNote, &scarto))
            return false;
        qint32 riga = -1;
        bool basta = false;
        if (!scarto.isEmpty()) {
            qCWarning(lcOrders).noquote()
                << "comanda" << idComanda << ": riga dell'articolo" << l.articolo << "tralasciata -" << scarto;
            *nonDisponibili += QString::number(l.articolo) + u":0,"_s;
        } else if (!disponibile(l, nonDisponibili, &basta)) {
            return false;
        } else if (basta) {
            riga = salvaMerceComanda(idComanda, l.articolo, l.quantita, l.prezzo, l.turno, l.descrizione,
                                     l.giaStampata, l.qtaStampata);
            if (riga == -1)
                return false;
            if (riga == ArticoloSconosciuto) {
                // An article the database does not know cannot be sold: reported as none left.
                qCWarning(lcOrders) << "comanda" << idComanda << ": articolo sconosciuto" << l.articolo << "tralasciato";
                *nonDisponibili += QString::number(l.articolo) + u":0,"_s;
            }
        }
        ultimaRiga = riga > 0 ? riga : -1;
    }
    return true;
}

bool OrderRecorder::scartoRiga(const QList<OrderText::Record> &records, qsizetype line, QHash<qint32, bool> &note,
                               QString *scarto)
{
    // A line that cannot be recorded whole is left out with its variations and reported as none
    // left: the waiter sees it and enters it again, instead of the kitchen missing a note ("Senza
    // glutine") or the till a quantity.
    *scarto = records[line].line.scarto;
    if (!scarto->isEmpty())
        return true;
    bool tutte = true;
    if (!variazioniConosciute(records, line, note, &tutte))
        return false;
    if (!tutte)
        *scarto = u"variazione non in archivio"_s;
    return true;
}

bool OrderRecorder::disponibile(const OrderText::Line &l, QString *nonDisponibili, bool *basta)
{
    *basta = true;
    // What the stock holds; none for a dish. An article's first line uses what leggiArticoli read;
    // a later one reads again, after the stock the earlier ones committed, so that the difference
    // is the database's own arithmetic.
    std::optional<QVariant> resta;
    if (m_articoliLetti && !m_impegnati.contains(l.articolo)) {
        if (auto it = m_disponibili.constFind(l.articolo); it != m_disponibili.constEnd())
            resta = *it;
    } else {
        auto avail = m_db.openDynaset(u"SELECT (giacenza-giacenza_comanda) as disponibile FROM magazzino WHERE not "
                                      "articolo_restaurant AND codice = "_s
                                      + QString::number(l.articolo));
        if (!avail)
            return failAndRollback(u"disponibilità non letta"_s);
        if (!avail->isEOF())
            resta = avail->value(u"disponibile"_s);
    }
    if (resta && tipi::toDouble(*resta) - l.quantita < 0) {
        *nonDisponibili += QString::number(l.articolo) + u':' + tipi::numberText(tipi::toDouble(*resta)) + u',';
        *basta = false;
    }
    return true;
}

bool OrderRecorder::registraStampa(qint32 idComanda, const QString &elencoTavoli)
{
    // The lines not written marked (a quantity in fractions: its mark is left to the database's own
    // conversion, as the tickets' marking does).
    if (m_marcaRighe && m_daMarcare
        && !m_db.doQuery(u"UPDATE merce_comande SET qta_stampata = quantita WHERE id_comanda = "_s
                         + QString::number(idComanda) + u" AND qta_stampata < quantita"_s))
        return failAndRollback(u"righe non segnate come stampate"_s);
    // The tickets the order owes are journalled with it: once it is stored, they are owed.
    if (m_printing && !m_printing->registraComanda(idComanda, elencoTavoli))
        return failAndRollback(u"comande non registrate nel giornale di stampa"_s);
    return true;
}

void OrderRecorder::rispondi(qint32 idComanda, const QString &tavoli, QString nonDisponibili, int index, bool test)
{
    QString reply;
    if (test) {
        reply = u"TestComandaOK|"_s;
    } else if (!nonDisponibili.isEmpty()) {
        nonDisponibili.chop(1);
        reply = u"NonDisponibile|"_s + nonDisponibili;
    } else {
        reply = u"ComandaOK|"_s;
    }
    if (m_registrata)
        m_registrata(idComanda);
    m_link.inviaRisposta(reply + u'\r', index);

    // The handheld never waits for a printer: the tickets print once its connection closed.
    if (m_printing)
        m_link.dopoChiusura(index, [printing = m_printing, idComanda, tavoli] {
            printing->stampaComanda(idComanda, tavoli);
        });
}

bool OrderRecorder::rilasciaRighe(qint32 idComanda, bool nuova)
{
    const QString key = QString::number(idComanda);
    // A new order's key has no lines, unless another program left some under it: one look spares
    // the three statements below, and the first one's pass over the whole stock.
    if (nuova) {
        auto righe = m_db.openDynaset(u"SELECT TOP 1 id_merce_comanda FROM merce_comande WHERE id_comanda = "_s + key);
        if (!righe)
            return false;
        if (righe->isEOF())
            return true;
    }
    return m_db.doQuery(u"UPDATE magazzino, merce_comande "_s + u"SET giacenza_comanda = giacenza_comanda - quantita "_s
                        + u"WHERE codice = id_articolo "_s + u"  AND not articolo_restaurant "_s + u"  AND id_comanda = "_s
                        + key)
           && m_db.doQuery(u"DELETE merce_comande_variazioni.* FROM merce_comande_variazioni, merce_comande WHERE "
                           "merce_comande_variazioni.id_merce_comanda = merce_comande.id_merce_comanda AND id_comanda = "_s
                           + key)
           && m_db.doQuery(u"DELETE FROM merce_comande WHERE id_comanda = "_s + key);
}

void OrderRecorder::nuovaComanda()
{
    m_conflitto = false;
    m_aliquote.clear();
    m_unita.clear();
    m_articoli.clear();
    m_disponibili.clear();
    m_impegnati.clear();
    m_articoliLetti = false;
}

bool OrderRecorder::leggiArticoli(const QList<OrderText::Record> &records)
{
    QList<qint32> codici;
    QSet<qint32> visti;
    for (const OrderText::Record &rec : records)
        if (rec.kind != OrderText::Record::VariationRecord && !visti.contains(rec.line.articolo)) {
            visti.insert(rec.line.articolo);
            codici.append(rec.line.articolo);
        }
    // The write lock of the order's transaction keeps these columns as they are until it ends.
    // The stock is read with them (after the order's old lines gave theirs back), by the same
    // condition as a single line's check.
    constexpr qsizetype PerLettura = 200; // codes per statement, well below the engine's limit
    for (qsizetype from = 0; from < codici.size(); from += PerLettura) {
        // "magazzino": the database's own "not articolo_restaurant", as a single line's check has it.
        static const QString Leggi = u"SELECT codice,"_s + ColonneArticolo.join(u',')
            + u",(giacenza-giacenza_comanda) as disponibile,(not articolo_restaurant) as magazzino FROM magazzino "
              "WHERE codice IN ("_s;
        QString sql = Leggi;
        for (qsizetype i = from; i < codici.size() && i < from + PerLettura; ++i)
            sql += (i > from ? u","_s : QString()) + QString::number(codici[i]);
        auto rs = m_db.openDynaset(sql + u')');
        if (!rs)
            return failAndRollback(u"articoli non letti"_s);
        // The columns come as the statement names them (Colonna), then the stock: each row is kept
        // as read.
        const int disponibile = 1 + int(ColonneArticolo.size());
        for (; !rs->isEOF(); rs->moveNext()) {
            const QVariantList riga = rs->row();
            const qint32 codice = tipi::toLong(riga.at(Codice));
            m_articoli.insert(codice, riga);
            const QVariant &magazzino = riga.at(disponibile + 1);
            if (!magazzino.isNull() && tipi::toFlag(magazzino))
                m_disponibili.insert(codice, riga.at(disponibile));
        }
    }
    m_articoliLetti = true;
    return true;
}

bool OrderRecorder::variazioniConosciute(const QList<OrderText::Record> &records, qsizetype line,
                                         QHash<qint32, bool> &note, bool *tutte)
{
    *tutte = true;
    for (qsizetype v = line + 1; v < records.size() && records[v].kind == OrderText::Record::VariationRecord; ++v) {
        const qint32 codice = records[v].variation.variazione;
        auto it = note.constFind(codice);
        if (it == note.constEnd()) {
            auto rs = m_db.openDynaset(u"SELECT id_variazione FROM variazioni_comande WHERE id_variazione = "_s
                                       + QString::number(codice));
            if (!rs)
                return failAndRollback(u"variazione non letta: "_s + QString::number(codice));
            it = note.insert(codice, !rs->isEOF());
        }
        if (!*it) {
            *tutte = false;
            return true;
        }
    }
    return true;
}

qint32 OrderRecorder::salvaMerceComanda(qint32 idComanda, qint32 articolo, double quantita, double prezzo,
                                        qint16 turno, const QString &, qint32 giaStampata, qint32 qtaStampata)
{
    QVariantList art;
    if (m_articoliLetti) {
        auto it = m_articoli.constFind(articolo);
        if (it == m_articoli.constEnd())
            return ArticoloSconosciuto;
        art = *it;
    } else {
        auto rs = m_db.openDynaset(u"SELECT codice,"_s + ColonneArticolo.join(u',')
                                   + u" FROM magazzino WHERE codice = "_s + QString::number(articolo));
        if (!rs) {
            failAndRollback(u"articolo non letto: "_s + QString::number(articolo));
            return -1;
        }
        if (rs->isEOF())
            return ArticoloSconosciuto;
        art = rs->row();
    }

    // VAT rates and unit names are read once per order: the write lock held by the order's
    // transaction keeps them as they are until it ends.
    const qint32 codiceIva = tipi::toLong(art.at(CodiceIva));
    if (!m_aliquote.contains(codiceIva))
        m_aliquote.insert(codiceIva, m_helpers.aliquotaIva(codiceIva));
    const double iva = m_aliquote.value(codiceIva);
    const Currency prezzoCur = Currency::fromDouble(prezzo);
    // Rounded as the currency format writes it (two decimals, four when so configured).
    const double nonIvato = tipi::arrotonda(prezzoCur.toDouble() * 100.0 / (100.0 + iva),
                                            regional().decimals == 4 ? 4 : 2);
    const qint32 idUnita = tipi::toLong(art.at(IdUnitaMisura));
    if (!m_unita.contains(idUnita))
        m_unita.insert(idUnita, m_helpers.nomeUnitaMisura(idUnita));
    const QString unita = m_unita.value(idUnita);
    const qint32 lotto = tipi::toFlag(art.at(ArticoloAlimentare)) ? -200 : 0;

    std::unique_ptr<Recordset> propria;
    // The columns' positions are found once for each recordset opened, and written by position.
    const auto apri = [this] {
        auto rs = m_db.openTable(u"merce_comande"_s);
        static_assert(std::tuple_size_v<decltype(m_colonneRiga)> == NomiColonneRiga.size());
        for (int c = 0; rs && c < int(NomiColonneRiga.size()); ++c)
            m_colonneRiga[c] = rs->fieldIndex(NomiColonneRiga[c]);
        return rs;
    };
    if (m_riusaRighe && !m_righe)
        m_righe = apri();
    else if (!m_riusaRighe)
        propria = apri();
    Recordset *rs = m_riusaRighe ? m_righe.get() : propria.get();
    if (!rs || !m_db.addNewRecord(*rs)) {
        failAndRollback(u"riga non aggiunta"_s);
        return -1;
    }
    const auto scrivi = [rs, this](RigaColonna c, const QVariant &v) { rs->setValue(m_colonneRiga[c], v); };
    const double qta = Currency::fromDouble(quantita).toDouble();
    scrivi(RcIdComanda, idComanda);
    scrivi(RcIdArticolo, articolo);
    scrivi(RcDescrizione, tipi::toText(art.at(Descrizione)).trimmed());
    scrivi(RcQuantita, qta);
    scrivi(RcPrezzo, prezzoCur.toDouble());
    scrivi(RcTurno, turno);
    scrivi(RcPrezzoNonIvato, Currency::fromDouble(nonIvato).toDouble());
    scrivi(RcIva, Currency::fromDouble(iva).toDouble());
    scrivi(RcCodArtForn, tipi::toText(art.at(CodArtForn)));
    scrivi(RcUnitaMisura, unita);
    scrivi(RcSconto, QString());
    scrivi(RcCostoMedio, tipi::toCurrency(art.at(CostoMedio)).toDouble());
    scrivi(RcUltimoPrezzo, tipi::toCurrency(art.at(UltimoPrezzo)).toDouble());
    scrivi(RcGiaStampata, giaStampata);
    // Marked as "SET qta_stampata = quantita WHERE qta_stampata < quantita" would.
    const bool intera = qta == std::trunc(qta) && std::abs(qta) < 1e9;
    if (m_marcaRighe && qtaStampata < qta && intera)
        qtaStampata = qint32(qta);
    else if (m_marcaRighe && qtaStampata < qta)
        m_daMarcare = true;
    scrivi(RcQtaStampata, qtaStampata);
    scrivi(RcLottoInterno, QString());
    scrivi(RcLottoUfficiale, QString());
    scrivi(RcIdLotto, lotto);
    scrivi(RcTotale, (prezzoCur * qta).toDouble());
    const qint32 riga = tipi::toLong(rs->value(m_colonneRiga[RcChiave]));
    if (!m_db.updateRecord(*rs)) {
        failAndRollback(u"riga non salvata"_s);
        return -1;
    }
    // The stock commitment uses the quantity exactly as received. An article that the order's read
    // found to hold no stock (a dish) has none to commit: the statement would change no row.
    if (m_articoliLetti && !m_disponibili.contains(articolo))
        return riga;
    m_impegnati.insert(articolo);
    if (!m_db.doQuery(u"UPDATE magazzino SET giacenza_comanda = giacenza_comanda + "_s + tipi::sqlNumber(quantita)
                      + u" WHERE not articolo_restaurant AND codice = "_s + QString::number(articolo))) {
        failAndRollback(u"giacenza non impegnata"_s);
        return -1;
    }
    return riga;
}

bool OrderRecorder::salvaVariazione(qint32 idMerceComanda, qint32 variazione, double quantita)
{
    auto cat = m_db.openDynaset(u"SELECT descrizione, prezzo FROM variazioni_comande WHERE id_variazione = "_s
                                + QString::number(variazione));
    if (!cat)
        return failAndRollback(u"variazione non letta: "_s + QString::number(variazione));
    if (cat->isEOF()) {
        qCWarning(lcOrders) << "riga" << idMerceComanda << ": variante sconosciuta" << variazione << "tralasciata";
        return true;
    }
    auto rs = m_db.openTable(u"merce_comande_variazioni"_s);
    if (!rs || !m_db.addNewRecord(*rs))
        return failAndRollback(u"variazione non aggiunta"_s);
    rs->setValue(u"id_variazione"_s, variazione);
    rs->setValue(u"id_merce_comanda"_s, idMerceComanda);
    rs->setValue(u"quantita"_s, Currency::fromDouble(quantita).toDouble());
    rs->setValue(u"descrizione"_s, tipi::toText(cat->value(u"descrizione"_s)));
    rs->setValue(u"maggiorazione"_s, tipi::toCurrency(cat->value(u"prezzo"_s)).toDouble());
    if (!m_db.updateRecord(*rs))
        return failAndRollback(u"variazione non salvata"_s);
    return true;
}
