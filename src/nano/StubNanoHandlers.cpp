// SPDX-License-Identifier: GPL-3.0-or-later
#include "StubNanoHandlers.h"

#include "OperatorUi.h"

using namespace Qt::StringLiterals;

void StubNanoHandlers::log(const QString &line)
{
    if (m_ui)
        m_ui->addStatus(line);
}

void StubNanoHandlers::salvaComandaNano(const QByteArray &body)
{
    log(u"Duvu T (comanda non registrata): "_s + QString::fromLatin1(body.left(200)));
}

QByteArray StubNanoHandlers::statoTavoloNano(qint16 table)
{
    log(u"Duvu V: tavolo "_s + QString::number(table));
    return QByteArrayLiteral("E");
}

QByteArray StubNanoHandlers::listaTavoliNano(qint32 operatorNano)
{
    log(u"Duvu l/L: operatore "_s + QString::number(operatorNano));
    return QByteArrayLiteral(".|");
}

qint32 StubNanoHandlers::spostaTavoloNano(const QByteArray &body)
{
    log(u"Duvu N (tavolo non spostato): "_s + QString::fromLatin1(body.left(200)));
    return 100;
}
