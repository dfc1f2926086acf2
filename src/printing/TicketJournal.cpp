// SPDX-License-Identifier: GPL-3.0-or-later
#include "TicketJournal.h"

#include "clsDatabase.h"
#include "modGestioneTipiDato.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::StringLiterals;

bool TicketJournal::prepara()
{
    if (m_pronta && m_db.findTable(Tabella))
        return true;
    using D = clsDatabase;
    const struct
    {
        const char16_t *nome;
        int tipo;
    } colonne[] = {{u"id_comanda", D::dbLong},       {u"zona", D::dbLong},         {u"stampante", D::dbText},
                   {u"stato", D::dbInteger},         {u"tentativi", D::dbLong},    {u"creata", D::dbDouble},
                   {u"ultimo_tentativo", D::dbDouble}, {u"tavoli", D::dbText},     {u"cameriere", D::dbText},
                   {u"ora", D::dbText},              {u"righe", D::dbMemo},        {u"impronta", D::dbText},
                   {u"consegna", D::dbText},         {u"errore", D::dbMemo},       {u"ristampa", D::dbInteger},
                   {u"su_richiesta", D::dbInteger},  {u"documento", D::dbInteger}, {u"testo", D::dbMemo},
                   {u"pronta", D::dbDouble}};
    if (!m_db.createField(Tabella, u"id_stampa"_s, D::dbLong, {}, true, -1, true))
        return false;
    for (const auto &c : colonne) {
        const QString nome = QString::fromUtf16(c.nome);
        const bool numero = c.tipo != D::dbText && c.tipo != D::dbMemo;
        if (!m_db.createField(Tabella, nome, c.tipo, numero ? QVariant(0) : QVariant()))
            return false;
    }
    if (!m_db.findIndex(Tabella, u"idx_pliko_stampe_comanda"_s)
        && !m_db.createIndex(Tabella, u"id_comanda"_s, u"idx_pliko_stampe_comanda"_s, false, false, false))
        return false;
    m_pronta = true;
    return true;
}

QString TicketJournal::righeJson(const QList<RigaBiglietto> &righe)
{
    QJsonArray a;
    for (const auto &r : righe)
        a.append(QJsonObject{{u"id"_s, r.id},
                             {u"quantita"_s, r.quantita},
                             {u"piatto"_s, r.descrizione},
                             {u"turno"_s, r.turno},
                             {u"variazioni"_s, QJsonArray::fromStringList(r.variazioni)}});
    return QString::fromUtf8(QJsonDocument(a).toJson(QJsonDocument::Compact));
}

QList<RigaBiglietto> TicketJournal::righeDaJson(const QString &json)
{
    QList<RigaBiglietto> out;
    for (const auto &v : QJsonDocument::fromJson(json.toUtf8()).array()) {
        const QJsonObject o = v.toObject();
        RigaBiglietto r;
        r.id = o.value(u"id"_s).toInt();
        r.quantita = o.value(u"quantita"_s).toDouble();
        r.descrizione = o.value(u"piatto"_s).toString();
        r.turno = o.value(u"turno"_s).toString();
        for (const auto &x : o.value(u"variazioni"_s).toArray())
            r.variazioni.append(x.toString());
        out.append(std::move(r));
    }
    return out;
}

qint32 TicketJournal::aggiungi(const Biglietto &b)
{
    if (!prepara())
        return 0;
    auto rs = m_db.openTable(Tabella);
    if (!rs || !m_db.addNewRecord(*rs))
        return 0;
    const qint32 id = tipi::toLong(rs->value(u"id_stampa"_s));
    rs->setValue(u"id_comanda"_s, b.comanda);
    rs->setValue(u"zona"_s, b.zona);
    rs->setValue(u"stampante"_s, b.stampante);
    rs->setValue(u"stato"_s, b.stato);
    rs->setValue(u"tentativi"_s, b.tentativi);
    rs->setValue(u"creata"_s, b.creata);
    rs->setValue(u"ultimo_tentativo"_s, b.ultimoTentativo);
    rs->setValue(u"tavoli"_s, b.tavoli);
    rs->setValue(u"cameriere"_s, b.cameriere);
    rs->setValue(u"ora"_s, b.ora);
    rs->setValue(u"righe"_s, righeJson(b.righe));
    rs->setValue(u"impronta"_s, b.impronta);
    rs->setValue(u"consegna"_s, b.consegna);
    rs->setValue(u"errore"_s, b.errore);
    rs->setValue(u"ristampa"_s, b.ristampa ? 1 : 0);
    rs->setValue(u"su_richiesta"_s, b.suRichiesta ? 1 : 0);
    rs->setValue(u"documento"_s, b.genere);
    rs->setValue(u"testo"_s, b.testo);
    rs->setValue(u"pronta"_s, b.pronta);
    return m_db.updateRecord(*rs) ? id : 0;
}

