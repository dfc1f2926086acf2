// SPDX-License-Identifier: GPL-3.0-or-later
// What only the shared PostgreSQL database has to survive: a whole restaurant moved to it and back,
// the database server restarting in the middle of service, and keys written by hand.
#include "EngineCopy.h"
#include "PgCluster.h"
#include "PgEngine.h"
#include "RestaurantSchema.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class Postgres : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!pg.unavailableReason().isEmpty())
            GTEST_SKIP() << pg.unavailableReason().toStdString();
        ASSERT_TRUE(pg.start()) << pg.error().toStdString();
        ASSERT_TRUE(pg.createDatabase(u"pliko"_s)) << pg.error().toStdString();
        uri = pg.uri(u"pliko"_s);
    }
    std::unique_ptr<clsDatabase> open(const QString &path)
    {
        auto db = std::make_unique<clsDatabase>();
        db->setRetryDelay(std::chrono::milliseconds(10));
        db->setYieldBeforeStatements(false);
        EXPECT_TRUE(db->openDB(path)) << db->lastErrorText().toStdString();
        return db;
    }
    // Every row of every table, each table sorted, as text.
    static QStringList dump(const QString &path)
    {
        QString error;
        auto e = engines::open(path, &error);
        EXPECT_TRUE(e) << error.toStdString();
        QStringList out;
        for (const QString &name : schema::tables()) {
            ResultSet rs;
            qint64 n = 0;
            EXPECT_TRUE(e->runNative(u"SELECT * FROM "_s + name, {}, &rs, &n)) << e->lastError().toStdString();
            QStringList rows;
            for (const auto &r : rs.rows) {
                QStringList f;
                for (const QVariant &v : r)
                    f << (v.isNull() ? u"<null>"_s : v.toString());
                rows << f.join(u'|');
            }
            rows.sort();
            out << name + u": "_s + rows.join(u"; "_s);
        }
        return out;
    }

    RegionalGuard guard;
    PgCluster pg;
    QTemporaryDir dir;
    QString uri;
};

} // namespace

TEST_F(Postgres, ARestaurantCopiedToPostgresAndBackIsTheSameAndItsCountersGoOn)
{
    const QString original = dir.filePath(u"demo.db"_s);
    const QString back = dir.filePath(u"back.db"_s);
    QString error;
    QString notes;
    ASSERT_TRUE(schema::createDatabase(original, true, &error)) << error.toStdString();
    {
        auto db = open(original);
        ASSERT_TRUE(db->doQuery(u"INSERT INTO comande (id_comanda, inizio, id_operatore, totale, pre_conto) "
                                "VALUES (41, 3919435200.5, 2, 12.25, true)"_s));
        ASSERT_TRUE(db->doQuery(u"INSERT INTO merce_comande (id_comanda, descrizione, quantita) "
                                "VALUES (41, 'Caffè ''corretto''', 1.5)"_s));
    }
    ASSERT_TRUE(engines::copy(original, uri, &notes, &error)) << error.toStdString();
    ASSERT_TRUE(engines::copy(uri, back, &notes, &error)) << error.toStdString();
    EXPECT_EQ(dump(back), dump(original));
    EXPECT_TRUE(notes.isEmpty()) << notes.toStdString();

    // A copy never lands on a restaurant that is already there.
    EXPECT_FALSE(engines::copy(original, uri, &notes, &error));
    EXPECT_TRUE(error.contains(u"comande"_s)) << error.toStdString();

    // New orders on the copy take keys after the copied ones.
    auto db = open(uri);
    auto rs = db->openTable(u"comande"_s);
    ASSERT_TRUE(rs && db->addNewRecord(*rs));
    EXPECT_EQ(rs->value(u"id_comanda"_s).toLongLong(), 42);
}

