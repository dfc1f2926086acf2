// SPDX-License-Identifier: GPL-3.0-or-later
#include "modNanoComande.h"

#include "BusinessDay.h"
#include "NanoParsing.h"
#include "OrderText.h"
#include "Cp1252.h"
#include "OperatorUi.h"
#include "clsDatabase.h"
#include "frmStampeDocumenti.h"
#include "modGestioneTipiDato.h"
#include "modPlikoServer.h"

#include <QCryptographicHash>
#include <QLoggingCategory>
#include <cmath>

Q_LOGGING_CATEGORY(lcNanoComande, "pliko.nano.comande")

using namespace Qt::StringLiterals;

namespace {

const QString ErroreSalvataggio = u"Errore nel salvataggio "_s;

// The cooking notes K1 to K6 of the exported database.
const QStringList NoteCottura = {u"caldo"_s,     u"tiepido"_s,    u"freddo"_s,
                                 u"ben cotto"_s, u"poco cotto"_s, u"in 2 piatti"_s};

// The covers of a table as the handheld service bounds them (a 16-bit count).
constexpr qint64 CopertiMassimi = 32767;

QString testo(const QByteArray &campo)
{
    return QString::fromLatin1(campo);
}

QString sintesi(const QByteArray &body)
{
    return QString::fromLatin1(body.left(120));
}

} // namespace

modNanoComande::modNanoComande(clsDatabase &db, modPlikoServer &helpers, OperatorUi *ui, frmStampeDocumenti *stampe)
    : m_db(db), m_helpers(helpers), m_ui(ui), m_stampe(stampe), m_recorder(db, helpers, m_link, ui, nullptr),
      m_tavoli(db)
{
}

void modNanoComande::salvaComandaNano(const QByteArray &body)
{
    const qint32 id = registraComandaNano(body);
    if (m_esito)
        m_esito(id);
}

bool modNanoComande::fallito(const QString &perche)
{
    qCWarning(lcNanoComande).noquote() << "comanda Duvu non registrata:" << perche;
    m_conflitto = m_conflitto || m_db.conflictFailure();
    if (m_db.inTransaction())
        m_db.rollback();
    // A conflict is tried again; the operator hears of it only if every attempt fails.
    if (m_ui && !m_conflitto)
        m_ui->message(ErroreSalvataggio);
    return false;
}

bool modNanoComande::esisteTavolo(qint32 tavolo)
{
    auto rs = m_db.openSnapshot(u"SELECT * FROM tavoli WHERE numero_tavolo = "_s + QString::number(tavolo));
    return rs && !rs->isEOF();
}

qint32 modNanoComande::tavoloDiRiserva()
{
    for (qint32 n = 999; n > 980; --n) {
        if (!esisteTavolo(n)) {
            if (!m_db.doQuery(u"INSERT INTO tavoli(numero_tavolo, coperti) VALUES("_s + QString::number(n) + u",2)"_s))
                qCWarning(lcNanoComande).noquote()
                    << "tavolo di riserva" << n << "non aggiunto:" << m_db.lastErrorText();
            return n;
        }
        auto rs = m_db.openSnapshot(u"SELECT * FROM tavoli_occupati,comande WHERE tavoli_occupati.id_comanda = "
                                    "comande.id_comanda AND fine = 0  AND stato =0 AND tavoli_occupati.numero_tavolo = "_s
                                    + QString::number(n));
        if (rs && rs->isEOF())
            return n;
    }
    return -1;
}

QList<QByteArray> modNanoComande::noteLibere(const QByteArray &body)
{
    const qsizetype dollaro = body.indexOf('$');
    if (dollaro < 0)
        return {};
    QByteArray parte = body.mid(dollaro + 1);
    parte.replace("|.|", "");
    parte.replace("$", "");
    return parte.split('|');
}

