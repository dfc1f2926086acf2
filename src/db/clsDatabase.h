// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Recordset.h"

#include <QDeadlineTimer>
#include <QMutex>
#include <QRecursiveMutex>
#include <QString>
#include <QVariant>
#include <atomic>
#include <chrono>
#include <memory>

class OperatorUi;

// The one gateway to the shared restaurant database. Statements are written in the legacy Jet
// dialect and translated for the engine; recordsets are DAO-shaped. Statements and recordset
// opens are tried three times one second apart, record adds/edits/updates four times, because the
// back office shares the file and may hold a lock for a moment. What still fails goes to the
// common error routine and is reported to the caller; nothing here aborts the process.
class clsDatabase
{
public:
    // DAO field types understood by createField.
    enum FieldType { dbBoolean = 1, dbByte = 2, dbInteger = 3, dbLong = 4, dbCurrency = 5, dbSingle = 6,
                     dbDouble = 7, dbDate = 8, dbText = 10, dbMemo = 12 };

    explicit clsDatabase(OperatorUi *ui = nullptr);
    ~clsDatabase();
    clsDatabase(const clsDatabase &) = delete;
    clsDatabase &operator=(const clsDatabase &) = delete;

    // A path of the form "postgresql://..." (a libpq connection URI) opens the PostgreSQL engine;
    // anything else is a SQLite database file. Opens are counted: the database stays open until the last holder closes it, so a request
    // that yields is never left without its database by another one that ended.
    bool openDB(const QString &path, const QString &password = {}, bool exclusive = false);
    void closeDB();
    // Safe to ask from any thread (the status report does).
    bool isOpened() const { return m_isOpen.load(); }
    int openCount() const { return m_opens; }
    QString path() const { return m_path; }

    std::unique_ptr<Recordset> openRecordset(const QString &source, int type, int options = 0);
    std::unique_ptr<Recordset> openDynaset(const QString &sql) { return openRecordset(sql, Recordset::Dynaset); }
    std::unique_ptr<Recordset> openSnapshot(const QString &sql) { return openRecordset(sql, Recordset::Snapshot); }
    std::unique_ptr<Recordset> openTable(const QString &table) { return openRecordset(table, Recordset::Table); }
    bool doQuery(const QString &sql);
    qint64 lastChanged() const { return m_lastChanged; }

    bool addNewRecord(Recordset &rs);
    bool editRecord(Recordset &rs);
    bool updateRecord(Recordset &rs);

    // Transactions of the global object. A second begin while one is open is refused.
    bool beginTrans();
    bool commitTrans();
    bool rollback();
    bool inTransaction() const;

    bool findTable(const QString &table);
    bool findField(const QString &table, const QString &field);
    bool findIndex(const QString &table, const QString &index);
    bool createField(const QString &table, const QString &field, int type, const QVariant &defaultValue = {},
                     bool required = false, int size = -1, bool autoIncrement = false);
    bool createIndex(const QString &table, const QString &field, const QString &index, bool primary,
                     bool unique, bool ignoreNulls);
    bool changeFieldToText(const QString &table, const QString &field, int size);
    bool resizeTextField(const QString &table, const QString &field, int size);

    qint32 ReadLong(const QString &name, qint32 defaultValue);
    QString ReadString(const QString &name, const QString &defaultValue);
    QString ReadSetting(const QString &name, const QString &defaultValue);
    bool WriteLong(const QString &name, qint32 value);
    bool WriteString(const QString &name, const QString &value);
    bool WriteSetting(const QString &name, const QString &value);

    static QString safeString(const QVariant &value);
    static QString SQLEscape(const QString &text);

    QString lastErrorText() const { return m_lastError; }
    int lastErrorLine() const { return m_lastLine; }
    // The last failure was the disk's, the network's or a damaged file's (not the statement's).
    bool diskTrouble() const { return m_diskTrouble; }
    // The last failure was a conflict with another writer (deadlock, serialization failure): the
    // transaction was ended by the database and may be tried again whole.
    bool conflictFailure() const { return m_conflict; }

    // Pause between attempts (one second in service; tests shorten it).
    void setRetryDelay(std::chrono::milliseconds delay) { m_retryDelay = delay; }
    // Whether doQuery lets pending events run first (off in tools without an event loop).
    void setYieldBeforeStatements(bool yield) { m_yield = yield; }

    DbEngine *engine() const { return m_engine.get(); }

    // The time the current piece of work may still spend on the database: past it, statements and
    // transactions fail at once (never retried) and the failure counts as unreachable.
    void setDeadline(QDeadlineTimer deadline) { m_deadline = deadline; }
    bool pastDeadline() const { return m_deadline.hasExpired(); }
    // From another thread: makes what the connection waits for now fail (see DbEngine::interrupt).
    void interrupt();
    // Whether a failure since the last call was the database's being out of reach (a connection
    // lost or refused, a file that would not open, a piece of work past its time); cleared by asking.
    bool takeUnreachable() { return std::exchange(m_unreachable, false); }
    // Held by whoever uses the database outside its thread's queue (an operator's action): one user
    // at a time.
    QRecursiveMutex &gate() { return m_gate; }

private:
    bool recordOp(Recordset &rs, bool (Recordset::*op)(), const char *label, bool numberedText);
    void pause();
    // Pauses before the next attempt; false when none is left or the engine cannot retry.
    bool retryAfter(int attempt, int attempts);
    bool ensureSettingsTable();
    bool fail(const QString &text, int line);
    // True (and the failure recorded) when the work is past its deadline.
    bool overdue(int line);
    // Hands a failure that outlasted its retries on: disk, network and damaged-file failures go to
    // the error routine as 3043 (the server restarts), the others are logged for the caller.
    void reportFailure(const QString &label, const QString &text, int engineCode);

    OperatorUi *m_ui;
    std::shared_ptr<DbEngine> m_engine;
    QString m_path;
    int m_opens = 0;
    qint64 m_lastChanged = 0;
    QString m_lastError;
    int m_lastLine = 0;
    bool m_diskTrouble = false;
    bool m_conflict = false;
    std::chrono::milliseconds m_retryDelay{1000};
    bool m_yield = true;
    std::atomic<bool> m_isOpen{false};
    bool m_unreachable = false;
    QDeadlineTimer m_deadline{QDeadlineTimer::Forever};
    QMutex m_engineLock; // m_engine changes under it: interrupt() reads it from another thread
    QRecursiveMutex m_gate;
};
