// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestSupport.h"

#include "RestaurantSchema.h"

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

TestDatabase::TestDatabase(bool demo)
{
    m_path = m_dir.filePath(u"restaurant.db"_s);
    QString error;
    if (!schema::createDatabase(m_path, demo, &error))
        ADD_FAILURE() << "cannot create the test database: " << error.toStdString();
    m_db = std::make_unique<clsDatabase>();
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