SnapshotRighe modNanoComande::snapshotRighe(qint32 idComanda)
{
    SnapshotRighe s;
    auto righe = m_db.openSnapshot(u"SELECT * FROM merce_comande WHERE id_comanda = "_s + QString::number(idComanda));
    if (!righe)
        return s;
    for (; !righe->isEOF(); righe->moveNext()) {
        const QString id = QString::number(tipi::toLong(righe->value(u"id_merce_comanda"_s)));
        QString firma = QString::number(tipi::toLong(righe->value(u"id_articolo"_s))) + u'|';
        if (auto v = m_db.openSnapshot(u"SELECT * FROM merce_comande_variazioni WHERE id_variazione <> -1 AND "
                                       "id_merce_comanda = "_s
                                       + id + u" ORDER BY id_variazione"_s))
            for (; !v->isEOF(); v->moveNext())
                firma += QString::number(tipi::toLong(v->value(u"id_variazione"_s))) + u'|';
        if (auto n = m_db.openSnapshot(u"SELECT * FROM merce_comande_variazioni WHERE id_variazione = -1 AND "
                                       "id_merce_comanda = "_s
                                       + id + u" ORDER BY descrizione"_s))
            for (; !n->isEOF(); n->moveNext())
                firma += tipi::toText(n->value(u"descrizione"_s)) + u'|';
        const QByteArray digest = QCryptographicHash::hash(firma.toUtf8(), QCryptographicHash::Md5).toHex();
        s.insert(id, QString::fromLatin1(digest) + u'|' + tipi::numberText(tipi::toDouble(righe->value(u"quantita"_s))));
    }
    return s;
}

qint32 modNanoComande::registraComandaNano(const QByteArray &body)
{
    ComandaNano testa;
    if (!leggiTesta(body, testa))
        return -1;
    // A transaction the database ended for a conflict with another writer (the back office, a TCP
    // order on a shared server) is tried again whole, as the TCP orders are: nothing of it stayed.
    ComandaNano c;
    SnapshotRighe dopo;
    for (int tentativo = 1;; ++tentativo) {
        c = testa;
        m_conflitto = false;
        m_recorder.nuovaComanda();
        if (registraUnaVolta(c, dopo))
            break;
        if (!m_conflitto)
            return -1;
        if (tentativo >= OrderRecorder::ConflictAttempts) {
            if (m_ui)
                m_ui->message(ErroreSalvataggio);
            return -1;
        }
        qCWarning(lcNanoComande)
            << "comanda Duvu in conflitto con un'altra scrittura sul database, nuova registrazione (tentativo"
            << tentativo + 1 << "di" << OrderRecorder::ConflictAttempts << ")";
    }
    stampaComanda(c, dopo);
    return c.idComanda;
}

bool modNanoComande::leggiTesta(const QByteArray &body, ComandaNano &c)
{
    // Every piece counts, the last one too.
    c.t = body.split('|');
    const QList<QByteArray> &t = c.t;
    if (t.size() < 4) {
        qCWarning(lcNanoComande).noquote() << "comanda Duvu scartata: manca il tavolo in" << sintesi(body);
        return false;
    }

    // A body cut before its records (not even the end mark) says nothing about the table: replacing
    // the order with it would empty the table.
    bool conRecord = false;
    for (qsizetype i = 6; i < t.size() && !conRecord; ++i)
        conRecord = t[i] == "P" || t[i] == "+" || t[i] == "-" || t[i] == "G" || t[i] == "D" || t[i] == ".";
    if (!conRecord) {
        qCWarning(lcNanoComande).noquote() << "comanda Duvu scartata: nessuna riga in" << sintesi(body);
        return false;
    }

    // The operator. A number no operator has (an older export, a handheld of another site) must
    // not lose the order: it is kept under operator 0 for the till to sort out.
    const qint32 operatoreNano = nano::leggiIntero(t[1]);
    bool trovato = false;
    c.operatore = m_tavoli.codiceOperatore(operatoreNano, &trovato);
    if (!trovato)
        qCWarning(lcNanoComande) << "comanda Duvu dell'operatore Duvu" << operatoreNano
                                 << "che non corrisponde a nessun cameriere: registrata con l'operatore 0";

    // The table; one the plan does not know goes to a spare table. The number stands bare in
    // statements, so it must be a whole number.
    qint64 numero = 0;
    if (!tipi::parseWhole(testo(t[3]), &numero)) {
        qCWarning(lcNanoComande).noquote()
            << "comanda Duvu scartata: il tavolo" << testo(t[3].left(20)) << "non è un numero";
        return false;
    }
    c.tavolo = static_cast<qint32>(numero);
    if (!esisteTavolo(c.tavolo)) {
        const qint32 riserva = tavoloDiRiserva();
        // With every spare table taken the order would replace another table's order: it is
        // refused instead, and the till hears of it.
        if (riserva == -1) {
            qCWarning(lcNanoComande) << "comanda Duvu per il tavolo" << c.tavolo
                                     << "fuori pianta rifiutata: tutti i tavoli di riserva sono occupati";
            if (m_ui)
                m_ui->message(ErroreSalvataggio + u"- tavolo "_s + QString::number(c.tavolo)
                              + u" sconosciuto e nessun tavolo di riserva libero"_s);
            return false;
        }
        qCInfo(lcNanoComande) << "comanda Duvu per il tavolo" << c.tavolo << "fuori pianta: tavolo di riserva"
                              << riserva;
        c.tavolo = riserva;
    }
    c.note = noteLibere(body);
    return true;
}

