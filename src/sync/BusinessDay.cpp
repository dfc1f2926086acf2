// SPDX-License-Identifier: GPL-3.0-or-later
#include "BusinessDay.h"

#include "SyncText.h"
#include "clsDatabase.h"
#include "modGestioneTipiDato.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

BusinessDay::Window BusinessDay::window(clsDatabase &db, Rule rule)
{
    const double opening = settingSeconds(db.ReadString(u"ora_apertura_attivita"_s, {}));
    const double closing = settingSeconds(db.ReadString(u"ora_chiusura_attivita"_s, {}));
    return compute(opening, closing, tipi::now(), rule);
}

BusinessDay::Window BusinessDay::compute(double opening, double closing, const QDateTime &now, Rule rule)
{
    const bool crossesMidnight = !(opening < closing);
    const qint64 today = tipi::dayNumber(now.date());
    qint64 base = today - 1;
    if (rule == Rule::ShiftBeforeOpening) {
        // Compared in whole minutes with today's opening time of day.
        const int nowMinutes = now.time().hour() * 60 + now.time().minute();
        if (nowMinutes < synctext::minutiDelGiorno(opening))
            base = today - 2;
    }
    const double baseMidnight = double(base) * 86400.0;
    const double nextMidnight = double(base + 1) * 86400.0;
    return Window{baseMidnight + opening, (crossesMidnight ? nextMidnight : baseMidnight) + closing};
}

double BusinessDay::settingSeconds(const QString &text)
{
    double seconds = 0;
    if (tipi::parseNumber(text, &seconds))
        return seconds;
    // A time of day written "H:mm" is read as the back office stores that hour: one day plus the
    // hours (7:00 is 111600), so that added to yesterday's midnight it falls on today and the
    // window is the current service, as for the stored form. Read as 0 it would turn every day into
    // a whole one; read as the bare hours it would put the window a day back.
    static const QRegularExpression timeOfDay(u"^\\s*(\\d{1,2}):(\\d{2})\\s*$"_s);
    const auto m = timeOfDay.match(text);
    if (m.hasMatch()) {
        const int h = m.captured(1).toInt();
        const int min = m.captured(2).toInt();
        if (h < 24 && min < 60)
            return 86400.0 + h * 3600.0 + min * 60.0;
    }
    return 0;
}
