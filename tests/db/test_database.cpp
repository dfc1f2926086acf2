// SPDX-License-Identifier: GPL-3.0-or-later
#include "ErrorRoutine.h"
#include "OperatorUi.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {
// The demo restaurant in a fresh file.
class Database : public ::testing::Test
{
protected:
    RegionalGuard guard;
    TestDatabase tdb;
    clsDatabase &db = tdb.db();
};
} // namespace

TEST_F(Database, OpeningIsCountedSoARequestNeverLosesItsDatabaseToAnother)
{
    EXPECT_FALSE(db.openDB(QString()));
    EXPECT_TRUE(db.openDB(tdb.path()));
    EXPECT_EQ(db.lastErrorText(), u"Database gia aperto"_s);
    EXPECT_EQ(db.openCount(), 2);
    db.closeDB();
    EXPECT_TRUE(db.isOpened()); // the first holder still has it
    db.closeDB();
    EXPECT_FALSE(db.isOpened());
}

TEST_F(Database, AMissingFileIsNotCreatedAndARecordsetOnAClosedDatabaseTellsTheOperator)
{
    OperatorUi ui;
    clsDatabase closed(&ui);
    EXPECT_FALSE(closed.openDB(tdb.dir() + u"/nope.db"_s));
    EXPECT_FALSE(QFile::exists(tdb.dir() + u"/nope.db"_s));
    EXPECT_EQ(closed.openDynaset(u"SELECT * FROM tavoli"_s), nullptr);
    EXPECT_EQ(ui.messages(), QStringList{u"Openrecordset su database chiuso"_s});
}

TEST_F(Database, AFailingStatementIsRetriedReportedAndNeverAbortsTheProcess)
{
    EXPECT_FALSE(db.doQuery(u"UPDATE tavola_inesistente SET x = 1"_s));
    EXPECT_EQ(diagnostics::lastFault().label, u"clsDatabase::Sub openRecordset"_s);
    EXPECT_FALSE(db.lastErrorText().isEmpty());
    EXPECT_EQ(db.openDynaset(u"SELECT nulla FROM niente"_s), nullptr);
    // The database still serves afterwards.
    EXPECT_EQ(tdb.scalar(u"SELECT count(*) FROM tavoli"_s), u"20"_s);
}

TEST_F(Database, RunsInWalModeWithFullSync)
{
    EXPECT_EQ(tdb.scalar(u"PRAGMA journal_mode"_s), u"wal"_s);
    EXPECT_EQ(tdb.scalar(u"PRAGMA synchronous"_s), u"2"_s);
}

TEST_F(Database, ABackOfficeHoldingTheWriteLockForTwoSecondsIsWaitedOut)
{
    db.setRetryDelay(std::chrono::milliseconds(1000));
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const QByteArray path = tdb.path().toUtf8();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The other process: takes the write lock, writes, holds it two seconds, commits.
        sqlite3 *other = nullptr;
        sqlite3_open(path.constData(), &other);
        sqlite3_exec(other, "BEGIN IMMEDIATE; UPDATE tavoli SET coperti = 9 WHERE numero_tavolo = 1;", nullptr,
                     nullptr, nullptr);
        const char go = 'x';
        if (write(ready[1], &go, 1) != 1)
            _exit(2);
        sleep(2);
        const int rc = sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(other);
        _exit(rc == SQLITE_OK ? 0 : 1);
    }
    char go = 0;
    ASSERT_EQ(read(ready[0], &go, 1), 1);
    EXPECT_TRUE(db.doQuery(u"UPDATE tavoli SET coperti = 3 WHERE numero_tavolo = 2"_s))
        << db.lastErrorText().toStdString();
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(tdb.scalar(u"SELECT coperti FROM tavoli WHERE numero_tavolo = 1"_s), u"9"_s);
    EXPECT_EQ(tdb.scalar(u"SELECT coperti FROM tavoli WHERE numero_tavolo = 2"_s), u"3"_s);
    close(ready[0]);
    close(ready[1]);
}

