// SPDX-License-Identifier: GPL-3.0-or-later
#include "SqlTranslator.h"

#include <QStringList>

using namespace Qt::StringLiterals;

namespace {

struct Tok
{
    enum Kind { Ident, Number, Param, Op, Quoted } kind;
    QString text;
    int param = -1; // literal index of a Param
};

// Statements are nearly all ASCII: those characters are classified without the Unicode tables.
bool isIdentStart(QChar c)
{
    const char16_t u = c.unicode();
    if (u < 128)
        return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || u == '_';
    return c.isLetter();
}
bool isIdentChar(QChar c)
{
    const char16_t u = c.unicode();
    if (u < 128)
        return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '_' || u == '$';
    return c.isLetterOrNumber();
}

bool eq(const Tok &t, QStringView word)
{
    return (t.kind == Tok::Ident) && t.text.compare(word, Qt::CaseInsensitive) == 0;
}

bool isOp(const Tok &t, QStringView op) { return t.kind == Tok::Op && t.text == op; }

// Tokenises the shape (literals already replaced by "?").
QList<Tok> tokens(const QString &shape)
{
    QList<Tok> out;
    int param = 0;
    const QStringList parts = shape.split(u' ', Qt::SkipEmptyParts);
    out.reserve(parts.size());
    for (const QString &p : parts) {
        if (p == u"?"_s)
            out.append(Tok{Tok::Param, p, param++});
        else if (p.startsWith(u'"'))
            out.append(Tok{Tok::Quoted, p});
        else if (isIdentStart(p.at(0)))
            out.append(Tok{Tok::Ident, p});
        else if (p.at(0).isDigit() || (p.at(0) == u'-' && p.size() > 1))
            out.append(Tok{Tok::Number, p});
        else
            out.append(Tok{Tok::Op, p});
    }
    return out;
}

// Index of the first token at nesting depth 0 from `from` that is the keyword `word`; -1 if none.
qsizetype findTop(const QList<Tok> &t, qsizetype from, QStringView word)
{
    int depth = 0;
    for (qsizetype i = from; i < t.size(); ++i) {
        if (isOp(t[i], u"("))
            ++depth;
        else if (isOp(t[i], u")"))
            --depth;
        else if (depth == 0 && eq(t[i], word))
            return i;
    }
    return -1;
}

QList<QList<Tok>> splitTop(const QList<Tok> &t, QStringView sep)
{
    QList<QList<Tok>> out(1);
    int depth = 0;
    for (const Tok &x : t) {
        if (isOp(x, u"("))
            ++depth;
        else if (isOp(x, u")"))
            --depth;
        if (depth == 0 && isOp(x, sep)) {
            out.append(QList<Tok>{});
            continue;
        }
        out.last().append(x);
    }
    return out;
}

Tok op(const QString &s) { return {Tok::Op, s}; }
Tok ident(const QString &s) { return {Tok::Ident, s}; }

// The bare column of a left-hand side "col" or "table.col".
QString bareColumn(const QList<Tok> &lhs)
{
    return lhs.isEmpty() ? QString() : lhs.last().text;
}

QList<Tok> slice(const QList<Tok> &t, qsizetype from, qsizetype to)
{
    return t.mid(from, to - from);
}

// "SELECT [DISTINCT|DISTINCTROW|ALL] TOP n ..." becomes "SELECT ... LIMIT n", at every nesting
// level: the LIMIT closes the select it belongs to (before the ")" that ends a sub-query, or at
// the end of the statement). A tie at the n-th row is not filled up as the legacy engine did.
bool rewriteTop(QList<Tok> &t, QString *error)
{
    for (qsizetype i = t.size() - 1; i >= 0; --i) {
        if (!eq(t[i], u"SELECT"))
            continue;
        qsizetype top = i + 1;
        if (top < t.size() && (eq(t[top], u"DISTINCT") || eq(t[top], u"DISTINCTROW") || eq(t[top], u"ALL")))
            ++top;
        if (top >= t.size() || !eq(t[top], u"TOP"))
            continue;
        if (top + 1 >= t.size() || (t[top + 1].kind != Tok::Param && t[top + 1].kind != Tok::Number)) {
            *error = u"TOP senza il numero di righe"_s;
            return false;
        }
        if (top + 2 < t.size() && eq(t[top + 2], u"PERCENT")) {
            *error = u"TOP n PERCENT non è gestito"_s;
            return false;
        }
        if (i + 1 < t.size() && eq(t[i + 1], u"DISTINCTROW"))
            t[i + 1] = ident(u"DISTINCT"_s);
        const Tok count = t[top + 1];
        t.remove(top, 2);
        qsizetype end = top;
        for (int depth = 0; end < t.size(); ++end) {
            if (isOp(t[end], u"("))
                ++depth;
            else if (isOp(t[end], u")") && depth-- == 0)
                break;
        }
        if (end == t.size() && end > top && isOp(t[end - 1], u";"))
            --end;
        t.insert(end, count);
        t.insert(end, ident(u"LIMIT"_s));
    }
    return true;
}

// One element of a LIKE pattern at `p`, matched against `c`; `next` is where the element ends.
// An unclosed "[" is an ordinary character.
bool likeElement(QStringView pat, qsizetype p, QChar c, QChar escape, qsizetype *next)
{
    const QChar e = pat[p];
    if (!escape.isNull() && e == escape && p + 1 < pat.size()) {
        *next = p + 2;
        return pat[p + 1] == c;
    }
    if (e == u'?' || e == u'_') {
        *next = p + 1;
        return true;
    }
    if (e == u'#') {
        *next = p + 1;
        return c.isDigit();
    }
    if (e == u'[') {
        const qsizetype close = pat.indexOf(u']', p + 2);
        if (close > p) {
            qsizetype k = p + 1;
            const bool negate = pat[k] == u'!';
            if (negate)
                ++k;
            bool in = false;
            for (; k < close; ++k) {
                if (k + 2 < close && pat[k + 1] == u'-') {
                    in = in || (c >= pat[k] && c <= pat[k + 2]);
                    k += 2;
                } else {
                    in = in || c == pat[k];
                }
            }
            *next = close + 1;
            return in != negate;
        }
    }
    *next = p + 1;
    return e == c;
}

bool isCondition(const Tok &t)
{
    for (const char16_t *w : {u"WHERE", u"AND", u"OR", u"NOT", u"ON", u"HAVING", u"WHEN"})
        if (eq(t, QStringView(w)))
            return true;
    return false;
}

bool endsCondition(const QList<Tok> &t, qsizetype i)
{
    if (i >= t.size())
        return true;
    if (isOp(t[i], u")") || isOp(t[i], u";"))
        return true;
    for (const char16_t *w : {u"AND", u"OR", u"ORDER", u"GROUP", u"HAVING", u"THEN", u"LIMIT", u"UNION"})
        if (eq(t[i], QStringView(w)))
            return true;
    return false;
}

// A column standing alone as a condition ("WHERE cancellato", "AND NOT preferito") is true when
// it is not zero, as the legacy engine and SQLite read it; PostgreSQL wants a boolean there, and
// the legacy yes/no columns are integers (-1/0), so the test is written out.
void truthOfNumbers(QList<Tok> &t)
{
    for (qsizetype i = 0; i < t.size(); ++i) {
        if (t[i].kind != Tok::Ident && t[i].kind != Tok::Quoted)
            continue;
        if (eq(t[i], u"NULL") || eq(t[i], u"NOT") || isCondition(t[i]))
            continue;
        bool condition = i > 0 && isCondition(t[i - 1]);
        if (!condition && i > 1 && isOp(t[i - 1], u"(")) {
            qsizetype k = i - 1;
            while (k > 0 && isOp(t[k], u"("))
                --k;
            condition = isCondition(t[k]);
        }
        if (!condition)
            continue;
        qsizetype end = i + 1;
        if (end + 1 < t.size() && isOp(t[end], u".") && (t[end + 1].kind == Tok::Ident || t[end + 1].kind == Tok::Quoted))
            end += 2;
        if (!endsCondition(t, end))
            continue;
        t.insert(end, op(u")"_s));
        t.insert(end, {Tok::Number, u"0"_s});
        t.insert(end, op(u"<>"_s));
        t.insert(i, op(u"("_s));
        i = end + 3;
    }
}

} // namespace

