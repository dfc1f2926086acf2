// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "OperatorUi.h"
#include "Registry.h"
#include "SpoolTickets.h"
#include "TestSupport.h"
#include "frmStampeDocumenti.h"
#include "modNanoComande.h"
#include "modPlikoServer.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>

inline void PrintTo(const QByteArray &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}

// The demo restaurant at 23:30 on a Thursday night, inside the business day that opened at 10:00
// and closes at 02:00 the next morning, after a database export: waiters Marco, Giulia, Luca and Sara are
// radio operators 1 to 4; a variation's radio number is its id times ten plus the category (Extra
// mozzarella on pizzas is 25, Senza cipolla on pasta 12). Kitchen, pizzeria, bar and pre-bill
// printers are spool folders.
class NanoFixture : public ::testing::Test
{
protected:
    static constexpr qint32 Carbonara = 108; // kitchen
    static constexpr qint32 Tagliata = 116;  // kitchen
    static constexpr qint32 Margherita = 126; // pizzeria
    static constexpr qint32 Acqua = 141;     // bar, stock article
    static constexpr qint32 Birra = 145;     // bar, stock article

    NanoFixture() : regional(QDateTime(QDate(2024, 3, 14), QTime(23, 30))) {}

    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        registry = std::make_unique<Registry>(m_dir.filePath(QStringLiteral("plikoserver.ini")));
        registry->setValue(Registry::OwnKey, QStringLiteral("PrinterBackend"), QStringLiteral("spool"));
        registry->setValue(Registry::OwnKey, QStringLiteral("PrintSpoolDir"), spoolDir());
        for (const auto &[tipo, nome] : {std::pair{2, "Cucina"}, {3, "Pizzeria"}, {4, "Bar"}, {7, "Cassa"}}) {
            registry->setValue(Registry::BackOfficeKey,
                               QStringLiteral("zona_ristorante_") + frmStampeDocumenti::nomeTipoStampante(tipo),
                               QString(QString::fromLatin1(nome) + QStringLiteral("|9")));
            QDir(spoolDir()).mkpath(QString::fromLatin1(nome));
        }
        stampe = std::make_unique<frmStampeDocumenti>(tdb.db(), *registry, &ui);
        nano = std::make_unique<modNanoComande>(tdb.db(), helpers, &ui, stampe.get());
        tdb.exec(QStringLiteral("UPDATE clfn SET id_nano = codice WHERE operatore AND NOT cancellato"));
        tdb.exec(QStringLiteral("UPDATE variazioni_comande_categorie SET id_nano = id_variazione * 10 + id_tipo_merce"));
        tdb.exec(QStringLiteral("UPDATE magazzino SET giacenza = 48, giacenza_comanda = 0 WHERE not articolo_restaurant"));
    }

    // A "T" body of operator op for a table: the six leading tokens, then the records.
    static QByteArray messaggio(int op, const QByteArray &tavolo, const QByteArray &record)
    {
        return "T|" + QByteArray::number(op) + "|0|" + tavolo + "|0|0|" + record;
    }
    // A line record: article, quantity, price in cents, skip flag, course, note kind and selector.
    static QByteArray riga(qint32 articolo, int qta, int centesimi, int turno = 1, const QByteArray &nota = "0|0",
                           int salto = 0)
    {
        return "P|" + QByteArray::number(articolo) + '|' + QByteArray::number(qta) + '|'
            + QByteArray::number(centesimi) + '|' + QByteArray::number(salto) + '|' + QByteArray::number(turno)
            + "|0|" + nota + '|';
    }
    qint32 invia(const QByteArray &body) { return nano->registraComandaNano(body); }

    QString scalar(const QString &sql) { return tdb.scalar(sql); }
    QString spoolDir() const { return m_dir.filePath(QStringLiteral("spool")); }
    QStringList biglietti(const QString &stampante) const { return spoolTickets(spoolDir(), stampante); }

    RegionalGuard regional;
    TestDatabase tdb;
    modPlikoServer helpers{tdb.db()};
    QTemporaryDir m_dir;
    std::unique_ptr<Registry> registry;
    OperatorUi ui;
    std::unique_ptr<frmStampeDocumenti> stampe;
    std::unique_ptr<modNanoComande> nano;
};