bool modNanoComande::registraUnaVolta(ComandaNano &c, SnapshotRighe &dopo)
{
    if (!apriComanda(c) || !prendiRighe(c))
        return false;
    calcolaCoperti(c);
    return chiudiComanda(c, dopo);
}

bool modNanoComande::apriComanda(ComandaNano &c)
{
    // The table's open order of the business day, and what it held before this message.
    const BusinessDay::Window w = BusinessDay::window(m_db, BusinessDay::Rule::FixedBase);
    {
        auto rs = m_db.openSnapshot(u"SELECT comande.id_comanda FROM comande,tavoli_occupati "_s
                                    + u" WHERE comande.id_comanda = tavoli_occupati.id_comanda AND numero_tavolo = "_s
                                    + QString::number(c.tavolo) + u" AND inizio BETWEEN "_s + tipi::sqlNumber(w.start)
                                    + u" AND "_s + tipi::sqlNumber(w.end) + u" AND stato = 0 AND fine = 0 "_s);
        if (!rs)
            return fallito(u"ordine del tavolo non letto: "_s + m_db.lastErrorText());
        if (!rs->isEOF())
            c.idComanda = tipi::toLong(rs->value(u"id_comanda"_s));
    }
    c.prima = c.idComanda != -1 ? snapshotRighe(c.idComanda) : SnapshotRighe();

    // From here to the commit nothing yields to the event loop and nothing prints: another
    // request's writes must never land inside this transaction, and a ticket must never leave for
    // an order that is then rolled back.
    if (!m_db.beginTrans())
        return fallito(u"transazione non avviata: "_s + m_db.lastErrorText());
    {
        auto rs = m_db.openTable(u"comande"_s);
        if (!rs)
            return fallito(u"tabella comande non aperta"_s);
        bool ok = false;
        if (c.idComanda != -1) {
            ok = rs->setIndex(u"comanda_idx"_s) && rs->seek(u"="_s, c.idComanda) && !rs->noMatch()
                && m_db.editRecord(*rs);
        } else {
            ok = m_db.addNewRecord(*rs);
            if (ok)
                rs->setValue(u"inizio"_s, modPlikoServer::momentoAttuale());
        }
        if (!ok)
            return fallito(u"intestazione della comanda non scritta: "_s + m_db.lastErrorText());
        rs->setValue(u"ultima_ordinazione"_s, modPlikoServer::momentoAttuale());
        rs->setValue(u"id_operatore"_s, c.operatore);
        rs->setValue(u"stato"_s, 0);
        rs->setValue(u"data"_s, tipi::dayNumber(tipi::today()));
        rs->setValue(u"gia_scaricato"_s, 0);
        c.idComanda = tipi::toLong(rs->value(u"id_comanda"_s));
        if (!m_db.updateRecord(*rs))
            return fallito(u"intestazione della comanda non salvata: "_s + m_db.lastErrorText());
    }

    // The table.
    if (!m_db.doQuery(u"DELETE FROM tavoli_occupati WHERE id_comanda = "_s + QString::number(c.idComanda)))
        return fallito(u"tavolo non liberato"_s);
    {
        auto rs = m_db.openTable(u"tavoli_occupati"_s);
        if (!rs || !m_db.addNewRecord(*rs))
            return fallito(u"tavolo non occupato"_s);
        rs->setValue(u"numero_tavolo"_s, c.tavolo);
        rs->setValue(u"id_comanda"_s, c.idComanda);
        if (!m_db.updateRecord(*rs))
            return fallito(u"tavolo non occupato"_s);
    }

    // Release the stock of the old lines, then remove them with their variations.
    if (!m_recorder.rilasciaRighe(c.idComanda)) {
        m_conflitto = m_conflitto || m_recorder.conflitto();
        return fallito(u"righe precedenti non rimosse"_s);
    }
    return true;
}