bool SqlTranslator::jetLike(QStringView pattern, QStringView text, QChar escape)
{
    const QString pat = pattern.toString().toCaseFolded();
    const QString str = text.toString().toCaseFolded();
    auto isStar = [&](qsizetype p) {
        return (pat[p] == u'*' || pat[p] == u'%') && pat[p] != escape;
    };
    // Greedy match with one back-tracking point: the last star seen and where it started eating.
    qsizetype p = 0, s = 0, starP = -1, starS = 0;
    while (s < str.size()) {
        qsizetype next = 0;
        if (p < pat.size() && isStar(p)) {
            starP = ++p;
            starS = s;
        } else if (p < pat.size() && likeElement(pat, p, str[s], escape, &next)) {
            p = next;
            ++s;
        } else if (starP >= 0) {
            p = starP;
            s = ++starS;
        } else {
            return false;
        }
    }
    while (p < pat.size() && isStar(p))
        ++p;
    return p == pat.size();
}

namespace {

// One token more in the shape, after a space.
void addToken(QString &shape, QStringView part)
{
    if (!shape.isEmpty())
        shape += u' ';
    shape += part;
}

// The text literal whose opening quote is at v[i], as a "?" and its value; a doubled quote is one
// quote of the text, an empty literal stays a null string. Returns where the literal ends.
qsizetype splitText(QStringView v, qsizetype i, SqlTranslator::Split &out)
{
    const qsizetype n = v.size();
    QString lit;
    ++i;
    bool closed = false;
    while (i < n) {
        const qsizetype q = v.indexOf(u'\'', i);
        if (q < 0) {
            lit.append(v.mid(i));
            i = n;
            break;
        }
        lit.append(v.mid(i, q - i));
        if (q + 1 < n && v[q + 1] == u'\'') {
            lit += u'\'';
            i = q + 2;
            continue;
        }
        i = q + 1;
        closed = true;
        break;
    }
    if (!closed)
        out.ok = false;
    out.literals.append(lit);
    addToken(out.shape, u"?");
    return i;
}

// The name quoted from v[i] ([name], "name" or `name`), double-quoted without its spaces; -1 when
// it is never closed.
qsizetype splitName(QStringView v, qsizetype i, SqlTranslator::Split &out)
{
    const QChar close = v[i] == u'[' ? u']' : v[i];
    const qsizetype end = v.indexOf(close, i + 1);
    if (end < 0) {
        out.ok = false;
        return -1;
    }
    QString name = v.mid(i + 1, end - i - 1).toString();
    name.replace(u'"', u"\"\""_s);
    addToken(out.shape, QString(u'"' + name.remove(u' ') + u'"'));
    return end + 1;
}

// The number that starts at v[i], as a "?" and its value: whole numbers as qint64, the rest
// (a point, an exponent, too many digits) as double. Returns where it ends.
qsizetype splitNumber(QStringView v, qsizetype i, SqlTranslator::Split &out)
{
    const qsizetype n = v.size();
    qsizetype j = i;
    bool dot = false;
    bool ascii = true; // only 0-9: the value is summed up here
    while (j < n && (v[j].isDigit() || (v[j] == u'.' && !dot))) {
        if (v[j] == u'.')
            dot = true;
        else if (v[j].unicode() > u'9')
            ascii = false;
        ++j;
    }
    if (j < n && (v[j] == u'e' || v[j] == u'E')) {
        qsizetype k = j + 1;
        if (k < n && (v[k] == u'+' || v[k] == u'-'))
            ++k;
        if (k < n && v[k].isDigit()) {
            dot = true;
            j = k;
            while (j < n && v[j].isDigit())
                ++j;
        }
    }
    const QStringView num = v.mid(i, j - i);
    bool ok = false;
    if (!dot) {
        qint64 value = 0;
        if (ascii && num.size() <= 18) { // 18 digits never overflow
            for (const QChar digit : num)
                value = value * 10 + (digit.unicode() - u'0');
            ok = true;
        } else {
            value = num.toLongLong(&ok);
        }
        if (ok)
            out.literals.append(value);
    }
    if (!ok)
        out.literals.append(num.toDouble());
    addToken(out.shape, u"?");
    return j;
}

// The operator or punctuation at v[i]. Returns where it ends.
qsizetype splitOperator(QStringView v, qsizetype i, SqlTranslator::Split &out)
{
    // Two-character operators: <> <= >= != || ==
    const char16_t next = i + 1 < v.size() ? v[i + 1].unicode() : u'\0';
    const char16_t u = v[i].unicode();
    if ((u == u'<' && (next == u'>' || next == u'=')) || ((u == u'>' || u == u'!' || u == u'=') && next == u'=')
        || (u == u'|' && next == u'|')) {
        addToken(out.shape, v.mid(i, 2));
        return i + 2;
    }
    // A bare "?" is a parameter nobody gives a value: it takes a null literal of its own, so that
    // the literals after it still bind to their own places.
    if (u == u'?')
        out.literals.append(QVariant());
    addToken(out.shape, v.mid(i, 1));
    return i + 1;
}

} // namespace

