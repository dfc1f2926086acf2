// SPDX-License-Identifier: GPL-3.0-or-later
#include "modNanoTavoli.h"

#include "BusinessDay.h"
#include "NanoParsing.h"
#include "OrderText.h"
#include "Cp1252.h"
#include "clsDatabase.h"
#include "modGestioneTipiDato.h"

#include <QLoggingCategory>
#include <cmath>

Q_LOGGING_CATEGORY(lcNanoTavoli, "pliko.nano.tavoli")

using namespace Qt::StringLiterals;

namespace {

QString numero(double v)
{
    return tipi::sqlNumber(v);
}

// A table number as it may stand bare in a statement: a whole 32-bit number, or nothing.
bool numeroTavolo(const QByteArray &campo, qint32 *tavolo)
{
    qint64 n = 0;
    if (!tipi::parseWhole(QString::fromLatin1(campo), &n))
        return false;
    *tavolo = static_cast<qint32>(n);
    return true;
}

} // namespace

QString modNanoTavoli::importoInCentesimi(Currency importo)
{
    if (importo.raw() == 0)
        return u"0"_s;
    // Rounded to two decimals as amounts are everywhere, then the integer part and exactly two
    // decimal digits side by side.
    const qint64 centesimi = Currency::fromDouble(tipi::arrotonda(importo.toDouble(), 2)).raw() / 100;
    const qint64 assoluto = centesimi < 0 ? -centesimi : centesimi;
    return (centesimi < 0 ? u"-"_s : QString()) + QString::number(assoluto / 100)
        + u"%1"_s.arg(assoluto % 100, 2, 10, QLatin1Char('0'));
}

Currency modNanoTavoli::centesimiInImporto(const QByteArray &testo, bool *valido)
{
    // The handhelds send whole numbers of cents; anything else, or an amount no line has, is no
    // amount at all (and multiplying it up to the currency's scale could overflow).
    constexpr qint64 MaxCentesimi = qint64(OrderText::MaxValoreRiga) * 100;
    qint64 centesimi = 0;
    const bool vuoto = testo.trimmed().isEmpty();
    const bool ok = vuoto
        || (tipi::parseWhole(QString::fromLatin1(testo), &centesimi) && centesimi >= -MaxCentesimi
            && centesimi <= MaxCentesimi);
    if (valido)
        *valido = ok;
    if (!ok || vuoto)
        return {};
    return Currency::fromRaw(centesimi * (Currency::Scale / 100));
}

QString modNanoTavoli::oraNano(double momento)
{
    double secondi = std::fmod(std::floor(momento), 86400.0);
    if (secondi < 0)
        secondi += 86400.0;
    const int s = static_cast<int>(secondi);
    return QString::number(s / 3600) + u"%1"_s.arg((s % 3600) / 60, 2, 10, QLatin1Char('0'));
}

qint32 modNanoTavoli::numeroNoteLibere(qint32 idComanda)
{
    auto rs = m_db.openSnapshot(u"SELECT COUNT(id_variazione) as tot FROM merce_comande_variazioni WHERE "
                                "id_variazione = -1 AND id_merce_comanda IN (SELECT id_merce_comanda FROM merce_comande "
                                "WHERE id_comanda = "_s
                                + QString::number(idComanda) + u" )"_s);
    return rs && !rs->isEOF() ? tipi::toLong(rs->value(u"tot"_s)) : 0;
}

qint32 modNanoTavoli::idNanoOperatore(qint32 codice)
{
    auto rs = m_db.openTable(u"clfn"_s);
    if (!rs || !rs->setIndex(u"cod_idx"_s) || !rs->seek(u"="_s, codice) || rs->noMatch())
        return 0;
    return tipi::toLong(rs->value(u"id_nano"_s));
}

qint32 modNanoTavoli::codiceOperatore(qint32 idNano, bool *trovato)
{
    if (trovato)
        *trovato = false;
    // The export numbers operators from 1; 0 is what every row holds before its first export.
    if (idNano <= 0)
        return 0;
    auto rs = m_db.openSnapshot(u"SELECT codice FROM clfn WHERE id_nano = "_s + QString::number(idNano));
    if (!rs || rs->isEOF())
        return 0;
    if (trovato)
        *trovato = true;
    return tipi::toLong(rs->value(u"codice"_s));
}

