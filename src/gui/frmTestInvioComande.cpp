// SPDX-License-Identifier: GPL-3.0-or-later
#include "frmTestInvioComande.h"

#include "Guarded.h"

#include "TestInvioComande.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

frmTestInvioComande::frmTestInvioComande(TestInvioComande &test, QWidget *parent)
    : QWidget(parent), m_test(test), m_testo(new QPlainTextEdit(this)), m_lblTotale(new QLabel(u"0"_s, this)),
      m_cmdChiudi(new QPushButton(u"Chiudi"_s, this))
{
    setObjectName(u"frmTestInvioComande"_s);
    setWindowTitle(u"Test invio comande"_s);
    m_testo->setObjectName(u"txtComande"_s);
    m_testo->setReadOnly(true);
    m_lblTotale->setObjectName(u"lblTotale"_s);
    m_cmdChiudi->setObjectName(u"cmdChiudi"_s);

    auto *bottom = new QHBoxLayout;
    bottom->addWidget(new QLabel(u"Comande ricevute:"_s, this));
    bottom->addWidget(m_lblTotale);
    bottom->addStretch();
    bottom->addWidget(m_cmdChiudi);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_testo);
    layout->addLayout(bottom);
    resize(520, 380);

    connect(&m_test, &TestInvioComande::started, this, [this] { show(); raise(); });
    connect(&m_test, &TestInvioComande::textChanged, this, [this](const QString &text) {
        m_testo->setPlainText(text);
        m_testo->moveCursor(QTextCursor::End);
    });
    connect(&m_test, &TestInvioComande::totalChanged, this,
            [this](int total) { m_lblTotale->setText(QString::number(total)); });
    connect(m_cmdChiudi, &QPushButton::clicked, this, &frmTestInvioComande::chiudi);
}

void frmTestInvioComande::chiudi()
{
    // A second click while the question is open does nothing.
    diagnostics::runClick("frmTestInvioComande.cmdChiudi", "frmTestInvioComande", "cmdChiudi_Click", [this] {
        m_test.chiudi();
        hide();
    });
}

void frmTestInvioComande::closeEvent(QCloseEvent *event)
{
    // Closing the window ends the test, as its button does.
    if (m_test.running())
        chiudi();
    event->accept();
}