SqlTranslator::Split SqlTranslator::split(const QString &s)
{
    // Runs on every statement to find its cached translation, so it copies whole runs of text
    // and allocates only for the shape and the literals.
    Split out;
    const qsizetype n = s.size();
    out.shape.reserve(2 * n);
    const QStringView v(s);
    qsizetype i = 0;
    while (i < n) {
        const QChar c = v[i];
        if (c.isSpace()) {
            ++i;
        } else if (c == u'\'') {
            i = splitText(v, i, out);
        } else if (c == u'[' || c == u'"' || c == u'`') {
            i = splitName(v, i, out);
            if (i < 0)
                break;
        } else if (c.isDigit() || (c == u'.' && i + 1 < n && v[i + 1].isDigit())) {
            i = splitNumber(v, i, out);
        } else if (isIdentStart(c)) {
            qsizetype j = i + 1;
            while (j < n && isIdentChar(v[j]))
                ++j;
            addToken(out.shape, v.mid(i, j - i));
            i = j;
        } else {
            i = splitOperator(v, i, out);
        }
    }
    return out;
}

QString SqlTranslator::likeToRegex(QStringView pat)
{
    QString out = u"^"_s;
    for (qsizetype p = 0; p < pat.size(); ++p) {
        const QChar c = pat[p];
        if (c == u'*' || c == u'%') {
            out += u".*"_s;
        } else if (c == u'?' || c == u'_') {
            out += u'.';
        } else if (c == u'#') {
            out += u"[0-9]"_s;
        } else if (c == u'[' && pat.indexOf(u']', p + 2) > p) {
            const qsizetype close = pat.indexOf(u']', p + 2);
            qsizetype k = p + 1;
            out += u'[';
            if (pat[k] == u'!') {
                out += u'^';
                ++k;
            }
            for (; k < close; ++k) {
                const QChar m = pat[k];
                if (m == u'\\' || m == u'^' || m == u'[')
                    out += u'\\';
                out += m;
            }
            out += u']';
            p = close;
        } else {
            if (!c.isLetterOrNumber() && !c.isSpace())
                out += u'\\';
            out += c;
        }
    }
    return out + u'$';
}

