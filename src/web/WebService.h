// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "KitchenBoard.h"
#include "KitchenBoardStore.h"
#include "WebOptions.h"

#include <QAbstractHttpServer>
#include <QList>
#include <QPointer>
#include <QSet>
#include <QStringList>
#include <functional>

class QTcpSocket;
class QTimer;
class QWebSocket;

// The kitchen screens (/kds/<zone>) and the operator console (/) served to the restaurant's
// network: one page, one script, one style sheet from the binary's resources, a small JSON API and
// a WebSocket that pushes every change. Every request needs the key (once as ?key=, then an
// HttpOnly cookie); actions also need the page's own Origin. It never touches the database: the
// journal is reached through KitchenBoardStore's queued slots, the rest through `Comando` (the
// control channel's commands: status, tickets, reprint).
class WebService : public QAbstractHttpServer
{
    Q_OBJECT
public:
    // Runs one control command line; `fatto` gets its outcome and lines (now or later).
    using Comando = std::function<void(const QString &riga, std::function<void(bool, const QStringList &)> fatto)>;

    WebService(WebOptions options, KitchenBoardStore *store, QObject *parent = nullptr);
    ~WebService() override;

    void setComando(Comando comando) { m_comando = std::move(comando); }
    // Listens on WebAddress; false with the reason in *error.
    bool avvia(QString *error);
    quint16 porta() const { return m_porta; }

public slots:
    // An order's new tickets are in the journal.
    void nuoviBiglietti(qint32 comanda);
    // One line of the operator log.
    void evento(const QString &riga);

signals:
    // A ticket bumped: its zone and the seconds from its round.
    void bigliettoPronto(qint32 zona, double secondi);
    // Requests to the store (queued).
    void chiediCarica(const QList<qint32> &zone);
    void chiediComanda(qint32 comanda);
    void chiediPronta(qint32 id, double momento);
    void chiediRichiamo(qint32 zona);

protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override;
    void missingHandler(const QHttpServerRequest &request, QTcpSocket *socket) override;

private:
    struct Risposta;
    Risposta rispondi(const QHttpServerRequest &request, bool tls);
    Risposta api(const QHttpServerRequest &request, const QString &path);
    bool chiaveValida(const QByteArray &presentata) const;
    bool cookieValido(const QList<QPair<QByteArray, QByteArray>> &headers) const;
    bool origineValida(const QByteArray &origin, const QByteArray &host) const;
    void nuovaConnessione(QTcpSocket *socket);
    void nuovoWebSocket();
    void invia(QWebSocket *ws, const QByteArray &testo);
    void inviaZona(qint32 zona);
    void inviaZone();
    void inviaConsole();
    QByteArray consoleJson();
    void onCaricati(const KitchenBoardStore::Biglietti &daFare, const KitchenBoardStore::Biglietti &fatti);
    void onLetti(const KitchenBoardStore::Biglietti &biglietti);
    void onPronta(qint32 id, double momento, bool ok);
    void onRichiamato(const KitchenBoardStore::Biglietti &biglietti);
    void aggiornaStato();

    WebOptions m_opt;
    QByteArray m_token; // what the cookie holds: derived from the key, never the key itself
    KitchenBoard m_board;
    Comando m_comando;
    quint16 m_porta = 0;
    QList<QPointer<QTcpSocket>> m_connessioni;
    struct Schermo
    {
        QPointer<QWebSocket> ws;
        qint32 zona; // 0: the console
    };
    QList<Schermo> m_schermi;
    QHash<qint32, TicketJournal::Biglietto> m_inUscita; // bumps waiting for the journal
    QSet<qint32> m_daInviare; // zones whose screens are owed their new state
    QTimer *m_invio = nullptr;
    QStringList m_eventi;
    QStringList m_stato;
    QStringList m_biglietti;
    bool m_statoInCorso = false;
};
