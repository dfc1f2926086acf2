// SPDX-License-Identifier: GPL-3.0-or-later
#include "CommandDispatcher.h"

#include "Guarded.h"
#include "OperatorUi.h"
#include "clsDatabase.h"

#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QMutexLocker>
#include <QThread>
#include <exception>
#include <memory>
#include <set>
#include <string>

using namespace Qt::StringLiterals;

Q_LOGGING_CATEGORY(lcDispatch, "pliko.dispatch")

namespace {
// The request text as it goes into a log line: bounded, so a flood cannot fill the log.
QString logText(const QString &text)
{
    constexpr qsizetype MaxLogged = 200;
    return text.size() > MaxLogged ? QString(text.left(MaxLogged) + u"..."_s) : text;
}
} // namespace

CommandDispatcher::CommandDispatcher(clsDatabase &db, OperatorUi *ui, QObject *parent)
    : QObject(parent), m_db(db), m_ui(ui)
{
    m_linger.setSingleShot(true);
    m_linger.setInterval(0);
    connect(&m_linger, &QTimer::timeout, this, &CommandDispatcher::releaseDatabase);
    m_probe.setInterval(std::chrono::seconds(1));
    connect(&m_probe, &QTimer::timeout, this, &CommandDispatcher::probe);
    registerCommand(ConnectionTest, [](const HandheldRequest &r) { r.inviaRisposta(ConnectionTestReply); });
}

QString CommandDispatcher::commandWord(const QString &text)
{
    const qsizetype first = text.indexOf(u'|');
    const qsizetype second = first < 0 ? -1 : text.indexOf(u'|', first + 1);
    return second < 0 ? QString() : text.mid(first + 1, second - first - 1);
}

void CommandDispatcher::noteReachability()
{
    if (!m_db.takeUnreachable() || m_down.exchange(true))
        return;
    const QString line = u"Database non raggiungibile: le richieste non vengono servite finché non risponde"_s;
    qCWarning(lcDispatch).noquote() << line;
    if (m_ui)
        m_ui->addStatus(line);
    m_probe.start();
}

void CommandDispatcher::probe()
{
    if (!m_down.load()) {
        m_probe.stop();
        return;
    }
    bool ok = false;
    const auto tryIt = [this, &ok] {
        if (m_db.openDB(m_dbPath)) {
            ResultSet rows;
            qint64 n = 0;
            ok = !m_db.pastDeadline() && m_db.engine()->runNative(u"SELECT 1"_s, {}, &rows, &n);
            m_db.closeDB();
        }
        m_db.takeUnreachable();
    };
    if (m_probeRunner) {
        m_probeRunner(tryIt);
    } else {
        QMutexLocker gate(&m_db.gate());
        tryIt();
    }
    if (!ok)
        return;
    m_down.store(false);
    m_probe.stop();
    qCInfo(lcDispatch) << "database di nuovo raggiungibile";
    if (m_ui)
        m_ui->addStatus(u"Database di nuovo raggiungibile"_s);
}

namespace {
// The call trace keeps the names it is given, and a report written later still reads them: a
// word's name outlives any one dispatcher (one copy per word for the whole run).
const char *traceNameOf(const QString &word)
{
    static QMutex lock;
    static std::set<std::string> *names = new std::set<std::string>; // never freed, for the same reason
    QMutexLocker locked(&lock);
    return names->insert(word.toStdString()).first->c_str();
}
} // namespace

void CommandDispatcher::registerCommand(const QString &word, Handler handler, int minFields)
{
    m_commands.push_back({word, std::move(handler), minFields, traceNameOf(word)});
}

void CommandDispatcher::registerPreparer(const QString &word, Preparer preparer)
{
    m_preparers.insert(word, std::move(preparer));
}

std::any CommandDispatcher::prepare(const QString &text) const
{
    if (m_preparers.isEmpty())
        return {};
    const qsizetype first = text.indexOf(u'|');
    const qsizetype second = first < 0 ? -1 : text.indexOf(u'|', first + 1);
    if (second < 0)
        return {};
    const auto it = m_preparers.constFind(text.mid(first + 1, second - first - 1));
    if (it == m_preparers.constEnd())
        return {};
    try {
        return (*it)(text.mid(second + 1));
    } catch (...) {
        // Nothing prepared: the handler does the work itself, guarded as any handler.
        return {};
    }
}

QStringList CommandDispatcher::commandWords() const
{
    QStringList words;
    for (const Entry &e : m_commands)
        words.append(e.word);
    return words;
}