namespace {

// Word-level rewrites: the engine's truth values, "&" joining texts, and on PostgreSQL quoted names
// in lower case, as it folds its own.
void rewriteWords(QList<Tok> &t, bool pg)
{
    for (qsizetype i = 0; i < t.size(); ++i) {
        const bool qualified = i > 0 && isOp(t[i - 1], u".");
        const bool call = i + 1 < t.size() && isOp(t[i + 1], u"(");
        if (!qualified && !call && eq(t[i], u"true"))
            t[i] = {Tok::Number, u"-1"_s};
        else if (!qualified && !call && eq(t[i], u"false"))
            t[i] = {Tok::Number, u"0"_s};
        else if (isOp(t[i], u"&"))
            t[i] = op(u"||"_s);
        else if (pg && t[i].kind == Tok::Quoted)
            t[i].text = t[i].text.toLower();
    }
}

// PostgreSQL: LIKE ignoring letter case, and a pattern given as a value matched with the legacy
// wildcards. Returns which literals are such patterns, by literal index.
QList<bool> rewriteLike(QList<Tok> &t)
{
    QList<bool> likeParam;
    for (qsizetype i = 0; i < t.size(); ++i) {
        if (!eq(t[i], u"LIKE"))
            continue;
        const bool negated = i > 0 && eq(t[i - 1], u"NOT");
        const bool escaped = i + 2 < t.size() && eq(t[i + 2], u"ESCAPE");
        if (i + 1 < t.size() && t[i + 1].kind == Tok::Param && !escaped) {
            // A pattern given as a value is matched with the legacy wildcards.
            const int param = t[i + 1].param;
            if (likeParam.size() <= param)
                likeParam.resize(param + 1);
            likeParam[param] = true;
            t[i] = op(negated ? u"!~*"_s : u"~*"_s);
        } else {
            t[i] = ident(u"ILIKE"_s);
            continue;
        }
        if (negated) {
            t.removeAt(i - 1);
            --i;
        }
    }
    return likeParam;
}

// The literals that go into a numeric column, by literal index: a quoted amount is bound as its number.
struct NumericParams
{
    const SqlTranslator::NumericColumn &numeric;
    QList<bool> marks;

