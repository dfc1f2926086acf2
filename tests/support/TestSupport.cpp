// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestSupport.h"

#include "PgCluster.h"
#include "RestaurantSchema.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

RegionalGuard::RegionalGuard(const QDateTime &now) : m_saved(regional()), m_clock(now)
{
    regional().locale = QLocale(QLocale::Italian, QLocale::Italy);
    regional().decimals = 2;
    regional().clock = &m_clock;
}

RegionalGuard::~RegionalGuard()
{
    regional() = m_saved;
}

std::vector<Engine> allEngines()
{
    return {Engine::Sqlite, Engine::Postgres};
}

std::string engineName(const ::testing::TestParamInfo<Engine> &info)
{
    return info.param == Engine::Sqlite ? "SQLite" : "PostgreSQL";
}

namespace {
// One private server for the whole test process, made at the first PostgreSQL test and stopped
// when the process ends; every test database is a new database in it.
PgCluster *sharedCluster(QString *unavailable)
{
    static std::unique_ptr<PgCluster> cluster;
    static QString reason;
    if (!cluster && reason.isEmpty()) {
        cluster = std::make_unique<PgCluster>();
        reason = cluster->unavailableReason();
        if (reason.isEmpty() && !cluster->start())
            reason = cluster->error();
        if (!reason.isEmpty())
            cluster.reset();
    }
    *unavailable = reason;
    return cluster.get();
}
} // namespace

TestDatabase::TestDatabase(bool demo, Engine engine)
{
    m_path = m_dir.filePath(u"restaurant.db"_s);
    m_db = std::make_unique<clsDatabase>();
    if (engine == Engine::Postgres) {
        PgCluster *pg = sharedCluster(&m_unavailable);
        if (!pg)
            return;
        static int made = 0;
        const QString name = u"restaurant"_s + QString::number(++made);
        if (!pg->createDatabase(name)) {
            ADD_FAILURE() << "cannot create the test database: " << pg->error().toStdString();
            return;
        }
        m_path = pg->uri(name);
    }
    QString error;
    if (!schema::createDatabase(m_path, demo, &error))
        ADD_FAILURE() << "cannot create the test database: " << error.toStdString();
    m_db->setRetryDelay(std::chrono::milliseconds(10));
    m_db->setYieldBeforeStatements(false);
    if (!m_db->openDB(m_path))
        ADD_FAILURE() << "cannot open the test database: " << m_db->lastErrorText().toStdString();
}

void TestDatabase::exec(const QString &sql)
{
    EXPECT_TRUE(m_db->doQuery(sql)) << sql.toStdString() << ": " << m_db->lastErrorText().toStdString();
}

QString TestDatabase::scalar(const QString &sql)
{
    auto rs = m_db->openSnapshot(sql);
    if (!rs) {
        ADD_FAILURE() << sql.toStdString() << ": " << m_db->lastErrorText().toStdString();
        return {};
    }
    return rs->isEOF() ? QString() : tipi::toText(rs->value(0));
}

QString wholeReals(QString text)
{
    static const QRegularExpression zero(u"(\\d)\\.0(?!\\d)"_s);
    return text.replace(zero, u"\\1"_s);
}
