// SPDX-License-Identifier: GPL-3.0-or-later
#include "modNano.h"

#include "AccessPoint.h"
#include "NanoHandlers.h"
#include "NanoParsing.h"
#include "OperatorUi.h"
#include "Guarded.h"
#include "clsDatabase.h"

#include <QLoggingCategory>
#include <limits>

using namespace Qt::StringLiterals;

Q_LOGGING_CATEGORY(lcNano, "pliko.nano")

namespace {
// Message bodies go to the log as the Latin-1 view of their bytes, cut short: a log line is for
// finding the message, not for keeping it.
QString logText(const QByteArray &body)
{
    constexpr qsizetype Shown = 120;
    QString text = QString::fromLatin1(body.left(Shown));
    if (body.size() > Shown)
        text += u"..."_s;
    return text;
}
} // namespace

modNano::modNano(AccessPoint &accessPoint, NanoHandlers &handlers, clsDatabase &db, OperatorUi *ui, QObject *parent)
    : QObject(parent), m_ap(accessPoint), m_handlers(handlers), m_db(db), m_ui(ui)
{
    m_timer.setObjectName(u"TimerNano"_s);
    m_timer.setInterval(TickMs);
    connect(&m_timer, &QTimer::timeout, this, &modNano::tick);
}

bool modNano::apriDatabase()
{
    const QString percorso = m_percorso ? m_percorso() : QString();
    if (percorso.isEmpty())
        return false;
    if (m_db.openDB(percorso))
        return true;
    qCWarning(lcNano).noquote() << "database non aperto per il servizio Duvu:" << m_db.lastErrorText();
    return false;
}

bool modNano::tieniDatabase()
{
    if (!m_dbTenuto)
        m_dbTenuto = apriDatabase();
    return m_dbTenuto || m_db.isOpened();
}

void modNano::lasciaDatabase()
{
    if (m_dbTenuto)
        m_db.closeDB();
    m_dbTenuto = false;
}

namespace {
// An action holds the database's gate: the database thread waits for it between two pieces of work.
clsDatabase &conCancello(clsDatabase &db)
{
    db.gate().lock();
    return db;
}
} // namespace

modNano::UsoDatabase::UsoDatabase(modNano &nano) : m_db(conCancello(nano.m_db)), m_aperto(nano.apriDatabase()) {}

modNano::UsoDatabase::~UsoDatabase()
{
    if (m_aperto)
        m_db.closeDB();
    m_db.gate().unlock();
}

void modNano::esegui(std::function<void()> work, std::function<void()> then)
{
    if (!m_esecutore) {
        work();
        if (then)
            then();
        return;
    }
    m_esecutore([this, work = std::move(work), then = std::move(then)] {
        work();
        if (then)
            QMetaObject::invokeMethod(this, then, Qt::QueuedConnection);
    });
}

void modNano::abilitaRicezione()
{
    esegui([this] { tieniDatabase(); }, {});
    m_reception = true;
    m_failedPolls = 0;
    if (!m_inTick)
        m_timer.start(TickMs);
}

void modNano::disabilitaRicezione()
{
    // Switched off during a tick (from the window, while an order prints): the tick does not
    // switch it back on at its end.
    m_reception = false;
    m_timer.stop();
    // A message being handled keeps the database until its end: closing it under an open
    // transaction would roll the order back.
    if (!m_inTick)
        esegui([this] { lasciaDatabase(); }, {});
}

QByteArray modNano::bufferRisposta(const QByteArray &reply)
{
    QByteArray buffer = reply.left(BufferSize);
    if (buffer.size() < BufferSize)
        buffer.append(QByteArray(BufferSize - buffer.size(), ' '));
    return buffer;
}

void modNano::tick()
{
    if (m_inTick)
        return;
    m_inTick = true;
    m_timer.stop();
    // A threaded driver answers later, on this thread; the loop serves everyone else meanwhile.
    m_ap.riceviMessaggio(this, [this](const AccessPoint::Messaggio &m) { ricevuto(m); });
}

int modNano::intervallo() const
{
    // A device that keeps failing is asked less and less often, up to every MaxPollIntervalMs,
    // until it answers again.
    if (m_failedPolls < FailedPollsBeforeWarning)
        return TickMs;
    const int doppi = qMin(m_failedPolls - FailedPollsBeforeWarning + 1, 8);
    return qMin(TickMs << doppi, MaxPollIntervalMs);
}

void modNano::segnalaLinea(bool persa)
{
    if (persa == m_lineaPersa)
        return;
    m_lineaPersa = persa;
    const QString testo = persa ? LineLost : u"Access point ricollegato"_s;
    qCWarning(lcNano).noquote() << testo;
    if (m_ui)
        m_ui->addStatus(testo);
    emit lineaCambiata(persa);
}