    void mark(const QList<Tok> &value, const QString &table, const QString &column)
    {
        if (value.size() == 1 && value[0].kind == Tok::Param && numeric && numeric(table, column)) {
            if (marks.size() <= value[0].param)
                marks.resize(value[0].param + 1);
            marks[value[0].param] = true;
        }
    }
};

// "DELETE t.* FROM t, u WHERE ..." removes the rows of t that the join reaches; "DELETE * FROM t"
// is a plain DELETE.
void translateDelete(QList<Tok> &t, const QString &rowKey)
{
    if (t.size() > 4 && t[1].kind == Tok::Ident && isOp(t[2], u".") && isOp(t[3], u"*") && eq(t[4], u"FROM")) {
        const Tok target = t[1];
        QList<Tok> out = {ident(u"DELETE"_s), ident(u"FROM"_s), target, ident(u"WHERE"_s), ident(rowKey),
                          ident(u"IN"_s), op(u"("_s), ident(u"SELECT"_s), target, op(u"."_s), ident(rowKey)};
        out += t.mid(4);
        out.append(op(u")"_s));
        t = out;
    } else if (t.size() > 2 && isOp(t[1], u"*") && eq(t[2], u"FROM")) {
        t.removeAt(1);
    }
}

// An UPDATE taken apart: its tables, its assignments and its condition.
struct UpdateParts
{
    QList<QList<Tok>> tables;
    QList<Tok> tableList; // the tables as written
    QList<QList<Tok>> assigns;
    QList<Tok> cond;
    QList<Tok> others; // "FROM u, v WHERE cond": the joined tables, for the joined form
};

// One assignment "c = value" of the SET list. In a joined UPDATE a running total (c = c +/- expr)
// sums every joined row once; any other value takes the first joined row.
bool translateAssignment(const QList<Tok> &as, const UpdateParts &u, NumericParams &numeric, QList<Tok> &out,
                         QString *error)
{
    qsizetype eqPos = -1;
    for (qsizetype k = 0; k < as.size(); ++k)
        if (isOp(as[k], u"=")) {
            eqPos = k;
            break;
        }
    if (eqPos < 1) {
        *error = u"clausola SET non valida"_s;
        return false;
    }
    const QList<Tok> lhs = as.mid(0, eqPos);
    const QList<Tok> rhs = as.mid(eqPos + 1);
    const QString column = bareColumn(lhs);
    out.append(ident(column));
    out.append(op(u"="_s));
    if (u.tables.size() == 1) {
        numeric.mark(rhs, u.tables.value(0).value(0).text, column);
        out += rhs;
        return true;
    }
    const qsizetype lhsLen = lhs.size();
    bool running = rhs.size() > lhsLen + 1;
    for (qsizetype k = 0; running && k < lhsLen; ++k)
        running = rhs[k].text.compare(lhs[k].text, Qt::CaseInsensitive) == 0;
    running = running && (isOp(rhs[lhsLen], u"+") || isOp(rhs[lhsLen], u"-"));
    if (running) {
        out += rhs.mid(0, lhsLen + 1);
        out += {ident(u"coalesce"_s), op(u"("_s), op(u"("_s), ident(u"SELECT"_s), ident(u"SUM"_s), op(u"("_s)};
        out += rhs.mid(lhsLen + 1);
        out.append(op(u")"_s));
        out += u.others;
        out += {op(u")"_s), op(u","_s), Tok{Tok::Number, u"0"_s}, op(u")"_s)};
    } else {
        out += {op(u"("_s), ident(u"SELECT"_s)};
        out += rhs;
        out += u.others;
        out += {ident(u"LIMIT"_s), Tok{Tok::Number, u"1"_s}, op(u")"_s)};
    }
    return true;
}

// Which rows an UPDATE changes. A joined one on SQLite finds them from the join (which can use the
// other tables' indexes) rather than by testing every row of the target, as a joined DELETE does.
// Only where the writer holds the whole database: PostgreSQL re-checks a row another transaction
// changed meanwhile, and its new row key would not be in the list, so there the join is a test.
void updateCondition(const UpdateParts &u, bool pg, const QString &rowKey, QList<Tok> &out)
{
    if (u.tables.size() > 1 && !pg && !u.tables[0].isEmpty()) {
        const Tok target = u.tables[0].last();
        out += {ident(u"WHERE"_s), ident(rowKey), ident(u"IN"_s), op(u"("_s), ident(u"SELECT"_s), target,
                op(u"."_s), ident(rowKey), ident(u"FROM"_s)};
        out += u.tableList;
        if (!u.cond.isEmpty()) {
            out.append(ident(u"WHERE"_s));
            out += u.cond;
        }
        out.append(op(u")"_s));
    } else if (u.tables.size() > 1) {
        out += {ident(u"WHERE"_s), ident(u"EXISTS"_s), op(u"("_s), ident(u"SELECT"_s), Tok{Tok::Number, u"1"_s}};
        out += u.others;
        out.append(op(u")"_s));
    } else if (!u.cond.isEmpty()) {
        out.append(ident(u"WHERE"_s));
        out += u.cond;
    }
}

// "UPDATE t, u SET ... WHERE ...": the legacy engine's joined UPDATE, in the target's own terms.
bool translateUpdate(QList<Tok> &t, bool pg, const QString &rowKey, NumericParams &numeric, QString *error)
{
    const qsizetype set = findTop(t, 1, u"SET");
    if (set < 0) {
        *error = u"UPDATE senza SET"_s;
        return false;
    }
    UpdateParts u;
    u.tableList = slice(t, 1, set);
    u.tables = splitTop(u.tableList, u",");
    const qsizetype where = findTop(t, set + 1, u"WHERE");
    u.assigns = splitTop(slice(t, set + 1, where < 0 ? t.size() : where), u",");
    u.cond = where < 0 ? QList<Tok>{} : t.mid(where + 1);
    if (u.tables.size() > 1) {
        u.others.append(ident(u"FROM"_s));
        for (qsizetype k = 1; k < u.tables.size(); ++k) {
            if (k > 1)
                u.others.append(op(u","_s));
            u.others += u.tables[k];
        }
        if (!u.cond.isEmpty()) {
            u.others.append(ident(u"WHERE"_s));
            u.others += u.cond;
        }
    }

    QList<Tok> out = {ident(u"UPDATE"_s)};
    out += u.tables[0];
    out.append(ident(u"SET"_s));
    for (qsizetype a = 0; a < u.assigns.size(); ++a) {
        if (a > 0)
            out.append(op(u","_s));
        if (!translateAssignment(u.assigns[a], u, numeric, out, error))
            return false;
    }
    updateCondition(u, pg, rowKey, out);
    t = out;
    return true;
}

// "INSERT INTO t (c, ...) VALUES (v, ...)": the values that go into numeric columns.
void markInsertNumerics(const QList<Tok> &t, NumericParams &numeric)
{
    const QString table = t[2].text;
    qsizetype close = -1;
    for (qsizetype k = 4; k < t.size() && close < 0; ++k)
        if (isOp(t[k], u")"))
            close = k;
    if (close > 0 && close + 2 < t.size() && eq(t[close + 1], u"VALUES") && isOp(t[close + 2], u"(")
        && isOp(t.last(), u")")) {
        const QList<QList<Tok>> cols = splitTop(slice(t, 4, close), u",");
        const QList<QList<Tok>> vals = splitTop(slice(t, close + 3, t.size() - 1), u",");
        for (qsizetype k = 0; k < cols.size() && k < vals.size(); ++k)
            numeric.mark(vals[k], table, bareColumn(cols[k]));
    }
}

} // namespace