QList<TicketJournal::Biglietto> TicketJournal::leggi(const QString &where)
{
    QList<Biglietto> out;
    if (!prepara())
        return out;
    auto rs = m_db.openSnapshot(u"SELECT * FROM pliko_stampe WHERE "_s + where + u" ORDER BY id_stampa"_s);
    if (!rs)
        return out;
    for (; !rs->isEOF(); rs->moveNext()) {
        Biglietto b;
        b.id = tipi::toLong(rs->value(u"id_stampa"_s));
        b.comanda = tipi::toLong(rs->value(u"id_comanda"_s));
        b.zona = tipi::toLong(rs->value(u"zona"_s));
        b.stampante = tipi::toText(rs->value(u"stampante"_s));
        b.stato = tipi::toLong(rs->value(u"stato"_s));
        b.tentativi = tipi::toLong(rs->value(u"tentativi"_s));
        b.creata = tipi::toDouble(rs->value(u"creata"_s));
        b.ultimoTentativo = tipi::toDouble(rs->value(u"ultimo_tentativo"_s));
        b.tavoli = tipi::toText(rs->value(u"tavoli"_s));
        b.cameriere = tipi::toText(rs->value(u"cameriere"_s));
        b.ora = tipi::toText(rs->value(u"ora"_s));
        b.righe = righeDaJson(tipi::toText(rs->value(u"righe"_s)));
        b.impronta = tipi::toText(rs->value(u"impronta"_s));
        b.consegna = tipi::toText(rs->value(u"consegna"_s));
        b.errore = tipi::toText(rs->value(u"errore"_s));
        b.ristampa = tipi::toLong(rs->value(u"ristampa"_s)) != 0;
        b.suRichiesta = tipi::toLong(rs->value(u"su_richiesta"_s)) != 0;
        b.genere = tipi::toLong(rs->value(u"documento"_s));
        b.testo = tipi::toText(rs->value(u"testo"_s));
        b.pronta = tipi::toDouble(rs->value(u"pronta"_s));
        out.append(std::move(b));
    }
    return out;
}

std::optional<TicketJournal::Biglietto> TicketJournal::leggiUno(qint32 id)
{
    const auto r = leggi(u"id_stampa = "_s + QString::number(id));
    if (r.isEmpty())
        return std::nullopt;
    return r.first();
}

QList<TicketJournal::Biglietto> TicketJournal::daStampare(std::optional<qint32> comanda)
{
    QString where = u"stato IN (0, 1, 3)"_s;
    if (comanda)
        where += u" AND id_comanda = "_s + QString::number(*comanda);
    return leggi(where);
}

bool TicketJournal::modifica(qint32 id, const QString &assegnazioni)
{
    return prepara()
        && m_db.doQuery(u"UPDATE pliko_stampe SET "_s + assegnazioni + u" WHERE id_stampa = "_s + QString::number(id));
}

namespace {
QString testo(const QString &t)
{
    return u'\'' + clsDatabase::SQLEscape(t) + u'\'';
}
} // namespace

bool TicketJournal::inviata(qint32 id, const QString &stampante, const QString &impronta, double momento)
{
    return modifica(id, u"stato = 1, tentativi = tentativi + 1, stampante = "_s + testo(stampante) + u", impronta = "_s
                            + testo(impronta) + u", ultimo_tentativo = "_s + tipi::sqlNumber(momento));
}

bool TicketJournal::stampata(qint32 id, const QString &consegna, int stato)
{
    return modifica(id, u"stato = "_s + QString::number(stato) + u", consegna = "_s + testo(consegna)
                            + u", errore = ''"_s);
}

bool TicketJournal::fallita(qint32 id, const QString &errore, double momento, bool contaTentativo)
{
    return modifica(id, u"tentativi = tentativi + "_s + (contaTentativo ? u"1"_s : u"0"_s) + u", stato = 3, errore = "_s
                            + testo(errore.left(500)) + u", ultimo_tentativo = "_s + tipi::sqlNumber(momento));
}

bool TicketJournal::cambiaStato(qint32 id, int stato, bool ristampa)
{
    return modifica(id, u"stato = "_s + QString::number(stato) + u", ristampa = "_s + (ristampa ? u"1"_s : u"0"_s));
}

bool TicketJournal::segnaPronta(qint32 id, double momento)
{
    return modifica(id, u"pronta = "_s + tipi::sqlNumber(momento));
}

bool TicketJournal::elimina(qint32 id)
{
    return prepara() && m_db.doQuery(u"DELETE FROM pliko_stampe WHERE id_stampa = "_s + QString::number(id));
}

int TicketJournal::sfoltisci(double prima)
{
    if (!prepara() || !m_db.doQuery(u"DELETE FROM pliko_stampe WHERE creata < "_s + tipi::sqlNumber(prima)))
        return 0;
    return int(m_db.lastChanged());
}