bool modNanoComande::prendiRighe(ComandaNano &c)
{
    // The fields that follow a marker are scanned again as tokens, so a course field "P" also
    // starts a line.
    const QList<QByteArray> &t = c.t;
    const qsizetype ultimo = t.size() - 1;
    const auto troncato = [&](qsizetype i, qsizetype campi) {
        if (i + campi <= ultimo)
            return false;
        qCWarning(lcNanoComande).noquote() << "comanda Duvu" << c.idComanda << ": il campo" << testo(t[i])
                                           << "è troncato alla fine del messaggio, ignorato";
        return true;
    };
    for (qsizetype i = 6; i <= ultimo; ++i) {
        const QByteArray &marcatore = t[i];
        if (marcatore == ".")
            break;
        bool ok = true;
        if (marcatore == "P" && !troncato(i, 8))
            ok = prendiRiga(c, i);
        else if ((marcatore == "+" || marcatore == "-") && !troncato(i, 3))
            ok = prendiVariazione(c, i);
        else if (marcatore == "G" && !troncato(i, 3))
            prendiCoperti(c, i);
        else if (marcatore == "D" && !troncato(i, 1))
            ok = prendiStampa(c, i);
        if (!ok)
            return false;
    }
    return true;
}

bool modNanoComande::prendiRiga(ComandaNano &c, qsizetype i)
{
    const QList<QByteArray> &t = c.t;
    // A line the handheld marks -1 was deleted there: neither it nor its variations count.
    c.ultimaRiga = -1;
    if (tipi::toInt16(testo(t[i + 4])) == -1)
        return true;
    const qint32 articolo = tipi::toLong(testo(t[i + 1]));
    const double quantita = tipi::toDouble(testo(t[i + 2]));
    bool prezzoValido = false;
    const Currency prezzo = modNanoTavoli::centesimiInImporto(t[i + 3], &prezzoValido);
    // A quantity or price no dish has would only corrupt the stock counters and the totals: the line
    // is left out, as the handheld service leaves out such a line.
    if (!(std::fabs(quantita) <= OrderText::MaxValoreRiga) || !prezzoValido) {
        qCWarning(lcNanoComande).noquote()
            << "comanda Duvu" << c.idComanda << ": quantità" << testo(t[i + 2].left(20)) << "o prezzo"
            << testo(t[i + 3].left(20)) << "dell'articolo" << testo(t[i + 1].left(20)) << "fuori limite, riga ignorata";
        return true;
    }
    qint16 turno = tipi::toInt16(testo(t[i + 5]));
    if (turno == 0)
        turno = 1;
    QString testoNota;
    if (t[i + 7] == "K") {
        const qint32 k = tipi::toLong(testo(t[i + 8]));
        if (k >= 1 && k <= NoteCottura.size())
            testoNota = NoteCottura[k - 1];
    } else if (t[i + 7] == "m") {
        const qint16 scelta = tipi::toInt16(testo(t[i + 8]));
        if (scelta >= 0 && scelta < c.note.size())
            testoNota = cp1252::decode(c.note[scelta]);
    }
    const qint32 riga = m_recorder.salvaMerceComanda(c.idComanda, articolo, quantita, prezzo.toDouble(), turno, {}, 0, 0);
    if (riga == OrderRecorder::ArticoloSconosciuto) {
        qCWarning(lcNanoComande) << "comanda Duvu" << c.idComanda << ": articolo sconosciuto" << articolo
                                 << "tralasciato";
        return true;
    }
    if (riga == -1) {
        // Rolled back and reported by the line recording.
        m_conflitto = m_conflitto || m_recorder.conflitto();
        return false;
    }
    // The line stores its unit price; the order's total counts every portion, as the line's does.
    const double qta = Currency::fromDouble(quantita).toDouble();
    c.totale += prezzo * qta;
    if (!testoNota.isEmpty()) {
        auto rs = m_db.openTable(u"merce_comande_variazioni"_s);
        if (!rs || !m_db.addNewRecord(*rs))
            return fallito(u"nota non aggiunta"_s);
        rs->setValue(u"id_merce_comanda"_s, riga);
        rs->setValue(u"id_variazione"_s, -1);
        rs->setValue(u"descrizione"_s, testoNota);
        rs->setValue(u"maggiorazione"_s, 0);
        rs->setValue(u"quantita"_s, 1);
        if (!m_db.updateRecord(*rs))
            return fallito(u"nota non salvata"_s);
    }
    c.ultimaRiga = riga;
    c.qtaUltima = qta;
    return true;
}