SqlTranslator::Translation SqlTranslator::translate(const QString &shape, Dialect dialect, const NumericColumn &numeric)
{
    Translation tr;
    const bool pg = dialect == Dialect::Postgres;
    QList<Tok> t = tokens(shape);
    if (t.isEmpty()) {
        tr.error = u"Istruzione vuota"_s;
        return tr;
    }
    if (!rewriteTop(t, &tr.error))
        return tr;
    rewriteWords(t, pg);
    const QList<bool> likeParam = pg ? rewriteLike(t) : QList<bool>();
    if (pg)
        truthOfNumbers(t);
    const QString rowKey = pg ? u"ctid"_s : u"rowid"_s;

    NumericParams numericParam{numeric, {}};
    if (eq(t[0], u"DELETE")) {
        translateDelete(t, rowKey);
    } else if (eq(t[0], u"UPDATE")) {
        if (!translateUpdate(t, pg, rowKey, numericParam, &tr.error))
            return tr;
    } else if (eq(t[0], u"INSERT") && t.size() > 3 && eq(t[1], u"INTO") && isOp(t[3], u"(")) {
        markInsertNumerics(t, numericParam);
    }

    // The statement for the engine, each literal a placeholder.
    QString sql;
    for (qsizetype i = 0; i < t.size(); ++i) {
        if (i > 0)
            sql += u' ';
        if (t[i].kind == Tok::Param) {
            tr.paramOrder.append(t[i].param);
            sql += pg ? u'$' + QString::number(tr.paramOrder.size()) : u"?"_s;
            tr.numericTarget.append(numericParam.marks.value(t[i].param, false));
            tr.likePattern.append(likeParam.value(t[i].param, false));
        } else {
            sql += t[i].text;
        }
    }
    tr.sql = sql.toUtf8();
    qsizetype first = 0;
    while (first < t.size() && isOp(t[first], u"("))
        ++first;
    tr.isQuery = first < t.size() && (eq(t[first], u"SELECT") || eq(t[first], u"WITH") || eq(t[first], u"PRAGMA"));
    return tr;
}