TEST_F(Database, AddNewGivesTheOrderKeyAtOnceAndKeysAreNeverReused)
{
    auto rs = db.openTable(u"comande"_s);
    ASSERT_TRUE(rs);
    ASSERT_TRUE(db.addNewRecord(*rs));
    const qint32 first = tipi::toLong(rs->value(u"id_comanda"_s));
    EXPECT_GT(first, 0);
    rs->setValue(u"inizio"_s, 3913228800.0);
    rs->setValue(u"id_operatore"_s, 2);
    ASSERT_TRUE(db.updateRecord(*rs));
    // An add that is abandoned still uses up its key, as the legacy engine did.
    ASSERT_TRUE(db.addNewRecord(*rs));
    const qint32 abandoned = tipi::toLong(rs->value(u"id_comanda"_s));
    rs->cancelUpdate();
    ASSERT_TRUE(db.addNewRecord(*rs));
    const qint32 third = tipi::toLong(rs->value(u"id_comanda"_s));
    ASSERT_TRUE(db.updateRecord(*rs));
    EXPECT_EQ(abandoned, first + 1);
    EXPECT_EQ(third, first + 2);
    EXPECT_EQ(tdb.scalar(u"SELECT count(*) FROM comande"_s), u"2"_s);

    // In a transaction the keys follow on from the last; the next transaction reads again, so an
    // order the back office wrote in between keeps its key.
    const auto added = [&] {
        EXPECT_TRUE(db.addNewRecord(*rs));
        const qint32 key = tipi::toLong(rs->value(u"id_comanda"_s));
        EXPECT_TRUE(db.updateRecord(*rs));
        return key;
    };
    ASSERT_TRUE(db.beginTrans());
    const qint32 inTransaction = added();
    EXPECT_EQ(added(), inTransaction + 1);
    ASSERT_TRUE(db.commitTrans());
    sqlite3 *office = nullptr;
    ASSERT_EQ(sqlite3_open(tdb.path().toUtf8().constData(), &office), SQLITE_OK);
    const QByteArray byHand =
        "INSERT INTO comande (id_comanda) VALUES (" + QByteArray::number(inTransaction + 50) + ")";
    EXPECT_EQ(sqlite3_exec(office, byHand.constData(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(office);
    ASSERT_TRUE(db.beginTrans());
    EXPECT_EQ(added(), inTransaction + 51);
    ASSERT_TRUE(db.commitTrans());

    // Seek and edit the first order through its index.
    auto again = db.openTable(u"comande"_s);
    ASSERT_TRUE(again->setIndex(u"comanda_idx"_s));
    ASSERT_TRUE(again->seek(u"="_s, first));
    ASSERT_FALSE(again->noMatch());
    ASSERT_TRUE(db.editRecord(*again));
    again->setValue(u"coperti"_s, 4);
    ASSERT_TRUE(db.updateRecord(*again));
    EXPECT_EQ(tdb.scalar(u"SELECT coperti FROM comande WHERE id_comanda = "_s + QString::number(first)), u"4"_s);
    // The same recordset writing the same columns in another way, or other columns, sends its own
    // statement each time.
    ASSERT_TRUE(db.editRecord(*again));
    again->setValue(u"id_comanda"_s, first);
    again->setValue(u"coperti"_s, 5);
    ASSERT_TRUE(db.updateRecord(*again));
    QStringList keys;
    for (const QString &column : {u"coperti"_s, u"stato"_s}) {
        ASSERT_TRUE(db.addNewRecord(*again));
        keys << again->value(u"id_comanda"_s).toString();
        again->setValue(column, 3);
        ASSERT_TRUE(db.updateRecord(*again));
    }
    EXPECT_EQ(tdb.scalar(u"SELECT coperti FROM comande WHERE id_comanda = "_s + QString::number(first)), u"5"_s);
    EXPECT_EQ(tdb.scalar(u"SELECT coperti FROM comande WHERE id_comanda = "_s + keys[0]), u"3"_s);
    EXPECT_EQ(tdb.scalar(u"SELECT stato FROM comande WHERE id_comanda = "_s + keys[1]), u"3"_s);
    EXPECT_TRUE(again->seek(u"="_s, 99999));
    EXPECT_TRUE(again->noMatch());
}

TEST_F(Database, ASecondTransactionIsRefusedNotNested)
{
    ASSERT_TRUE(db.beginTrans());
    EXPECT_FALSE(db.beginTrans());
    EXPECT_EQ(diagnostics::lastFault().label, u"clsDatabase::beginTrans"_s);
    tdb.exec(u"UPDATE tavoli SET coperti = 7"_s);
    ASSERT_TRUE(db.rollback());
    EXPECT_EQ(tdb.scalar(u"SELECT count(*) FROM tavoli WHERE coperti = 7"_s), u"0"_s);
    ASSERT_TRUE(db.beginTrans());
    tdb.exec(u"UPDATE tavoli SET coperti = 7 WHERE numero_tavolo = 1"_s);
    ASSERT_TRUE(db.commitTrans());
    EXPECT_EQ(tdb.scalar(u"SELECT coperti FROM tavoli WHERE numero_tavolo = 1"_s), u"7"_s);
}

TEST_F(Database, SettingsReadTheirDefaultsAndStoreValues)
{
    EXPECT_EQ(db.ReadLong(u"non_esiste"_s, 42), 42);
    EXPECT_EQ(db.ReadString(u"non_esiste"_s, u"x"_s), u"x"_s);
    ASSERT_TRUE(db.WriteLong(u"palmare_configurato"_s, 2));
    ASSERT_TRUE(db.WriteLong(u"palmare_configurato"_s, 1));
    EXPECT_EQ(db.ReadLong(u"PALMARE_CONFIGURATO"_s, 0), 1); // names compare without case
    ASSERT_TRUE(db.WriteString(u"com_nano"_s, u"COM3"_s));
    EXPECT_EQ(db.ReadString(u"com_nano"_s, {}), u"COM3"_s);
    tdb.exec(u"INSERT INTO var_long (name, value) VALUES ('rotto', 'abc')"_s);
    EXPECT_EQ(db.ReadLong(u"rotto"_s, 5), 0);

    // The settings table is created when it is missing, with its unique index.
    tdb.exec(u"DROP TABLE settings"_s);
    EXPECT_FALSE(db.findTable(u"settings"_s));
    EXPECT_EQ(db.ReadSetting(u"ultimo_export"_s, u"mai"_s), u"mai"_s);
    EXPECT_TRUE(db.findTable(u"settings"_s));
    EXPECT_TRUE(db.findIndex(u"settings"_s, u"idx_nome"_s));
    ASSERT_TRUE(db.WriteSetting(u"ultimo_export"_s, u"oggi"_s));
    ASSERT_TRUE(db.WriteSetting(u"ultimo_export"_s, u"ieri"_s));
    EXPECT_EQ(db.ReadSetting(u"ultimo_export"_s, {}), u"ieri"_s);
}

TEST_F(Database, SchemaOperationsIgnoreCaseAndKeepData)
{
    EXPECT_TRUE(db.findTable(u"MAGAZZINO"_s));
    EXPECT_TRUE(db.findField(u"Magazzino"_s, u"GIACENZA_COMANDA"_s));
    EXPECT_FALSE(db.findField(u"magazzino"_s, u"colore"_s));
    EXPECT_FALSE(db.findField(u"nessuna"_s, u"colore"_s));
    EXPECT_TRUE(db.findIndex(u"clfn"_s, u"COD_IDX"_s));
    EXPECT_FALSE(db.findIndex(u"nessuna"_s, u"cod_idx"_s));
    EXPECT_FALSE(db.lastErrorText().isEmpty());

    ASSERT_TRUE(db.createField(u"note_cucina"_s, u"testo"_s, clsDatabase::dbText, {}, false, 50, false));
    EXPECT_TRUE(db.findTable(u"note_cucina"_s));
    EXPECT_TRUE(db.findField(u"note_cucina"_s, u"testo"_s));
    ASSERT_TRUE(db.createField(u"note_cucina"_s, u"zona"_s, clsDatabase::dbLong, 0));
    ASSERT_TRUE(db.createIndex(u"note_cucina"_s, u"zona"_s, u"zona_idx"_s, false, false, true));
    EXPECT_TRUE(db.findIndex(u"note_cucina"_s, u"zona_idx"_s));

    tdb.exec(u"INSERT INTO note_cucina (testo, zona) VALUES ('senza sale', 12)"_s);
    tdb.exec(u"UPDATE note_cucina SET zona = 12.5"_s);
    ASSERT_TRUE(db.changeFieldToText(u"note_cucina"_s, u"zona"_s, 20)) << db.lastErrorText().toStdString();
    EXPECT_EQ(tdb.scalar(u"SELECT zona FROM note_cucina"_s), u"12,5"_s);
    EXPECT_EQ(tdb.scalar(u"SELECT typeof(zona) FROM note_cucina"_s), u"text"_s);
    EXPECT_FALSE(db.findField(u"note_cucina"_s, u"__temp_field__"_s));
}

TEST_F(Database, EscapedTextRoundTripsThroughAStatement)
{
    EXPECT_EQ(clsDatabase::SQLEscape(u"a|b'c"_s), u"a' & chr(124) & 'b''c"_s);
    const QString nasty = u"L'osteria | \"Da Gino\"; DROP TABLE comande; --"_s;
    tdb.exec(u"UPDATE clfn SET nickname = '"_s + clsDatabase::SQLEscape(nasty) + u"' WHERE codice = 1"_s);
    EXPECT_EQ(tdb.scalar(u"SELECT nickname FROM clfn WHERE codice = 1"_s), nasty);
}