bool modNanoComande::prendiVariazione(ComandaNano &c, qsizetype i)
{
    if (c.ultimaRiga == -1) {
        qCWarning(lcNanoComande) << "comanda Duvu" << c.idComanda << ": variante senza una riga prima, ignorata";
        return true;
    }
    const qint32 variazioneNano = nano::leggiIntero(c.t[i + 1]);
    auto cat = m_db.openSnapshot(u"SELECT variazioni_comande.id_variazione, descrizione, prezzo FROM "
                                 "variazioni_comande_categorie,variazioni_comande WHERE "
                                 "variazioni_comande_categorie.id_variazione = variazioni_comande.id_variazione "
                                 "AND id_nano = "_s
                                 + QString::number(variazioneNano));
    if (!cat)
        return fallito(u"variazione non letta: "_s + m_db.lastErrorText());
    // 0 is the number of every pair the export has not numbered.
    if (variazioneNano <= 0 || cat->isEOF()) {
        qCWarning(lcNanoComande) << "comanda Duvu" << c.idComanda << ": variante numero" << variazioneNano
                                 << "non in catalogo, ignorata";
        return true;
    }
    const qint32 idVariazione = tipi::toLong(cat->value(u"id_variazione"_s));
    const Currency maggiorazione = tipi::toCurrency(cat->value(u"prezzo"_s));
    if (!m_recorder.salvaVariazione(c.ultimaRiga, idVariazione, c.qtaUltima)) {
        // Rolled back and reported by the variation recording.
        m_conflitto = m_conflitto || m_recorder.conflitto();
        return false;
    }
    c.totale += maggiorazione * c.qtaUltima;
    return true;
}

void modNanoComande::prendiCoperti(ComandaNano &c, qsizetype i)
{
    qint64 coperti = 0;
    bool costoValido = false;
    const Currency costo = modNanoTavoli::centesimiInImporto(c.t[i + 3], &costoValido);
    // Covers or a charge no table has are left out, as the handheld service leaves them out.
    if (!tipi::parseWhole(testo(c.t[i + 2]), &coperti) || coperti < 0 || coperti > CopertiMassimi || !costoValido) {
        qCWarning(lcNanoComande).noquote() << "comanda Duvu" << c.idComanda << ": coperti" << testo(c.t[i + 2].left(20))
                                           << "o supplemento" << testo(c.t[i + 3].left(20)) << "fuori limite, ignorati";
        return;
    }
    c.coperti = static_cast<qint32>(coperti);
    c.costoCoperti = costo;
}