void CommandDispatcher::analizzaDati(const QString &text, int index, std::any prepared)
{
    PLIKO_TRACE("frmMain", "analizzaDati");
    ++m_active;
    // The database stays open for the whole request, also while its handler yields; the opens are
    // counted, so a request that ends meanwhile does not close it under this one. A database known
    // to be down is not waited on again.
    const bool down = m_down.load();
    const bool opened = !down && m_db.openDB(m_dbPath);
    if (!opened && !down) {
        const QString why = u"Database non disponibile (slot "_s + QString::number(index) + u"): "_s
                            + m_db.lastErrorText();
        // The database proved itself at start: failing to open it now is disk or network trouble.
        if (m_db.diskTrouble()) {
            diagnostics::capture(diagnostics::ErrDiskOrNetwork, why);
            diagnostics::erroreComune({}, u"frmMain.analizzaDati"_s, diagnostics::Where::Request);
        } else {
            diagnostics::reportFault(u"analizzaDati"_s, why);
        }
    }

    const qsizetype first = text.indexOf(u'|');
    const qsizetype second = first < 0 ? -1 : text.indexOf(u'|', first + 1);
    if (first < 0 || second < 0) {
        reject(index, text, u"comando senza separatore \"|\""_s);
    } else if (opened) {
        HandheldRequest request;
        request.index = index;
        request.text = text;
        request.tail = text.mid(first + 1);
        request.word = text.mid(first + 1, second - first - 1);
        request.rest = text.mid(second + 1);
        request.link = m_link;
        request.prepared = std::move(prepared);
        // A request rejects at most once, and only while its handler runs: later the slot may
        // already carry another handheld's connection.
        auto live = std::make_shared<bool>(true);
        request.onReject = [this, live, index, text](const QString &reason) {
            if (*live) {
                *live = false;
                reject(index, text, reason);
            }
        };
        for (const Entry &e : m_commands) {
            if (e.word != request.word)
                continue;
            if (e.minFields > 0 && request.rest.count(u'|') + 1 < e.minFields) {
                request.reject(u"argomenti insufficienti per "_s + e.word);
                break;
            }
            emit requestHandled(e.word, index, request.rest);
            QElapsedTimer took;
            took.start();
            // A handler fault is a fault of this one request: its crash report is written, the
            // connection closed and the transaction rolled back below, and the service goes on.
            if (!diagnostics::runGuarded("analizzaDati", e.traceName, diagnostics::Where::Request,
                                         [&] { e.handler(request); }))
                request.reject(u"errore interno in "_s + e.word);
            emit requestTimed(e.word, double(took.nsecsElapsed()) / 1e9);
            break;
        }
        *live = false;
    } else if (m_drop) {
        // Without its database no handler can answer; the handheld learns at once.
        m_drop(index);
    }

    if (opened && m_db.inTransaction()) {
        // Handlers never yield inside a transaction, so one still open now was left by this request
        // failing half-way: it is undone here, as the close would, instead of lingering into the next.
        diagnostics::reportFault(u"analizzaDati"_s, u"Transazione lasciata aperta (slot "_s + QString::number(index)
                                                        + u"): annullata"_s);
        m_db.rollback();
    }
    noteReachability();
    endRequest(opened);
}

void CommandDispatcher::endRequest(bool opened)
{
    if (opened) {
        if (m_linger.interval() > 0) {
            // This request's open becomes the lingering one (or gives its count back when one
            // already lingers); the timer closes it once requests stop coming.
            if (m_lingerHold)
                m_db.closeDB();
            m_lingerHold = true;
            m_linger.start();
        } else {
            m_db.closeDB();
        }
    }
    if (--m_active == 0)
        emit idle();
}

bool CommandDispatcher::hold()
{
    ++m_active;
    if (m_down.load())
        return false;
    const bool opened = m_db.openDB(m_dbPath);
    if (!opened) {
        diagnostics::reportFault(u"analizzaDati"_s, u"Database non disponibile: "_s + m_db.lastErrorText());
        noteReachability();
    }
    return opened;
}

void CommandDispatcher::release(bool opened)
{
    noteReachability();
    endRequest(opened);
}

void CommandDispatcher::setDatabaseLinger(std::chrono::milliseconds linger)
{
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(this, [this, linger] { setDatabaseLinger(linger); }, Qt::QueuedConnection);
        return;
    }
    m_linger.setInterval(linger);
    if (linger.count() <= 0)
        releaseDatabase();
}

void CommandDispatcher::releaseDatabase()
{
    m_linger.stop();
    if (m_lingerHold) {
        QMutexLocker gate(&m_db.gate());
        m_lingerHold = false;
        m_db.closeDB();
    }
}

void CommandDispatcher::reject(int index, const QString &text, const QString &reason)
{
    ++m_rejected;
    qCWarning(lcDispatch).noquote() << u"richiesta scartata (slot %1): %2 - %3"_s.arg(index).arg(reason, logText(text));
    if (m_ui)
        m_ui->addStatus(u"Richiesta scartata: "_s + reason);
    if (m_drop)
        m_drop(index);
}
