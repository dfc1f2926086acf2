// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "OperatorUi.h"

#include <QPointer>
#include <QList>

class QMessageBox;

// The operator interface with real boxes. A message is shown without waiting for its OK, so the
// server keeps serving handhelds while it is on screen; a question waits for its answer (requests
// of other handhelds are still served meanwhile).
class GuiOperatorUi : public OperatorUi
{
    Q_OBJECT
public:
    using OperatorUi::OperatorUi;

    void message(const QString &text, Icon icon = Icon::None) override;
    bool question(const QString &text) override;

    int openMessages() const;
    // Waits until the operator has closed every message shown (a start-up that cannot go on
    // leaves its reason on screen until read).
    void waitForOpenMessages();

private:
    QList<QPointer<QMessageBox>> m_boxes;
};
