// SPDX-License-Identifier: GPL-3.0-or-later
// Radio orders of 15 lines, each message the whole order of its table with one dish added since the
// last, recorded and printed (kitchen, pizzeria and bar spool printers) on a durable WAL database;
// beside it the same order recorded from a TCP handheld and printed by its own rule, and the radio
// order once more as the receive loop takes it from the access point emulated on a pseudo-terminal
// (poll, frame, dispatch, record, print).
//   bench_nano_orders
#include "Clock.h"
#ifdef PLIKO_BENCH_DUVUSIM
#include "DuvuSim.h"
#include "SerialAccessPoint.h"
#include "modNano.h"
#endif
#include "HandheldLink.h"
#include "OperatorUi.h"
#include "OrderPrinting.h"
#include "OrderRecorder.h"
#include "Registry.h"
#include "RestaurantSchema.h"
#include "clsDatabase.h"
#include "frmStampeDocumenti.h"
#include "modGestioneTipiDato.h"
#include "modNanoComande.h"
#include "modPlikoServer.h"

#include <QDir>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

// 15 dishes from every zone: pasta and mains to the kitchen, pizzas to the pizzeria, drinks to the bar.
constexpr int Articoli[15] = {108, 109, 110, 116, 117, 126, 127, 128, 129, 141, 142, 145, 146, 135, 136};
constexpr int Tavoli = 20;

class Ristorante
{
public:
    Ristorante() : m_clock(QDateTime(QDate::currentDate(), QTime(1, 30)))
    {
        regional().locale = QLocale(QLocale::Italian, QLocale::Italy);
        regional().clock = &m_clock; // inside the business day that opened yesterday at 10:00
        const QString path = m_dir.filePath(u"restaurant.db"_s);
        QString error;
        schema::createDatabase(path, true, &error);
        db.setYieldBeforeStatements(false);
        db.openDB(path);
        db.doQuery(u"UPDATE clfn SET id_nano = codice WHERE operatore AND NOT cancellato"_s);
        db.doQuery(u"UPDATE variazioni_comande_categorie SET id_nano = id_variazione * 10 + id_tipo_merce"_s);
        db.doQuery(u"UPDATE magazzino SET giacenza = 1000000 WHERE not articolo_restaurant"_s);
        registry = std::make_unique<Registry>(m_dir.filePath(u"plikoserver.ini"_s));
        registry->setValue(Registry::OwnKey, u"PrinterBackend"_s, u"spool"_s);
        registry->setValue(Registry::OwnKey, u"PrintSpoolDir"_s, m_dir.filePath(u"spool"_s));
        for (const auto &[tipo, nome] : {std::pair{2, "Cucina"}, {3, "Pizzeria"}, {4, "Bar"}}) {
            registry->setValue(Registry::BackOfficeKey, u"zona_ristorante_"_s + frmStampeDocumenti::nomeTipoStampante(tipo),
                               QString(QString::fromLatin1(nome) + u"|9"_s));
            QDir(m_dir.filePath(u"spool"_s)).mkpath(QString::fromLatin1(nome));
        }
        stampe = std::make_unique<frmStampeDocumenti>(db, *registry, &ui);
    }

    clsDatabase db;
    modPlikoServer helpers{db};
    OperatorUi ui;
    std::unique_ptr<Registry> registry;
    std::unique_ptr<frmStampeDocumenti> stampe;

private:
    QTemporaryDir m_dir;
    FixedClock m_clock;
};

// The TCP handheld is gone as soon as it has its reply.
class LinkChiuso final : public HandheldLink
{
public:
    int inviaRisposta(const QString &, int) override { return 1; }
    bool aspettaChiusura(int) override { return true; }
};

// The n-th message of a table: every dish once, the n-th of them (round the menu) one more time.
QByteArray messaggioT(int tavolo, int giro)
{
    QByteArray m = "T|1|0|" + QByteArray::number(tavolo) + "|0|0|G|0|4|800|";
    for (int i = 0; i < 15; ++i)
        m += "P|" + QByteArray::number(Articoli[i]) + '|' + QByteArray::number(1 + giro / 15 + (i < giro % 15))
            + "|950|0|" + QByteArray::number(1 + i / 5) + "|0|0|0|";
    return m + ".|";
}

