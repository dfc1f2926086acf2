// SPDX-License-Identifier: GPL-3.0-or-later
#include "modNanoComande.h"

#include "BusinessDay.h"
#include "NanoParsing.h"
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

// Far above any table's order, far below what would overflow an amount.
constexpr double QuantitaMassima = 100000;

enum class Stampa { PreConto, ListaOrdinazioni };

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
    registraComandaNano(body);
}

qint32 modNanoComande::fallito(const QString &perche)
{
    qCWarning(lcNanoComande).noquote() << "radio order not recorded:" << perche;
    if (m_db.inTransaction())
        m_db.rollback();
    if (m_ui)
        m_ui->message(ErroreSalvataggio);
    return -1;
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
                qCWarning(lcNanoComande).noquote() << "spare table" << n << "not added:" << m_db.lastErrorText();
            return n;
        }
        auto rs = m_db.openSnapshot(u"SELECT * FROM tavoli_occupati,comande WHERE tavoli_occupati.id_comanda = "
                                    "comande.id_comanda AND fine = 0  AND stato =0 AND tavoli_occupati.numero_tavolo = "_s
                                    + QString::number(n));
        if (rs && rs->isEOF())
            return n;
    }
    return 999;
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
    // Every piece counts, the last one too.
    const QList<QByteArray> t = body.split('|');
    if (t.size() < 4) {
        qCWarning(lcNanoComande).noquote() << "radio order dropped: no table in" << sintesi(body);
        return -1;
    }

    // A body cut before its records (not even the end mark) says nothing about the table: replacing
    // the order with it would empty the table.
    bool conRecord = false;
    for (qsizetype i = 6; i < t.size() && !conRecord; ++i)
        conRecord = t[i] == "P" || t[i] == "+" || t[i] == "-" || t[i] == "G" || t[i] == "D" || t[i] == ".";
    if (!conRecord) {
        qCWarning(lcNanoComande).noquote() << "radio order dropped: no records in" << sintesi(body);
        return -1;
    }

    // 1. The operator. A number no operator has (an older export, a handheld of another site) must
    // not lose the order: it is kept under operator 0 for the till to sort out.
    const qint32 operatoreNano = nano::leggiIntero(t[1]);
    bool trovato = false;
    const qint32 operatore = m_tavoli.codiceOperatore(operatoreNano, &trovato);
    if (!trovato)
        qCWarning(lcNanoComande) << "radio order of Duvu operator" << operatoreNano
                                 << "who names no operator: recorded under operator 0";

    // 2. The table; one the plan does not know goes to a spare table. The number stands bare in
    // statements, so it must be a whole number.
    qint64 numero = 0;
    if (!tipi::parseWhole(testo(t[3]), &numero)) {
        qCWarning(lcNanoComande).noquote() << "radio order dropped: table" << testo(t[3].left(20))
                                           << "is not a number";
        return -1;
    }
    qint32 tavolo = static_cast<qint32>(numero);
    if (!esisteTavolo(tavolo)) {
        const qint32 riserva = tavoloDiRiserva();
        qCInfo(lcNanoComande) << "radio order for table" << tavolo << "not in the plan: spare table" << riserva;
        tavolo = riserva;
    }

    // 3-4. The table's open order of the business day, and what it held before this message.
    const BusinessDay::Window w = BusinessDay::window(m_db, BusinessDay::Rule::FixedBase);
    qint32 idComanda = -1;
    {
        auto rs = m_db.openSnapshot(u"SELECT comande.id_comanda FROM comande,tavoli_occupati "_s
                                    + u" WHERE comande.id_comanda = tavoli_occupati.id_comanda AND numero_tavolo = "_s
                                    + QString::number(tavolo) + u" AND inizio BETWEEN "_s + tipi::sqlNumber(w.start)
                                    + u" AND "_s + tipi::sqlNumber(w.end) + u" AND stato = 0 AND fine = 0 "_s);
        if (!rs)
            return fallito(u"ordine del tavolo non letto: "_s + m_db.lastErrorText());
        if (!rs->isEOF())
            idComanda = tipi::toLong(rs->value(u"id_comanda"_s));
    }
    const SnapshotRighe prima = idComanda != -1 ? snapshotRighe(idComanda) : SnapshotRighe();
    m_recorder.nuovaComanda();

    // 5-6. Header. From here to the commit nothing yields to the event loop and nothing prints:
    // another request's writes must never land inside this transaction, and a ticket must never
    // leave for an order that is then rolled back.
    if (!m_db.beginTrans())
        return fallito(u"transazione non avviata: "_s + m_db.lastErrorText());
    {
        auto rs = m_db.openTable(u"comande"_s);
        if (!rs)
            return fallito(u"tabella comande non aperta"_s);
        bool ok = false;
        if (idComanda != -1) {
            ok = rs->setIndex(u"comanda_idx"_s) && rs->seek(u"="_s, idComanda) && !rs->noMatch()
                && m_db.editRecord(*rs);
        } else {
            ok = m_db.addNewRecord(*rs);
            if (ok)
                rs->setValue(u"inizio"_s, modPlikoServer::momentoAttuale());
        }
        if (!ok)
            return fallito(u"intestazione della comanda non scritta: "_s + m_db.lastErrorText());
        rs->setValue(u"ultima_ordinazione"_s, modPlikoServer::momentoAttuale());
        rs->setValue(u"id_operatore"_s, operatore);
        rs->setValue(u"stato"_s, 0);
        rs->setValue(u"data"_s, tipi::dayNumber(tipi::today()));
        rs->setValue(u"gia_scaricato"_s, 0);
        idComanda = tipi::toLong(rs->value(u"id_comanda"_s));
        if (!m_db.updateRecord(*rs))
            return fallito(u"intestazione della comanda non salvata: "_s + m_db.lastErrorText());
    }
    const QString key = QString::number(idComanda);

    // 7. The table.
    if (!m_db.doQuery(u"DELETE FROM tavoli_occupati WHERE id_comanda = "_s + key))
        return fallito(u"tavolo non liberato"_s);
    {
        auto rs = m_db.openTable(u"tavoli_occupati"_s);
        if (!rs || !m_db.addNewRecord(*rs))
            return fallito(u"tavolo non occupato"_s);
        rs->setValue(u"numero_tavolo"_s, tavolo);
        rs->setValue(u"id_comanda"_s, idComanda);
        if (!m_db.updateRecord(*rs))
            return fallito(u"tavolo non occupato"_s);
    }

    // 8. Release the stock of the old lines, then remove them with their variations.
    if (!m_recorder.rilasciaRighe(idComanda))
        return fallito(u"righe precedenti non rimosse"_s);

    // 9. The records. The fields that follow a marker are scanned again as tokens, so a course
    // field "P" also starts a line.
    const QList<QByteArray> note = noteLibere(body);
    Currency totale;
    qint32 coperti = 0;
    Currency costoCoperti;
    qint32 ultimaRiga = -1;
    double qtaUltima = 0;
    QList<Stampa> stampe;
    const qsizetype ultimo = t.size() - 1;
    const auto troncato = [&](qsizetype i, qsizetype campi) {
        if (i + campi <= ultimo)
            return false;
        qCWarning(lcNanoComande).noquote() << "radio order" << idComanda << ": record" << testo(t[i])
                                           << "cut short at the end of the message, ignored";
        return true;
    };
    for (qsizetype i = 6; i <= ultimo; ++i) {
        const QByteArray &marcatore = t[i];
        if (marcatore == ".")
            break;
        if (marcatore == "P") {
            if (troncato(i, 8))
                continue;
            // A line the handheld marks -1 was deleted there: neither it nor its variations count.
            ultimaRiga = -1;
            if (tipi::toInt16(testo(t[i + 4])) == -1)
                continue;
            const qint32 articolo = tipi::toLong(testo(t[i + 1]));
            const double quantita = tipi::toDouble(testo(t[i + 2]));
            // A quantity no table orders would only corrupt the stock counters and the totals.
            if (!(std::fabs(quantita) <= QuantitaMassima)) {
                qCWarning(lcNanoComande).noquote() << "radio order" << idComanda << ": quantity"
                                                   << testo(t[i + 2].left(20)) << "of article" << testo(t[i + 1].left(20))
                                                   << "out of range, line ignored";
                continue;
            }
            const Currency prezzo = modNanoTavoli::centesimiInImporto(t[i + 3]);
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
                if (scelta >= 0 && scelta < note.size())
                    testoNota = cp1252::decode(note[scelta]);
            }
            const qint32 riga = m_recorder.salvaMerceComanda(idComanda, articolo, quantita, prezzo.toDouble(), turno,
                                                             {}, 0, 0);
            if (riga == OrderRecorder::ArticoloSconosciuto) {
                qCWarning(lcNanoComande) << "radio order" << idComanda << ": unknown article" << articolo
                                         << "left out";
                continue;
            }
            if (riga == -1)
                return -1; // rolled back and reported by the line recording
            totale += prezzo;
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
            ultimaRiga = riga;
            qtaUltima = Currency::fromDouble(quantita).toDouble();
        } else if (marcatore == "+" || marcatore == "-") {
            if (troncato(i, 3))
                continue;
            if (ultimaRiga == -1) {
                qCWarning(lcNanoComande) << "radio order" << idComanda << ": variation with no line before it, ignored";
                continue;
            }
            const qint32 variazioneNano = nano::leggiIntero(t[i + 1]);
            auto cat = m_db.openSnapshot(u"SELECT variazioni_comande.id_variazione, descrizione, prezzo FROM "
                                         "variazioni_comande_categorie,variazioni_comande WHERE "
                                         "variazioni_comande_categorie.id_variazione = variazioni_comande.id_variazione "
                                         "AND id_nano = "_s
                                         + QString::number(variazioneNano));
            if (!cat)
                return fallito(u"variazione non letta: "_s + m_db.lastErrorText());
            // 0 is the number of every pair the export has not numbered yet.
            if (variazioneNano <= 0 || cat->isEOF()) {
                qCWarning(lcNanoComande) << "radio order" << idComanda << ": variation number" << variazioneNano
                                         << "not in the catalogue, ignored";
                continue;
            }
            const qint32 idVariazione = tipi::toLong(cat->value(u"id_variazione"_s));
            const Currency maggiorazione = tipi::toCurrency(cat->value(u"prezzo"_s));
            if (!m_recorder.salvaVariazione(ultimaRiga, idVariazione, qtaUltima))
                return -1; // rolled back and reported by the variation recording
            totale += maggiorazione * qtaUltima;
        } else if (marcatore == "G") {
            if (troncato(i, 3))
                continue;
            coperti = tipi::toLong(testo(t[i + 2]));
            costoCoperti = modNanoTavoli::centesimiInImporto(t[i + 3]);
        } else if (marcatore == "D") {
            if (troncato(i, 1))
                continue;
            if (t[i + 1] == "1") {
                // The flag is part of the order and commits with it; the pre-bill prints after.
                if (!m_db.doQuery(u"UPDATE comande SET pre_conto = true WHERE id_comanda = "_s + key))
                    return fallito(u"preconto non segnato"_s);
                stampe.append(Stampa::PreConto);
            } else if (t[i + 1] == "2") {
                stampe.append(Stampa::ListaOrdinazioni);
            }
        }
    }

    // 10. Covers: those sent, or the table's own, charged by the configured rule.
    const qint32 tipologia = m_helpers.leggiVarLong(u"tipologia_coperto"_s, 0);
    const double percentuale = tipi::toDouble(m_helpers.leggiVarStr(u"coperto_percentuale"_s, {}));
    if (coperti == 0) {
        if (auto rs = m_db.openSnapshot(u"SELECT coperti FROM tavoli WHERE numero_tavolo = "_s
                                        + QString::number(tavolo));
            rs && !rs->isEOF())
            coperti = tipi::toLong(rs->value(u"coperti"_s));
        costoCoperti = {};
        switch (tipologia) {
        case 0:
            coperti = 0;
            break;
        case 1:
            costoCoperti = tipi::toCurrency(m_helpers.leggiVarStr(u"coperto_somma"_s, {})) * coperti;
            break;
        case 2:
            costoCoperti = modPlikoServer::calcolaPercentuale(totale, percentuale);
            break;
        default:
            break;
        }
    } else if (tipologia == 2) {
        costoCoperti = modPlikoServer::calcolaPercentuale(totale, percentuale);
    }

    // 11. Covers and totals, written as the system writes a decimal number.
    if (!m_db.doQuery(u"UPDATE comande SET coperti = "_s + QString::number(coperti) + u", costo_coperti = '"_s
                      + tipi::numberText(costoCoperti.toDouble()) + u"', totale = '"_s
                      + tipi::numberText(totale.toDouble()) + u"' WHERE id_comanda = "_s + key))
        return fallito(u"totali non scritti"_s);

    // 12-14. What the order holds now; committed before anything prints.
    const SnapshotRighe dopo = snapshotRighe(idComanda);
    if (!m_db.commitTrans())
        return fallito(u"commit non riuscito: "_s + m_db.lastErrorText());

    if (m_stampe) {
        for (const Stampa s : stampe) {
            const QString elenco = m_helpers.elencoTavoliComanda(idComanda);
            if (s == Stampa::ListaOrdinazioni)
                m_stampe->stampaListaOrdinazioni(idComanda, elenco);
            else if (m_helpers.leggiVarLong(u"stampa_preconto_sintetico"_s, 0) != 0)
                m_stampe->stampaPreContoSintetico(idComanda, elenco);
            else
                m_stampe->stampaPreConto(idComanda, elenco);
        }
        m_stampe->stampaComandaNano(idComanda, QString::number(tavolo), prima, dopo);
    }
    return idComanda;
}
