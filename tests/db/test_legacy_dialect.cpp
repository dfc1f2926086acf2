// SPDX-License-Identifier: GPL-3.0-or-later
// The legacy dialect a back-office user types into pliko-sql: TOP n and the legacy LIKE wildcards,
// on the demo restaurant's menu.
#include "SqlTranslator.h"
#include "TestSupport.h"
#include "modGestioneTipiDato.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

struct MenuQuery
{
    const char *sql;
    const char *rows; // the first column of every row, joined by "|"
};

const MenuQuery MenuQueries[] = {
    {"SELECT TOP 3 descrizione FROM magazzino ORDER BY codice",
     "Bruschetta al pomodoro|Tagliere di salumi|Caprese"},
    {"SELECT DISTINCT TOP 2 id_tipo_merce FROM magazzino ORDER BY id_tipo_merce", "1|2"},
    {"SELECT descrizione FROM magazzino WHERE codice IN (SELECT TOP 1 codice FROM magazzino ORDER BY codice DESC) "
     "ORDER BY codice",
     "Calice di bianco"},
    {"SELECT TOP 1 descrizione FROM magazzino WHERE descrizione LIKE 'birra*' ORDER BY codice;",
     "Birra alla spina 0,4"},
    {"SELECT descrizione FROM magazzino WHERE descrizione LIKE '*pesce*'", "Grigliata di pesce"},
    {"SELECT descrizione FROM magazzino WHERE descrizione LIKE 'Birra * 0,#' ORDER BY codice", "Birra alla spina 0,4"},
    {"SELECT descrizione FROM magazzino WHERE descrizione LIKE 'T? freddo'", "Tè freddo"},
    {"SELECT descrizione FROM magazzino WHERE descrizione LIKE 'Vino della casa 1/[2-3]'", "Vino della casa 1/2"},
    {"SELECT descrizione FROM magazzino WHERE descrizione LIKE 'Calice di [!r]*'", "Calice di bianco"},
    // A bare "?" is a parameter without a value (null); the quoted text after it keeps its place.
    {"SELECT descrizione FROM magazzino WHERE ? IS NULL AND descrizione = 'Caprese'", "Caprese"},
    // The ANSI wildcards still work, as in statements written for that dialect.
    {"SELECT descrizione FROM magazzino WHERE descrizione LIKE '%vongole'", "Spaghetti alle vongole"},
};

} // namespace

TEST(LegacyDialect, topAndLegacyWildcardsSelectTheExpectedDishes)
{
    RegionalGuard regional;
    TestDatabase tdb;
    for (const MenuQuery &q : MenuQueries) {
        auto rs = tdb.db().openSnapshot(QString::fromUtf8(q.sql));
        ASSERT_TRUE(rs) << q.sql << ": " << tdb.db().lastErrorText().toStdString();
        QStringList rows;
        for (; !rs->isEOF(); rs->moveNext())
            rows << tipi::toText(rs->value(0));
        EXPECT_EQ(rows.join(u'|'), QString::fromUtf8(q.rows)) << q.sql;
    }
}

TEST(LegacyDialect, topInPercentOrWithoutANumberIsRefused)
{
    for (const char *sql : {"SELECT TOP 10 PERCENT descrizione FROM magazzino", "SELECT TOP descrizione FROM magazzino"}) {
        const SqlTranslator::Split split = SqlTranslator::split(QString::fromUtf8(sql));
        EXPECT_FALSE(SqlTranslator::translate(split.shape, SqlTranslator::Dialect::Sqlite, {}).error.isEmpty()) << sql;
    }
}

TEST(LegacyDialect, likePatternsMatchAsTheLegacyEngineDid)
{
    struct Case
    {
        const char *pattern;
        const char *text;
        bool match;
    };
    const Case cases[] = {
        {"*", "", true},
        {"?", "", false},
        {"a*b*c", "aXXbYYc", true},
        {"a*b*c", "aXXcYYb", false},
        {"#", "7", true},
        {"#", "x", false},
        {"[a-c]#", "B9", true},
        {"[!a-c]#", "b9", false},
        {"[*]*", "*stella", true},
        {"[ab", "[ab", true},          // an unclosed list is plain text
        {"SPAGHETTI*", "spaghetti alla carbonara", true},
        {"*à", "Più città", true},
        {"100%", "100 euro", true},   // "%" keeps its ANSI meaning
    };
    for (const Case &c : cases)
        EXPECT_EQ(SqlTranslator::jetLike(QString::fromUtf8(c.pattern), QString::fromUtf8(c.text)), c.match)
            << c.pattern << " / " << c.text;
    EXPECT_TRUE(SqlTranslator::jetLike(u"100\\%"_s, u"100%"_s, u'\\'));
    EXPECT_FALSE(SqlTranslator::jetLike(u"100\\%"_s, u"1000"_s, u'\\'));
}