TEST_F(Postgres, AKeyWrittenByHandMovesTheCounterOnAndAStaleEditIsRefused)
{
    QString error;
    ASSERT_TRUE(schema::createDatabase(uri, false, &error)) << error.toStdString();
    auto db = open(uri);
    ASSERT_TRUE(db->doQuery(u"INSERT INTO tavoli (id_tavolo, numero_tavolo) VALUES (7, 1)"_s));
    auto rs = db->openTable(u"tavoli"_s);
    ASSERT_TRUE(rs && db->addNewRecord(*rs));
    EXPECT_EQ(rs->value(u"id_tavolo"_s).toLongLong(), 8);
    rs->setValue(u"numero_tavolo"_s, 2);
    ASSERT_TRUE(db->updateRecord(*rs));

    // The same row edited twice through one recordset: its position moves with each update.
    auto t = db->openTable(u"tavoli"_s);
    ASSERT_TRUE(t && t->setIndex(u"numero_tavolo"_s) && t->seek(u"="_s, 2) && !t->noMatch());
    for (int covers : {3, 5}) {
        ASSERT_TRUE(db->editRecord(*t));
        t->setValue(u"coperti"_s, covers);
        ASSERT_TRUE(db->updateRecord(*t)) << db->lastErrorText().toStdString();
    }
    EXPECT_EQ(db->openSnapshot(u"SELECT coperti FROM tavoli WHERE numero_tavolo = 2"_s)->value(0).toInt(), 5);

    // Another user deletes the row between the read and the write: the edit fails, it is not lost
    // in silence.
    ASSERT_TRUE(db->doQuery(u"DELETE FROM tavoli WHERE numero_tavolo = 2"_s));
    ASSERT_TRUE(db->editRecord(*t));
    t->setValue(u"coperti"_s, 9);
    EXPECT_FALSE(db->updateRecord(*t));
    EXPECT_TRUE(db->lastErrorText().startsWith(u"3197"_s)) << db->lastErrorText().toStdString();

    // A stray NUL in a text does not cut off the rest of it.
    ASSERT_TRUE(db->WriteSetting(u"nota"_s, QString(u"senza"_s + QChar(0) + u"glutine"_s)));
    EXPECT_EQ(db->ReadSetting(u"nota"_s, {}), u"senza glutine"_s);
}

TEST_F(Postgres, TheDatabaseServerRestartingMidServiceFailsThatRequestThenServiceResumesByItself)
{
    QString error;
    ASSERT_TRUE(schema::createDatabase(uri, true, &error)) << error.toStdString();
    auto db = open(uri);
    ASSERT_TRUE(db->doQuery(u"UPDATE tavoli SET coperti = 1 WHERE numero_tavolo = 1"_s));

    // Down between two requests: the request of the outage fails, the next one after it works.
    ASSERT_TRUE(pg.stop(PgCluster::StopMode::Immediate));
    EXPECT_FALSE(db->doQuery(u"UPDATE tavoli SET coperti = 2 WHERE numero_tavolo = 1"_s));
    EXPECT_FALSE(db->diskTrouble()); // not a reason to restart this server
    ASSERT_TRUE(pg.start()) << pg.error().toStdString();
    EXPECT_TRUE(db->doQuery(u"UPDATE tavoli SET coperti = 3 WHERE numero_tavolo = 1"_s)) << db->lastErrorText().toStdString();

    // Down in the middle of a transaction: nothing after the loss is written as if the transaction
    // went on, the commit is refused, and the next transaction runs normally.
    ASSERT_TRUE(db->beginTrans());
    ASSERT_TRUE(db->doQuery(u"UPDATE tavoli SET coperti = 4 WHERE numero_tavolo = 1"_s));
    ASSERT_TRUE(pg.stop(PgCluster::StopMode::Fast));
    ASSERT_TRUE(pg.start()) << pg.error().toStdString();
    EXPECT_FALSE(db->doQuery(u"UPDATE tavoli SET coperti = 5 WHERE numero_tavolo = 2"_s));
    EXPECT_FALSE(db->commitTrans());
    if (db->inTransaction())
        db->rollback();
    EXPECT_FALSE(db->inTransaction());
    ASSERT_TRUE(db->beginTrans()) << db->lastErrorText().toStdString();
    ASSERT_TRUE(db->doQuery(u"UPDATE tavoli SET coperti = 6 WHERE numero_tavolo = 3"_s));
    ASSERT_TRUE(db->commitTrans());
    for (const auto &[table, covers] : {std::pair{1, 3}, {2, 4}, {3, 6}}) {
        auto rs = db->openSnapshot(u"SELECT coperti FROM tavoli WHERE numero_tavolo = "_s + QString::number(table));
        EXPECT_EQ(rs ? rs->value(0).toInt() : -1, covers) << table;
    }
}

TEST(PostgresUri, APasswordNeverReachesALogOrTheStatus)
{
    for (const QString &uri : {u"postgresql://pliko:segreto@db:5432/ristorante"_s,
                               u"postgresql://pliko@db/ristorante?password=segreto&sslmode=require"_s}) {
        const QString shown = PgEngine::displayUri(uri);
        EXPECT_FALSE(shown.contains(u"segreto"_s)) << shown.toStdString();
        EXPECT_TRUE(shown.contains(u"ristorante"_s)) << shown.toStdString();
    }
    EXPECT_EQ(PgEngine::displayUri(u"/srv/ristorante.db"_s), u"/srv/ristorante.db"_s);
}