void modNano::ricevuto(const AccessPoint::Messaggio &m)
{
    ++m_polls;
    segnalaLinea(m.lineaPersa);
    if (!m.answered) {
        ++m_failedPollsTotal;
        if (++m_failedPolls == FailedPollsBeforeWarning) {
            qCWarning(lcNano).noquote() << NotAnswering;
            if (m_ui) {
                m_ui->addStatus(NotAnswering);
                m_ui->message(NotAnswering, OperatorUi::Icon::Warning);
            }
            emit accessPointSilent();
        }
    } else {
        if (m_failedPolls >= FailedPollsBeforeWarning) {
            qCInfo(lcNano) << "access point di nuovo raggiungibile";
            if (m_ui)
                m_ui->addStatus(u"Access point di nuovo raggiungibile"_s);
            emit accessPointBack();
        }
        m_failedPolls = 0;
        if (m.kind != 0) {
            auto invio = std::make_shared<Invio>();
            const int kind = m.kind;
            const QByteArray body = m.body.left(BufferSize);
            esegui(
                [this, invio, kind, body] {
                    // A database that could not be opened when reception came on is tried again per message.
                    if (!tieniDatabase())
                        qCWarning(lcNano) << "messaggio Duvu" << kind << "senza database aperto";
                    // A fault of a handler goes to the error routine; the tick still ends and polling goes on.
                    diagnostics::runGuarded("modNano", "TimerNano_Timer", diagnostics::Where::Outside,
                                            [&] { *invio = dispatch(kind, body); });
                },
                [this, invio] {
                    if (*invio)
                        diagnostics::runGuarded("modNano", "TimerNano_Timer", diagnostics::Where::Outside, *invio);
                    fineTick();
                });
            return;
        }
    }
    fineTick();
}

void modNano::fineTick()
{
    m_inTick = false;
    if (m_reception)
        m_timer.start(intervallo());
    else
        esegui([this] { lasciaDatabase(); }, {});
}

modNano::Invio modNano::dispatch(int kind, const QByteArray &body)
{
    switch (kind) {
    case 'T':
        qCInfo(lcNano).noquote() << "comanda Duvu:" << logText(body);
        m_handlers.salvaComandaNano(body);
        break;
    case 'V':
        return rispondiStatoTavolo(body);
    case 'l': {
        const qint32 operatorNano = nano::leggiIntero(body);
        qCDebug(lcNano) << "lista tavoli per l'operatore" << operatorNano;
        return [this, lista = bufferRisposta(m_handlers.listaTavoliNano(operatorNano))] { m_ap.Dll_SendTblList(lista); };
    }
    case 'L':
        qCDebug(lcNano) << "lista di tutti i tavoli";
        return [this, lista = bufferRisposta(m_handlers.listaTavoliNano(0))] { m_ap.Dll_SendTblList(lista); };
    case 'N':
        return rispondiSpostaTavolo(body);
    case 'S':
        break;
    case 0:
        break;  // nothing waiting
    default:
        qCDebug(lcNano) << "messaggio Duvu di tipo sconosciuto" << kind << "ignorato";
        break;
    }
    return {};
}

modNano::Invio modNano::rispondiStatoTavolo(const QByteArray &body)
{
    QList<QByteArray> fields;
    qint32 count = 0;
    if (nano::dividiCampi(body, '|', fields, count) < 4) {
        qCWarning(lcNano).noquote() << "richiesta di stato tavolo incompleta ignorata:" << logText(body);
        return {};
    }
    const qint32 table = nano::leggiIntero(fields.at(3));
    if (table < std::numeric_limits<qint16>::min() || table > std::numeric_limits<qint16>::max()) {
        qCWarning(lcNano).noquote() << "numero di tavolo fuori misura ignorato:" << logText(fields.at(3));
        return {};
    }
    if (!esisteTavolo(table)) {
        qCInfo(lcNano) << "stato del tavolo" << table << "richiesto: il tavolo non esiste";
        return {};
    }
    const QByteArray reply = m_handlers.statoTavoloNano(qint16(table));
    if (reply.startsWith('E')) {
        return [this] { m_ap.Dll_SendEmptyTbl(); };
    } else if (reply.startsWith('L')) {
        return [this] { m_ap.Dll_SendLockTbl(); };
    } else if (reply.size() > BufferSize) {
        // A cut view loses its tail and its end mark, and the handheld would send back the cut order
        // as the whole one, deleting the lines it never saw: the table is answered as locked.
        qCWarning(lcNano) << "stato del tavolo" << table << "di" << reply.size() << "caratteri, oltre" << BufferSize
                          << ": risposto tavolo bloccato";
        if (m_ui)
            m_ui->addStatus(u"Tavolo "_s + QString::number(table) + u" troppo lungo per i palmari Duvu"_s);
        return [this] { m_ap.Dll_SendLockTbl(); };
    }
    return [this, order = reply.trimmed()] { m_ap.Dll_SendOrder(order); };
}

modNano::Invio modNano::rispondiSpostaTavolo(const QByteArray &body)
{
    QList<QByteArray> fields;
    qint32 count = 0;
    if (nano::dividiCampi(body, '|', fields, count) < 6) {
        qCWarning(lcNano).noquote() << "richiesta di spostamento tavolo incompleta ignorata:" << logText(body);
        return {};
    }
    return [this, esito = m_handlers.spostaTavoloNano(body)] { m_ap.Dll_FeedBackForMoveTbl(esito); };
}

bool modNano::esisteTavolo(qint32 table)
{
    const auto rs = m_db.openSnapshot(u"SELECT * FROM tavoli WHERE numero_tavolo = "_s + QString::number(table));
    return rs && !rs->isEOF();
}

bool modNano::verificaAccessPoint(QString &info)
{
    QByteArray buffer(100, ' ');
    const qint32 length = m_ap.Dll_ReqSysInfo(buffer);
    if (length <= 0)
        return false;
    info = QString::fromLatin1(buffer.left(length));
    return true;
}