QString comandaTcp(int tavolo, int giro, double inizio)
{
    QString m = tipi::sqlNumber(inizio + tavolo) + u'|' + QString::number(tavolo) + u"|4|1|8,00|150,50;"_s;
    // The handheld sends back what was printed already: the quantities of its previous message.
    const auto quantita = [](int i, int g) { return 1 + g / 15 + (i < g % 15); };
    for (int i = 0; i < 15; ++i)
        m += u"M|"_s + QString::number(Articoli[i]) + u'|' + QString::number(quantita(i, giro)) + u"|9,50|"_s
            + QString::number(1 + i / 5) + u"|x|0|"_s + QString::number(giro > 0 ? quantita(i, giro - 1) : 0)
            + u';';
    return m;
}

void RadioOrder15Lines(benchmark::State &state)
{
    Ristorante r;
    modNanoComande nano(r.db, r.helpers, &r.ui, r.stampe.get());
    int n = 0;
    for (auto _ : state) {
        const qint32 id = nano.registraComandaNano(messaggioT(1 + n % Tavoli, n / Tavoli));
        benchmark::DoNotOptimize(id);
        ++n;
    }
    state.SetItemsProcessed(state.iterations());
}

void TcpOrder15Lines(benchmark::State &state)
{
    Ristorante r;
    LinkChiuso link;
    // The report window prints the tickets as the TCP orders print theirs.
    class Stampa final : public OrderPrinting
    {
    public:
        explicit Stampa(frmStampeDocumenti &s) : m_s(s) {}
        QString stampantePreconto() override { return {}; }
        void stampaComanda(qint32 id, const QString &t) override { m_s.stampaComanda(id, t); }
        void stampaPreConto(qint32, const QString &) override {}
        void stampaListaOrdinazioni(qint32, const QString &) override {}
        void stampaMessaggioCucina(qint32, const QString &) override {}
        void stampaResocontoTest(const QStringList &) override {}

    private:
        frmStampeDocumenti &m_s;
    } stampa(*r.stampe);
    OrderRecorder recorder(r.db, r.helpers, link, &r.ui, &stampa);
    const double inizio = tipi::momentOf(tipi::now());
    int n = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(recorder.salvaComanda(comandaTcp(1 + n % Tavoli, n / Tavoli, inizio), 2, false, false));
        ++n;
    }
    state.SetItemsProcessed(state.iterations());
}

#ifdef PLIKO_BENCH_DUVUSIM
void RadioOrder15LinesThroughTheAccessPoint(benchmark::State &state)
{
    Ristorante r;
    DuvuSim sim;
    sim.openPty();
    sim.start();
    SerialAccessPoint::Settings settings;
    settings.devices.insert(1, sim.devicePath());
    SerialAccessPoint driver(settings);
    driver.Dll_OpenSerial(1);
    modNanoComande handlers(r.db, r.helpers, &r.ui, r.stampe.get());
    modNano loop(driver, handlers, r.db, &r.ui);
    int n = 0;
    for (auto _ : state) {
        sim.queueMessage('T', messaggioT(1 + n % Tavoli, n / Tavoli));
        loop.tick();
        ++n;
    }
    // Every message must have reached its order: the last table holds what it was last sent.
    auto rs = r.db.openSnapshot(u"SELECT sum(quantita) FROM merce_comande, tavoli_occupati WHERE"
                                " merce_comande.id_comanda = tavoli_occupati.id_comanda AND numero_tavolo = "_s
                                + QString::number(1 + (n - 1) % Tavoli));
    const int giro = (n - 1) / Tavoli;
    if (!rs || tipi::toLong(rs->value(0)) != 15 * (1 + giro / 15) + giro % 15)
        state.SkipWithError("a message was lost");
    state.SetItemsProcessed(state.iterations());
}
#endif

} // namespace

#ifdef PLIKO_BENCH_DUVUSIM
BENCHMARK(RadioOrder15LinesThroughTheAccessPoint)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();
#endif
BENCHMARK(RadioOrder15Lines)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();
BENCHMARK(TcpOrder15Lines)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
