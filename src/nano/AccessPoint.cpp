// SPDX-License-Identifier: GPL-3.0-or-later
#include "AccessPoint.h"

void AccessPoint::riceviMessaggio(QObject *, std::function<void(const Messaggio &)> done)
{
    Messaggio m;
    m.body = QByteArray(2000, ' ');
    qint32 length = 0;
    m.kind = Dll_RxManager(m.body, length);
    m.answered = lastCallAnswered();
    m.lineaPersa = lineaPersa();
    m.body.truncate(qBound(0, length, qint32(qMin<qsizetype>(m.body.size(), 2000))));
    done(m);
}
