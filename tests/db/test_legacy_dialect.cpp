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
        {"[a-c]#", "C9", true}, // both ends of a range belong to it, in either case
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

TEST(LegacyDialect, statementsSplitIntoTheirShapeAndValues)
{
    struct Case
    {
        const char *sql;
        const char *shape;
        const char *values; // each literal as "type:value"; "null" a value nobody gave, "s:null" a null text
        bool ok = true;
    };
    const Case cases[] = {
        {"SELECT * FROM clfn WHERE nickname = 'Anna'", "SELECT * FROM clfn WHERE nickname = ?", "s:Anna"},
        {"UPDATE clfn SET nickname = 'l''oste' WHERE codice=7", "UPDATE clfn SET nickname = ? WHERE codice = ?",
         "s:l'oste i:7"},
        {"SELECT '' , ''''", "SELECT ? , ?", "s:null s:'"},
        {"WHERE nickname = 'Anna", "WHERE nickname = ?", "s:Anna", false},
        {"WHERE totale = 12.50 AND q = .5 AND r = 5. AND e = 1e3 AND f = 2E-1 AND g = 3e",
         "WHERE totale = ? AND q = ? AND r = ? AND e = ? AND f = ? AND g = ? e", "d:12.5 d:0.5 d:5 d:1000 d:0.2 i:3"},
        {"WHERE codice = 007 OR codice = 123456789012345678 OR codice = 1234567890123456789",
         "WHERE codice = ? OR codice = ? OR codice = ?", "i:7 i:123456789012345678 i:1234567890123456789"},
        {"WHERE codice = 99999999999999999999", "WHERE codice = ?", "d:1e+20"},
        {"WHERE a<>1 AND b<=2 AND c>=3 AND d!=4 AND e==5 AND f||g AND h<", "WHERE a <> ? AND b <= ? AND c >= ? AND d != ? AND"
         " e == ? AND f || g AND h <", "i:1 i:2 i:3 i:4 i:5"},
        {"SELECT [prezzo medio], \"a\"\"b\" FROM t WHERE x = ? AND y = 2", "SELECT \"prezzomedio\" , \"a\" \"b\" FROM t"
         " WHERE x = ? AND y = ?", "null i:2"},
        {"SELECT [aperta", "SELECT", "", false},
        {"WHERE codice = \u0663", "WHERE codice = ?", "d:0"},          // an Arabic-Indic three is no number
        {"WHERE\u00a0codice\u2003=\t1\r\n", "WHERE codice = ?", "i:1"}, // other blanks
    };
    for (const Case &c : cases) {
        const SqlTranslator::Split split = SqlTranslator::split(QString::fromUtf8(c.sql));
        QStringList values;
        for (const QVariant &v : split.literals) {
            if (v.isNull())
                values << u"null"_s;
            else if (v.typeId() == QMetaType::LongLong)
                values << u"i:"_s + QString::number(v.toLongLong());
            else if (v.typeId() == QMetaType::Double)
                values << u"d:"_s + QString::number(v.toDouble());
            else
                values << u"s:"_s + (v.toString().isNull() ? u"null"_s : v.toString());
        }
        EXPECT_EQ(split.shape, QString::fromUtf8(c.shape)) << c.sql;
        EXPECT_EQ(values.join(u' '), QString::fromUtf8(c.values)) << c.sql;
        EXPECT_EQ(split.ok, c.ok) << c.sql;
    }
}