QByteArray modNanoTavoli::listaTavoliNano(qint32 operatorNano)
{
    QString filtro;
    if (operatorNano != 0) {
        bool trovato = false;
        const qint32 codice = codiceOperatore(operatorNano, &trovato);
        if (!trovato)
            qCWarning(lcNanoTavoli) << "elenco tavoli per l'operatore Duvu" << operatorNano
                                    << "che non corrisponde a nessun cameriere";
        filtro = u" AND id_operatore = "_s + QString::number(codice);
    }
    const BusinessDay::Window w = BusinessDay::window(m_db, BusinessDay::Rule::FixedBase);
    auto rs = m_db.openSnapshot(u"SELECT * FROM comande, tavoli_occupati WHERE comande.id_comanda = "
                                "tavoli_occupati.id_comanda AND fine = 0 AND stato = 0 AND inizio BETWEEN "_s
                                + numero(w.start) + u" AND "_s + numero(w.end) + u" "_s + filtro
                                + u" ORDER BY numero_tavolo "_s);
    QString lista;
    if (rs) {
        for (; !rs->isEOF(); rs->moveNext()) {
            const Currency importo = tipi::toCurrency(rs->value(u"totale"_s))
                + tipi::toCurrency(rs->value(u"costo_coperti"_s));
            lista += u"T|"_s + QString::number(tipi::toLong(rs->value(u"numero_tavolo"_s))) + u"|O|"_s
                + QString::number(idNanoOperatore(tipi::toLong(rs->value(u"id_operatore"_s)))) + u"|G|"_s
                + QString::number(tipi::toLong(rs->value(u"coperti"_s))) + u"|S|"_s
                + oraNano(tipi::toDouble(rs->value(u"inizio"_s))) + u"|I|"_s + importoInCentesimi(importo) + u'|';
        }
    } else {
        qCWarning(lcNanoTavoli).noquote() << "tavoli aperti non letti:" << m_db.lastErrorText();
    }
    return (lista + u".|"_s).toLatin1();
}

QByteArray modNanoTavoli::statoTavoloNano(qint32 tavolo)
{
    const BusinessDay::Window w = BusinessDay::window(m_db, BusinessDay::Rule::FixedBase);
    auto testa = m_db.openSnapshot(u"SELECT comande.id_comanda,id_operatore,coperti,costo_coperti  FROM "
                                   "comande,tavoli_occupati "_s
                                   + u" WHERE comande.id_comanda = tavoli_occupati.id_comanda AND numero_tavolo = "_s
                                   + QString::number(tavolo) + u" AND inizio BETWEEN "_s + numero(w.start)
                                   + u" AND "_s + numero(w.end) + u" AND stato = 0 AND fine = 0 "_s);
    if (!testa || testa->isEOF())
        return QByteArrayLiteral("E");

    const qint32 idComanda = tipi::toLong(testa->value(u"id_comanda"_s));
    QByteArray risposta = (u"O|"_s + QString::number(idNanoOperatore(tipi::toLong(testa->value(u"id_operatore"_s))))
                           + u"|T|"_s + QString::number(tavolo) + u"|M|"_s
                           + QString::number(numeroNoteLibere(idComanda)) + u"|G|1|"_s
                           + QString::number(tipi::toLong(testa->value(u"coperti"_s))) + u'|'
                           + importoInCentesimi(tipi::toCurrency(testa->value(u"costo_coperti"_s)))
                           + u"|0|0|0|"_s)
                              .toLatin1();
    QByteArray testiNote;
    qint32 nota = 0;
    auto righe = m_db.openSnapshot(u"SELECT * FROM merce_comande WHERE id_comanda = "_s + QString::number(idComanda));
    if (!righe)
        return QByteArrayLiteral("E");
    for (; !righe->isEOF(); righe->moveNext()) {
        const double quantita = tipi::toDouble(righe->value(u"quantita"_s));
        const Currency prezzo = tipi::toCurrency(righe->value(u"prezzo"_s));
        const qint32 articolo = tipi::toLong(righe->value(u"id_articolo"_s));
        risposta += (u"P|"_s + QString::number(articolo) + u'|' + QString::number(qRound64(quantita)) + u'|'
                     + importoInCentesimi(prezzo) + u"|0|"_s
                     + QString::number(tipi::toLong(righe->value(u"turno"_s))) + u"|0|"_s)
                        .toLatin1();
        qint32 categoria = 0;
        if (auto art = m_db.openSnapshot(u"SELECT id_tipo_merce FROM magazzino WHERE codice = "_s
                                         + QString::number(articolo));
            art && !art->isEOF())
            categoria = tipi::toLong(art->value(u"id_tipo_merce"_s));
        auto variazioni = m_db.openSnapshot(u"SELECT * FROM merce_comande_variazioni WHERE id_merce_comanda = "_s
                                            + QString::number(tipi::toLong(righe->value(u"id_merce_comanda"_s))));
        if (!variazioni)
            continue;
        for (; !variazioni->isEOF(); variazioni->moveNext()) {
            const qint32 idVariazione = tipi::toLong(variazioni->value(u"id_variazione"_s));
            if (idVariazione == -1) {
                risposta += (u"m|"_s + QString::number(nota++) + u"|1|0|0|0|0|"_s).toLatin1();
                testiNote += "$|" + cp1252::encode(nano::testoRadio(tipi::toText(variazioni->value(u"descrizione"_s))))
                    + '|';
                continue;
            }
            auto cat = m_db.openSnapshot(u"SELECT * FROM variazioni_comande_categorie, variazioni_comande WHERE "
                                         "variazioni_comande_categorie.id_variazione = variazioni_comande.id_variazione "
                                         "AND variazioni_comande_categorie.id_variazione = "_s
                                         + QString::number(idVariazione)
                                         + u" AND variazioni_comande_categorie.id_tipo_merce = "_s
                                         + QString::number(categoria));
            // A variation the export gave no number for this category cannot be named to a handheld.
            if (!cat || cat->isEOF())
                continue;
            const Currency maggiorazione = tipi::toCurrency(variazioni->value(u"maggiorazione"_s));
            const QString importo =
                importoInCentesimi(maggiorazione * tipi::toDouble(variazioni->value(u"quantita"_s)));
            const QString nano = QString::number(tipi::toLong(cat->value(u"id_nano"_s)));
            risposta += (maggiorazione.raw() > 0 ? u"+|"_s + nano + u"|1|"_s : u"-|"_s + nano + u"|2|"_s)
                            .toLatin1()
                + importo.toLatin1() + "|0|0|0|";
        }
    }
    return risposta + testiNote + ".|";
}

