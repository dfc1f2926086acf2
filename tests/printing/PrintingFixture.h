// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "OperatorUi.h"
#include "Registry.h"
#include "SpoolTickets.h"
#include "TestSupport.h"
#include "frmStampeDocumenti.h"

#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

// A restaurant with the demo menu, a configuration with spool printers and the print window.
// Demo categories 1-4 and 6 go to the kitchen (zone 2), 5 to the pizzeria (3), 7-8 to the bar (4).
class PrintingFixture : public ::testing::Test
{
protected:
    static constexpr qint32 Birra = 145;      // "Birra alla spina 0,4", bar
    static constexpr qint32 Carbonara = 108;  // "Spaghetti alla carbonara", kitchen
    static constexpr qint32 Tagliata = 116;   // "Tagliata di manzo", kitchen
    static constexpr qint32 Margherita = 126; // pizzeria

    explicit PrintingFixture(Engine engine = Engine::Sqlite) : tdb(true, engine) {}
    void SetUp() override;

    // A printer for a document type: its spool folder (made when installed is true) and its value.
    void configura(qint32 tipo, const QString &stampante, const QString &valore = {}, bool installata = true);
    qint32 nuovaComanda(qint32 tavolo = 5, qint32 cameriere = 1);
    qint32 nuovaRiga(qint32 comanda, qint32 articolo, double quantita, qint32 turno = 1, qint32 qtaStampata = 0);
    void nuovaVariazione(qint32 riga, const QString &descrizione, qint32 idVariazione = 1);
    void configura(std::initializer_list<std::pair<qint32, QString>> stampanti)
    {
        for (const auto &[tipo, nome] : stampanti)
            configura(tipo, nome);
    }
    QStringList biglietti(const QString &stampante) const { return spoolTickets(spoolDir(), stampante); }
    // The dish, variation and course rows of the n-th ticket of a printer.
    QStringList righeDi(const QString &stampante, qsizetype n = 0) const { return righe(biglietti(stampante).value(n)); }
    QString qtaStampata(qint32 riga) { return tdb.scalar(QStringLiteral("SELECT qta_stampata FROM merce_comande WHERE id_merce_comanda = ") + QString::number(riga)); }
    QString spoolDir() const { return m_dir.filePath(QStringLiteral("spool")); }

    RegionalGuard regional;
    TestDatabase tdb;
    QTemporaryDir m_dir;
    std::unique_ptr<Registry> registry;
    OperatorUi ui;
    std::unique_ptr<frmStampeDocumenti> frm;
};
