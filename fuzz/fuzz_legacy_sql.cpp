// SPDX-License-Identifier: GPL-3.0-or-later
// The legacy SQL translator: any statement text is split and translated (or refused) without a
// fault, and the legacy LIKE matches any pattern against any text. Input: a statement; for LIKE,
// the part before the first newline is the pattern and the rest the text.
#include "FuzzSupport.h"
#include "SqlTranslator.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::initialise();
    const QString statement = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const SqlTranslator::Split split = SqlTranslator::split(statement);
    if (split.ok) {
        const auto numeric = [](const QString &, const QString &column) { return column.size() % 2 == 0; };
        for (auto dialect : {SqlTranslator::Dialect::Sqlite, SqlTranslator::Dialect::Postgres}) {
            const SqlTranslator::Translation tr = SqlTranslator::translate(split.shape, dialect, numeric);
            if (!tr.error.isEmpty())
                continue;
            // Every placeholder is bound to a literal that exists.
            for (int param : tr.paramOrder)
                if (param < 0 || param >= split.literals.size())
                    __builtin_trap();
            if (tr.paramOrder.size() != tr.numericTarget.size() || tr.paramOrder.size() != tr.likePattern.size())
                __builtin_trap();
        }
    }
    const qsizetype newline = statement.indexOf(u'\n');
    if (newline >= 0)
    {
        SqlTranslator::jetLike(QStringView(statement).left(newline), QStringView(statement).mid(newline + 1),
                               newline > 0 ? statement.at(0) : QChar());
        SqlTranslator::likeToRegex(QStringView(statement).left(newline));
    }
    return 0;
}
