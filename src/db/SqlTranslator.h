// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>
#include <functional>

// Turns a statement of the legacy Jet dialect into SQLite's or PostgreSQL's dialect.
//
// Literals become parameters, so statements that differ only in their values share one
// translation (and one prepared statement): the shape is the cache key. Forms handled:
// true/false as -1/0; "&" concatenation; "DELETE t.* FROM t, u WHERE ..."; "UPDATE t, u SET
// c = c +/- expr WHERE ..." (every joined row applies once: a correlated SUM); quoted regional
// amounts stored into numeric columns; [bracketed] names; "SELECT [DISTINCT] TOP n" as a LIMIT.
// chr() and the legacy LIKE (jetLike) are functions of the connection; parenthesised joins and the
// rest of the grammar are SQLite's own. For PostgreSQL, placeholders are numbered, [names] are
// lower case (its quoted names are case-sensitive, the legacy engine's are not), a LIKE on a
// value becomes a case-blind regular expression match (likeToRegex) and a joined DELETE finds its
// rows by ctid.
class SqlTranslator
{
public:
    struct Literal
    {
        QVariant value;          // qint64, double or QString
    };

    // A tokenised statement: its shape (literals as ?) and its literal values in order.
    struct Split
    {
        QString shape;
        QList<QVariant> literals;
        bool ok = true;          // false: an unterminated quote or bracket
    };

    enum class Dialect { Sqlite, Postgres };

    struct Translation
    {
        QByteArray sql;               // engine text with ? (SQLite) or $n (PostgreSQL) placeholders
        QList<int> paramOrder;        // literal index bound at each placeholder
        QList<bool> numericTarget;    // per placeholder: a quoted amount going into a numeric column
        QList<bool> likePattern;      // per placeholder: a LIKE pattern to pass through likeToRegex
        bool isQuery = false;         // returns rows
        QString error;                // non-empty: the statement cannot be translated
    };

    // Answers whether table.column holds numbers (so that '7,50' is stored as 7.5).
    using NumericColumn = std::function<bool(const QString &table, const QString &column)>;

    static Split split(const QString &statement);
    static Translation translate(const QString &shape, Dialect dialect, const NumericColumn &numeric);

    // LIKE as the legacy engine matches it, ignoring letter case: "*" any run of characters, "?" one
    // character, "#" one digit, "[abc]", "[a-z]" and "[!a-z]" one character of (or not of) a list.
    // "%" and "_" keep their ANSI meaning too, for statements written in that dialect. `escape`
    // (0 for none) makes the character after it literal.
    static bool jetLike(QStringView pattern, QStringView text, QChar escape = QChar());
    // The same pattern as an anchored POSIX regular expression, for a case-blind match (~*).
    static QString likeToRegex(QStringView pattern);
};
