// SPDX-License-Identifier: GPL-3.0-or-later
#include "KitchenBoard.h"

#include "frmStampeDocumenti.h"

#include <QDate>

#include <algorithm>

using namespace Qt::StringLiterals;

QSet<qint32> KitchenBoard::aggiungi(const QList<TicketJournal::Biglietto> &biglietti)
{
    QSet<qint32> cambiate;
    for (const auto &b : biglietti) {
        if (!m_zone.contains(b.zona) || b.pronta > 0 || b.suRichiesta)
            continue;
        auto &lista = m_schede[b.zona];
        auto it = std::find_if(lista.begin(), lista.end(), [&](const auto &x) { return x.id == b.id; });
        if (it != lista.end())
            *it = b;
        else
            lista.insert(std::upper_bound(
                             lista.begin(), lista.end(), b, [](const auto &a, const auto &x) { return a.id < x.id; }),
                b);
        cambiate.insert(b.zona);
    }
    return cambiate;
}

std::optional<TicketJournal::Biglietto> KitchenBoard::trova(qint32 zona, qint32 id) const
{
    for (const auto &b : m_schede.value(zona))
        if (b.id == id)
            return b;
    return std::nullopt;
}

std::optional<qint32> KitchenBoard::togli(qint32 id)
{
    for (auto it = m_schede.begin(); it != m_schede.end(); ++it)
        if (it->removeIf([id](const auto &b) { return b.id == id; }) > 0)
            return it.key();
    return std::nullopt;
}

void KitchenBoard::tempoPronto(qint32 zona, double secondi)
{
    // The console shows today's figures: a server running past midnight starts a new day.
    const QDate oggi = QDate::currentDate();
    if (oggi != m_giorno) {
        m_giorno = oggi;
        m_tempi.clear();
    }
    Tempi &t = m_tempi[zona];
    ++t.quanti;
    t.somma += std::max(secondi, 0.0);
    t.massimo = std::max(t.massimo, secondi);
}

void KitchenBoard::tempiDelGiorno(const QList<TicketJournal::Biglietto> &fatti)
{
    m_tempi.clear();
    for (const auto &b : fatti)
        tempoPronto(b.zona, b.pronta - b.creata);
}

QJsonObject KitchenBoard::zonaJson(qint32 zona, double adesso) const
{
    QJsonArray schede;
    QMap<QString, double> totali; // the all-day counts: each dish still to make, over every card
    const auto &lista = m_schede.value(zona);
    for (const auto &b : lista) {
        for (const auto &r : b.righe)
            totali[r.descrizione] += r.quantita;
        // No screen shows more than this many cards; the oldest go first, the rest are counted.
        if (schede.size() >= MaxSchede)
            continue;
        QJsonArray righe;
        for (const auto &r : b.righe) {
            righe.append(QJsonObject { { u"quantita"_s, r.quantita }, { u"piatto"_s, r.descrizione },
                { u"turno"_s, r.turno }, { u"variazioni"_s, QJsonArray::fromStringList(r.variazioni) } });
        }
        schede.append(QJsonObject { { u"id"_s, b.id }, { u"comanda"_s, b.comanda }, { u"tavoli"_s, b.tavoli },
            { u"cameriere"_s, b.cameriere }, { u"ora"_s, b.ora },
            { u"trascorsi"_s, qint64(std::max(0.0, adesso - b.creata)) }, { u"righe"_s, righe } });
    }
    QList<std::pair<QString, double>> ordine(totali.keyValueBegin(), totali.keyValueEnd());
    std::stable_sort(ordine.begin(), ordine.end(), [](const auto &a, const auto &b) { return a.second > b.second; });
    QJsonArray tuttoIlGiorno;
    for (const auto &[piatto, quanti] : ordine)
        tuttoIlGiorno.append(QJsonObject { { u"piatto"_s, piatto }, { u"quantita"_s, quanti } });
    return { { u"tipo"_s, u"kds"_s }, { u"zona"_s, frmStampeDocumenti::nomeTipoStampante(zona) },
        { u"schede"_s, schede }, { u"altre"_s, qint64(lista.size() - schede.size()) }, { u"totali"_s, tuttoIlGiorno } };
}

QJsonArray KitchenBoard::tempiJson() const
{
    QJsonArray out;
    if (m_giorno != QDate::currentDate())
        return out;
    for (auto it = m_tempi.begin(); it != m_tempi.end(); ++it)
        out.append(QJsonObject { { u"zona"_s, frmStampeDocumenti::nomeTipoStampante(it.key()) },
            { u"pronti"_s, it->quanti }, { u"media"_s, qint64(it->quanti ? it->somma / it->quanti : 0) },
            { u"massimo"_s, qint64(it->massimo) } });
    return out;
}