bool modNanoComande::prendiStampa(ComandaNano &c, qsizetype i)
{
    // One pre-bill and one order list per message at most, however many times it asks: each
    // print holds the loop, and a waiter never wants the same bill twice from one tap.
    const QByteArray &comando = c.t[i + 1];
    if (comando == "1" && !c.stampe.contains(Stampa::PreConto)) {
        // The flag is part of the order and commits with it; the pre-bill prints after.
        if (!m_db.doQuery(u"UPDATE comande SET pre_conto = true WHERE id_comanda = "_s + QString::number(c.idComanda)))
            return fallito(u"preconto non segnato"_s);
        c.stampe.append(Stampa::PreConto);
    } else if (comando == "2" && !c.stampe.contains(Stampa::ListaOrdinazioni)) {
        c.stampe.append(Stampa::ListaOrdinazioni);
    }
    return true;
}

void modNanoComande::calcolaCoperti(ComandaNano &c)
{
    // Covers: those sent, or the table's own, charged by the configured rule.
    const qint32 tipologia = m_helpers.leggiVarLong(u"tipologia_coperto"_s, 0);
    const double percentuale = tipi::toDouble(m_helpers.leggiVarStr(u"coperto_percentuale"_s, {}));
    if (c.coperti == 0) {
        if (auto rs = m_db.openSnapshot(u"SELECT coperti FROM tavoli WHERE numero_tavolo = "_s
                                        + QString::number(c.tavolo));
            rs && !rs->isEOF())
            c.coperti = tipi::toLong(rs->value(u"coperti"_s));
        c.costoCoperti = {};
        switch (tipologia) {
        case 0:
            c.coperti = 0;
            break;
        case 1:
            c.costoCoperti = tipi::toCurrency(m_helpers.leggiVarStr(u"coperto_somma"_s, {})) * c.coperti;
            break;
        case 2:
            c.costoCoperti = modPlikoServer::calcolaPercentuale(c.totale, percentuale);
            break;
        default:
            break;
        }
    } else if (tipologia == 2) {
        c.costoCoperti = modPlikoServer::calcolaPercentuale(c.totale, percentuale);
    }
}

bool modNanoComande::chiudiComanda(ComandaNano &c, SnapshotRighe &dopo)
{
    // Covers and totals, written as the system writes a decimal number.
    if (!m_db.doQuery(u"UPDATE comande SET coperti = "_s + QString::number(c.coperti) + u", costo_coperti = '"_s
                      + tipi::numberText(c.costoCoperti.toDouble()) + u"', totale = '"_s
                      + tipi::numberText(c.totale.toDouble()) + u"' WHERE id_comanda = "_s
                      + QString::number(c.idComanda)))
        return fallito(u"totali non scritti"_s);
    // What the order holds now; committed before anything prints.
    dopo = snapshotRighe(c.idComanda);
    if (!m_db.commitTrans())
        return fallito(u"commit non riuscito: "_s + m_db.lastErrorText());
    return true;
}

void modNanoComande::stampaComanda(const ComandaNano &c, const SnapshotRighe &dopo)
{
    if (!m_stampe)
        return;
    for (const Stampa s : c.stampe) {
        const QString elenco = m_helpers.elencoTavoliComanda(c.idComanda);
        if (s == Stampa::ListaOrdinazioni)
            m_stampe->stampaListaOrdinazioni(c.idComanda, elenco);
        else if (m_helpers.leggiVarLong(u"stampa_preconto_sintetico"_s, 0) != 0)
            m_stampe->stampaPreContoSintetico(c.idComanda, elenco);
        else
            m_stampe->stampaPreConto(c.idComanda, elenco);
    }
    m_stampe->stampaComandaNano(c.idComanda, QString::number(c.tavolo), c.prima, dopo);
}
