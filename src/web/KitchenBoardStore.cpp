// SPDX-License-Identifier: GPL-3.0-or-later
#include "KitchenBoardStore.h"

#include "modGestioneTipiDato.h"
#include "modPlikoServer.h"

#include <QStringList>
#include <QTime>

using namespace Qt::StringLiterals;

namespace {
constexpr double GiornoDiServizio = 24 * 3600.0;

QString elenco(const QList<qint32> &zone)
{
    QStringList s;
    for (qint32 z : zone)
        s.append(QString::number(z));
    return s.isEmpty() ? u"-1"_s : s.join(u',');
}
} // namespace

KitchenBoardStore::KitchenBoardStore(clsDatabase &db, std::function<bool()> hold, std::function<void(bool)> release,
                                     Esegui esegui, QObject *parent)
    : QObject(parent)
    , m_journal(db)
    , m_hold(std::move(hold))
    , m_release(std::move(release))
    , m_esegui(std::move(esegui))
{
    qRegisterMetaType<Biglietti>("Biglietti");
}

void KitchenBoardStore::esegui(std::function<void()> lavoro)
{
    if (m_esegui)
        m_esegui(std::move(lavoro));
    else
        lavoro();
}

template <typename F> bool KitchenBoardStore::conDatabase(F &&f)
{
    const bool held = m_hold ? m_hold() : true;
    bool ok = false;
    if (held)
        ok = f();
    if (m_release)
        m_release(held);
    return ok;
}

void KitchenBoardStore::carica(const QList<qint32> &zone)
{
    esegui([this, zone] {
        Biglietti daFare, fatti;
        const double adesso = modPlikoServer::momentoAttuale();
        const double mezzanotte = adesso - QTime::currentTime().msecsSinceStartOfDay() / 1000.0;
        // Operator reprints are copies of tickets already on the screens, never new work; pre-bills and
        // kitchen messages are no dishes to make.
        const QString base = u"su_richiesta = 0 AND documento = 0 AND zona IN ("_s + elenco(zone) + u") AND "_s;
        conDatabase([&] {
            daFare = m_journal.leggi(base + u"pronta = 0 AND creata >= "_s + tipi::sqlNumber(adesso - GiornoDiServizio));
            fatti = m_journal.leggi(base + u"pronta > 0 AND creata >= "_s + tipi::sqlNumber(mezzanotte));
            return true;
        });
        emit caricati(daFare, fatti);
    });
}

void KitchenBoardStore::leggiComanda(qint32 comanda)
{
    esegui([this, comanda] {
        Biglietti out;
        conDatabase([&] {
            out = m_journal.leggi(u"su_richiesta = 0 AND documento = 0 AND pronta = 0 AND id_comanda = "_s + QString::number(comanda));
            return true;
        });
        emit letti(out);
    });
}

void KitchenBoardStore::segnaPronta(qint32 id, double momento)
{
    esegui([this, id, momento] {
        const bool ok = conDatabase([&] { return m_journal.segnaPronta(id, momento); });
        emit pronta(id, momento, ok);
    });
}

void KitchenBoardStore::richiama(qint32 zona)
{
    esegui([this, zona] {
        Biglietti out;
        const double adesso = modPlikoServer::momentoAttuale();
        conDatabase([&] {
            Biglietti fatti = m_journal.leggi(u"su_richiesta = 0 AND documento = 0 AND pronta > 0 AND zona = "_s + QString::number(zona)
                + u" AND creata >= "_s + tipi::sqlNumber(adesso - GiornoDiServizio));
            if (fatti.isEmpty())
                return true;
            auto ultimo = std::max_element(
                fatti.begin(), fatti.end(), [](const auto &a, const auto &b) { return a.pronta < b.pronta; });
            if (!m_journal.segnaPronta(ultimo->id, 0))
                return false;
            ultimo->pronta = 0;
            out.append(*ultimo);
            return true;
        });
        emit richiamato(out);
    });
}
