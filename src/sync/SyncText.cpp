// SPDX-License-Identifier: GPL-3.0-or-later
#include "SyncText.h"

#include "Recordset.h"
#include "modGestioneTipiDato.h"
#include "modPlikoServer.h"

#include <cmath>

using namespace Qt::StringLiterals;

Q_LOGGING_CATEGORY(lcSync, "pliko.sync")

namespace synctext {

QString field(const QVariant &v)
{
    return tipi::toText(v);
}

QString whole(const QVariant &v)
{
    return QString::number(tipi::toLong(v));
}

QString flag(const QVariant &v)
{
    return tipi::toFlag(v) ? u"1"_s : u"0"_s;
}

int minutiDelGiorno(double seconds)
{
    if (!std::isfinite(seconds))
        return 0;
    // Only the part within its day counts, whatever day the value carries.
    double inDay = std::fmod(seconds, 86400.0);
    if (inDay < 0)
        inDay += 86400.0;
    return static_cast<int>(std::floor(inDay / 60.0 + 1e-9)) % 1440;
}

QString oraDelGiorno(double seconds)
{
    const int minutes = minutiDelGiorno(seconds);
    return QString::number(minutes / 60) + u':' + QString::number(minutes % 60).rightJustified(2, u'0');
}

double momentoAlMinuto()
{
    const QDateTime now = tipi::now();
    return modPlikoServer::momentoDaOrario(now.date(), now.time().toString(u"H:mm"_s), u":"_s);
}

QList<int> columns(const Recordset &rs, const QStringList &names)
{
    QList<int> positions;
    for (const QString &name : names) {
        int found = -1;
        for (int i = 0; i < rs.fieldCount() && found < 0; ++i)
            if (rs.fieldName(i).compare(name, Qt::CaseInsensitive) == 0)
                found = i;
        positions.append(found);
    }
    return positions;
}

} // namespace synctext