qint32 modNanoTavoli::spostaTavoloNano(const QByteArray &body)
{
    QList<QByteArray> campi;
    qint32 n = 0;
    nano::dividiCampi(body, '|', campi, n);
    qint32 da = 0;
    qint32 a = 0;
    if (n < 6 || !numeroTavolo(campi[3], &da) || !numeroTavolo(campi[5], &a)) {
        qCWarning(lcNanoTavoli) << "spostamento tavolo rifiutato: mancano i due numeri di tavolo in" << body.left(80);
        return NonSpostato;
    }
    const auto ordineAperto = [this](qint32 tavolo) {
        auto rs = m_db.openSnapshot(u"SELECT comande.id_comanda FROM comande, tavoli_occupati WHERE comande.id_comanda "
                                    "= tavoli_occupati.id_comanda AND comande.stato = 0 AND comande.fine = 0 AND "
                                    "numero_tavolo = "_s
                                    + QString::number(tavolo));
        return rs && !rs->isEOF() ? tipi::toLong(rs->value(u"id_comanda"_s)) : -1;
    };
    const qint32 idComanda = ordineAperto(da);
    if (idComanda == -1) {
        qCInfo(lcNanoTavoli) << "spostamento dal tavolo" << da << "al" << a
                             << "rifiutato: nessuna comanda aperta sul tavolo" << da;
        return NonSpostato;
    }
    // Two open orders on one table lose track of each other: whichever is found first hides the other.
    if (const qint32 occupante = ordineAperto(a); occupante != -1) {
        qCWarning(lcNanoTavoli) << "spostamento dal tavolo" << da << "al" << a << "rifiutato: la comanda" << occupante
                                << "è aperta su quel tavolo";
        return NonSpostato;
    }
    // Only the table being left changes: the other tables of a joined order stay where they are.
    if (!m_db.doQuery(u"UPDATE tavoli_occupati SET numero_tavolo = "_s + QString::number(a)
                      + u" WHERE id_comanda = "_s + QString::number(idComanda) + u" AND numero_tavolo = "_s
                      + QString::number(da))) {
        qCWarning(lcNanoTavoli).noquote() << "spostamento tavolo non registrato:" << m_db.lastErrorText();
        return NonSpostato;
    }
    qCInfo(lcNanoTavoli) << "comanda" << idComanda << "spostata dal tavolo" << da << "al" << a;
    return Spostato;
}
