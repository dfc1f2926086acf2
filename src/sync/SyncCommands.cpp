// SPDX-License-Identifier: GPL-3.0-or-later
#include "SyncCommands.h"

#include "SincroReplies.h"
#include "SyncText.h"
#include "modGestioneTipiDato.h"

using namespace Qt::StringLiterals;

namespace {

using Run = std::function<bool(SincroReplies &, const QString &, const QString &, int)>;

// Commands without arguments: whatever follows the word is ignored.
Run plain(void (SincroReplies::*reply)(int))
{
    return [reply](SincroReplies &r, const QString &, const QString &, int index) {
        (r.*reply)(index);
        return true;
    };
}

// Commands whose argument is an operator id read as a 16-bit number: a text that is not one
// (empty, a word, "3|") is operator 0, as the handhelds have always relied on.
Run byOperator(void (SincroReplies::*reply)(qint32, int))
{
    return [reply](SincroReplies &r, const QString &, const QString &rest, int index) {
        (r.*reply)(tipi::toInt16(rest), index);
        return true;
    };
}

// "SincroTavolo|<table>|<operator>": both must be there and both must be whole numbers. The
// table stands in the statements, so nothing else may reach them; a wrong operator would show
// the waiter someone else's order as "ALTRO" or the other way round.
bool sincroTavolo(SincroReplies &r, const QString &tail, const QString &, int index)
{
    const QStringList parts = tail.split(u'|');
    if (parts.size() < 3) {
        qCWarning(lcSync).noquote() << "SincroTavolo rifiutato: mancano tavolo e operatore (slot" << index << ")";
        return false;
    }
    qint64 table = 0;
    qint64 operatore = 0;
    if (!tipi::parseWhole(parts.at(1), &table) || !tipi::parseWhole(parts.at(2), &operatore)) {
        qCWarning(lcSync).noquote() << "SincroTavolo rifiutato: tavolo o operatore non numerici:" << parts.at(1)
                                    << parts.at(2) << "(slot" << index << ")";
        return false;
    }
    r.sincroTavolo(index, parts.at(1), static_cast<qint32>(operatore));
    return true;
}

} // namespace

QList<SyncCommand> syncCommands()
{
    return {
        {u"SincroTavoli"_s, plain(&SincroReplies::sincroTavoli)},
        {u"SincroTavolo"_s, sincroTavolo},
        {u"SincroArticoli"_s, plain(&SincroReplies::sincroArticoli)},
        {u"SincroCategorie"_s, plain(&SincroReplies::sincroCategorie)},
        {u"SincroPrenotati"_s, plain(&SincroReplies::sincroPrenotati)},
        {u"SincroVariazioni"_s, plain(&SincroReplies::sincroVariazioni)},
        {u"SincroVariabili"_s, plain(&SincroReplies::sincroVariabili)},
        {u"SincroOperatori"_s, plain(&SincroReplies::sincroOperatori)},
        {u"SincroComande"_s, byOperator(&SincroReplies::sincroComande)},
        {u"SincroTavoliUsati"_s, byOperator(&SincroReplies::sincroTavoliAltriOperatori)},
    };
}
