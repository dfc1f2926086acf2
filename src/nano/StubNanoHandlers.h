// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "NanoHandlers.h"

class OperatorUi;

// Radio message handling before the order and table services are wired in: every message is
// logged for the operator and answered with the empty reply of its kind (table free, empty table
// list, table not moved), so a handheld gets an answer instead of waiting.
class StubNanoHandlers : public NanoHandlers
{
public:
    explicit StubNanoHandlers(OperatorUi *ui) : m_ui(ui) {}

    void salvaComandaNano(const QByteArray &body) override;
    QByteArray statoTavoloNano(qint16 table) override;
    QByteArray listaTavoliNano(qint32 operatorNano) override;
    qint32 spostaTavoloNano(const QByteArray &body) override;

private:
    void log(const QString &line);
    OperatorUi *m_ui;
};
