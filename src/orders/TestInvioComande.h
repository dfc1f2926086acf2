// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QFile>
#include <QObject>
#include <QStringList>

class OperatorUi;
class OrderPrinting;

// The order-sending test: from the first "Test" or "TestScarico" request until the test is closed,
// received test orders are counted and written to the test log "testInvioComande.log" in the
// server's temporary folder. Closing logs the duration and offers a printed summary. The test
// window shows this object; without a window its lines go to the operator log.
class TestInvioComande : public QObject
{
    Q_OBJECT
public:
    // `tempFolder` is the server's temporary folder (the system's temporary folder and "QM9Temp/").
    TestInvioComande(QString tempFolder, OperatorUi *ui, OrderPrinting *printing, QObject *parent = nullptr);
    ~TestInvioComande() override;

    // The temporary folder is known once start-up has run.
    void setCartellaTemporanea(const QString &folder) { m_tempFolder = folder; }
    bool running() const { return m_running; }
    void avvia();
    void riceviComanda(const QString &line);
    // Ends the test: log lines, the question, the summary when the operator wants it.
    void chiudi();

    int totale() const { return m_totale; }
    QString testo() const { return m_testo; }
    QString logPath() const;
    QDateTime inizio() const { return m_inizio; }
    QDateTime fine() const { return m_fine; }

    // Hours and minutes of a test, from the minute boundaries crossed between start and end.
    static void durata(const QDateTime &from, const QDateTime &to, int *hours, int *minutes);
    // The four lines of the printed summary.
    QStringList resoconto(int orders, int hours, int minutes) const;

signals:
    void started();
    void textChanged(const QString &text);
    void totalChanged(int total);
    void finished();

private:
    void writeLog(const QString &line);
    static QString general(const QDateTime &dt);

    QString m_tempFolder;
    OperatorUi *m_ui;
    OrderPrinting *m_printing;
    bool m_running = false;
    QDateTime m_inizio;
    QDateTime m_fine;
    QFile m_log;
    QString m_testo;
    int m_totale = 0;
};
