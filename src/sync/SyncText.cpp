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

QString day(const QVariant &v)
{
    if (v.isNull())
        return {};
    QDate date;
    switch (v.typeId()) {
    case QMetaType::QDate:
        date = v.toDate();
        break;
    case QMetaType::QDateTime:
        date = v.toDateTime().date();
        break;
    default: {
        double number = 0;
        bool numeric = false;
        if (v.typeId() == QMetaType::QString)
            numeric = tipi::parseNumber(v.toString(), &number);
        else
            number = v.toDouble(&numeric);
        // Day numbers of real dates only (years 1 to 9999); anything else goes out as it stands.
        if (numeric && std::isfinite(number) && number > -657434 && number < 2958466)
            date = tipi::dateOfDay(static_cast<qint64>(std::floor(number)));
        break;
    }
    }
    if (!date.isValid())
        return field(v);
    // The handhelds expect the year whole, as the regional short date of their systems writes it.
    static thread_local QString format;
    static thread_local QString formatOf;
    const QString shortFormat = regional().locale.dateFormat(QLocale::ShortFormat);
    if (formatOf != shortFormat) {
        formatOf = shortFormat;
        format = shortFormat;
        if (!format.contains(u"yyyy"_s))
            format.replace(u"yy"_s, u"yyyy"_s);
    }
    return regional().locale.toString(date, format);
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
