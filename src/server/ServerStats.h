// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <iterator>

class ThreadMailbox;

// What the server has done since it started, counted as it happens: requests by command, orders
// recorded and refused, connections refused, print jobs and failures per printer. The status
// report (pliko-ctl status) and the metrics endpoint read it.
class ServerStats
{
public:
    // The radio half as the radio service reports it when asked.
    struct Radio
    {
        quint64 polls = 0;        // polls of the access point
        quint64 failedPolls = 0;  // polls it did not answer
        bool linkUp = false;      // connected, and the port not lost
        bool lineLost = false;    // the port reported an I/O error and is being reopened
        int transferPercent = -1; // the database transfer's progress; -1 when none runs
    };
    struct PrinterCount
    {
        quint64 jobs = 0;
        quint64 failures = 0;
        QString lastError;
    };

    // Runs `update` on the thread that keeps the counters (the main one, where the status and the
    // metrics read them); from the database thread it is queued there, in order.
    void apply(std::function<void(ServerStats &)> update);
    // While set, queued updates travel with the network thread's other work, in one order with it.
    // Set and cleared while no other thread updates the counters.
    void setCarrier(ThreadMailbox *carrier) { m_carrier = carrier; }

    void setStartedAt(const QDateTime &when) { m_startedAt = when; }
    QDateTime startedAt() const { return m_startedAt; }

    void requestHandled(const QString &command) { ++m_requests[command]; }
    // How long one request's handler took, for the duration histogram per command.
    void requestTimed(const QString &command, double seconds);
    // Orders of either path count in the totals; radio orders also on their own.
    void orderRecorded(bool ok) { ++(ok ? m_ordersRecorded : m_ordersRefused); }
    void radioOrderRecorded(bool ok)
    {
        orderRecorded(ok);
        ++(ok ? m_radioOrdersRecorded : m_radioOrdersRefused);
    }
    quint64 radioOrdersRecorded() const { return m_radioOrdersRecorded; }
    quint64 radioOrdersRefused() const { return m_radioOrdersRefused; }
    void setRadioSource(std::function<Radio()> source) { m_radioSource = std::move(source); }
    Radio radio() const { return m_radioSource ? m_radioSource() : Radio{}; }
    void setLastOrderKey(qint32 key) { m_lastOrderKey = key; }
    qint32 lastOrderKey() const { return m_lastOrderKey; }
    void connectionRefused() { ++m_connectionsRefused; }
    void printJob(const QString &printer, bool ok, const QString &error = {});
    // Kitchen tickets: one printed (seconds from the order's commit, on a backup printer or not),
    // one attempt failed, and what each zone still owes.
    void ticketPrinted(double seconds, bool failover);
    void ticketFailed() { ++m_ticketsFailed; }
    void setTicketsOwed(const QMap<QString, qint64> &owed) { m_ticketsOwed = owed; }
    // Upper bounds (seconds) of the ticket print-time histogram.
    static constexpr double TicketBuckets[] = {1, 2, 5, 10, 30, 60, 300, 1800};

    const QMap<QString, quint64> &requests() const { return m_requests; }
    quint64 ordersRecorded() const { return m_ordersRecorded; }
    quint64 ordersRefused() const { return m_ordersRefused; }
    quint64 connectionsRefused() const { return m_connectionsRefused; }
    const QMap<QString, PrinterCount> &printers() const { return m_printers; }
    const QMap<QString, qint64> &ticketsOwed() const { return m_ticketsOwed; }
    quint64 ticketsFailed() const { return m_ticketsFailed; }
    quint64 ticketsFailover() const { return m_ticketsFailover; }
    const QList<quint64> &ticketBuckets() const { return m_ticketBuckets; }
    double ticketSecondsSum() const { return m_ticketSecondsSum; }
    quint64 ticketsPrinted() const { return m_ticketsPrinted; }

    // Upper bounds (seconds) of the duration histogram's buckets; +Inf is the count.
    static constexpr std::array<double, 11> DurationBuckets{0.005, 0.01, 0.025, 0.05, 0.1, 0.25,
                                                            0.5,   1,    2.5,   5,    10};
    struct Durations
    {
        std::array<quint64, DurationBuckets.size()> buckets{}; // cumulative
        quint64 count = 0;
        double sum = 0;
    };
    const QMap<QString, Durations> &durations() const { return m_durations; }

    // Kitchen screens: seconds from a ticket's round to its "Fatto", per zone.
    static constexpr std::array<double, 9> ReadyBuckets{60, 120, 300, 600, 900, 1200, 1800, 2700, 3600};
    struct Ready
    {
        std::array<quint64, ReadyBuckets.size()> buckets{}; // cumulative
        quint64 count = 0;
        double sum = 0;
    };
    void ticketReady(const QString &zone, double seconds);
    const QMap<QString, Ready> &ready() const { return m_ready; }

private:
    QDateTime m_startedAt = QDateTime::currentDateTime();
    QMap<QString, quint64> m_requests;
    quint64 m_ordersRecorded = 0;
    quint64 m_ordersRefused = 0;
    quint64 m_connectionsRefused = 0;
    quint64 m_radioOrdersRecorded = 0;
    quint64 m_radioOrdersRefused = 0;
    std::function<Radio()> m_radioSource;
    ThreadMailbox *m_carrier = nullptr;
    qint32 m_lastOrderKey = 0;
    QMap<QString, PrinterCount> m_printers;
    QMap<QString, Durations> m_durations;
    QMap<QString, Ready> m_ready;
    QMap<QString, qint64> m_ticketsOwed;
    quint64 m_ticketsFailed = 0;
    quint64 m_ticketsFailover = 0;
    quint64 m_ticketsPrinted = 0;
    double m_ticketSecondsSum = 0;
    QList<quint64> m_ticketBuckets = QList<quint64>(std::size(TicketBuckets), 0);
};

// The server's state at one moment, as an operator or a monitoring system asks for it.
struct ServerStatus
{
    QDateTime startedAt;
    qint64 uptimeSeconds = 0;
    QString service;           // "palmari", "duvu" or "nessuno"
    int slotsInUse = 0;
    int slotsTotal = 0;
    int requestsInProgress = 0;
    quint64 requestsRejected = 0;
    QString databasePath;
    bool databaseOpen = false;
    bool databasePresent = false;
    bool databaseUp = true;    // not marked down after a request it failed for being out of reach
    bool duvuActive = false;
    QString duvuState;         // what the radio service says of itself
    ServerStats stats;

    // "chiave: valore" lines for pliko-ctl status and the log.
    QStringList statusLines() const;
    // The Prometheus text exposition format (version 0.0.4).
    QString prometheusText() const;
};
