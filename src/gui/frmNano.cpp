// SPDX-License-Identifier: GPL-3.0-or-later
#include "frmNano.h"

#include "Guarded.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>

using namespace Qt::StringLiterals;

namespace {
QPixmap lampada(const QColor &color)
{
    QPixmap pixmap(24, 24);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(color);
    p.setPen(QPen(color.darker(160), 1.5));
    p.drawEllipse(2, 2, 20, 20);
    return pixmap;
}

QPushButton *bottone(const QString &name, const QString &caption, QWidget *parent)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(name);
    return b;
}
} // namespace

frmNano::frmNano(NanoControl &control, QWidget *parent) : QWidget(parent, Qt::Window), m_control(control)
{
    setObjectName(u"frmNano"_s);
    setWindowTitle(u"Gestione Duvu"_s);
    m_label1 = new QLabel(u"Selezionare la COM su cui e' collegato l'Access Point"_s, this);
    m_label1->setObjectName(u"Label1"_s);
    m_cmbCom = new QComboBox(this);
    m_cmbCom->setObjectName(u"cmbCom"_s);
    m_cmdConnetti = bottone(u"cmdConnetti"_s, u"Connetti l'Access point"_s, this);
    m_cmdChiudiConnessione = bottone(u"cmdChiudiConnessione"_s, u"Chiudi connessione con l'acces point"_s, this);
    m_cmdInviaDB = bottone(u"cmdInviaDB"_s, u"Invia Database all'Access point"_s, this);
    m_cmdAbilitaVisibile = bottone(u"cmdAbilitaVisibile"_s, u"Abilita modalita' visibile"_s, this);
    m_cmdDisabilitaVisibile = bottone(u"cmdDisabilitaVisibile"_s, u"Disabilita modalita' visibile"_s, this);
    m_cmdAbilitaRicezione = bottone(u"cmdAbilitaRicezione"_s, u"Abilita ricezione ordini"_s, this);
    m_cmdFermaRicezione = bottone(u"cmdFermaRicezione"_s, u"Disabilita ricezione ordini"_s, this);
    m_cmdAnnulla = bottone(u"cmdAnnulla"_s, u"Esci"_s, this);
    m_listLog = new QListWidget(this);
    m_listLog->setObjectName(u"ListLog"_s);
    m_picVerde = new QLabel(this);
    m_picVerde->setObjectName(u"picVerde"_s);
    m_picVerde->setPixmap(lampada(QColor(0x2E, 0xB8, 0x4B)));
    m_picRossa = new QLabel(this);
    m_picRossa->setObjectName(u"picRossa"_s);
    m_picRossa->setPixmap(lampada(QColor(0xD6, 0x2D, 0x20)));
    m_barra = new QProgressBar(this);
    m_barra->setObjectName(u"Barra"_s);
    m_barra->setRange(0, 100);
    m_barra->hide();

    // Each pair of buttons shares one place; only one of a pair is shown at a time.
    auto *grid = new QGridLayout(this);
    grid->addWidget(m_label1, 0, 0, 1, 2);
    grid->addWidget(m_cmbCom, 1, 0);
    auto *lamps = new QHBoxLayout;
    lamps->addWidget(m_picVerde);
    lamps->addWidget(m_picRossa);
    lamps->addStretch(1);
    grid->addLayout(lamps, 1, 1);
    grid->addWidget(m_cmdConnetti, 2, 0);
    grid->addWidget(m_cmdChiudiConnessione, 2, 0);
    grid->addWidget(m_cmdInviaDB, 2, 1);
    grid->addWidget(m_cmdAbilitaVisibile, 3, 0);
    grid->addWidget(m_cmdDisabilitaVisibile, 3, 0);
    grid->addWidget(m_cmdAbilitaRicezione, 3, 1);
    grid->addWidget(m_cmdFermaRicezione, 3, 1);
    grid->addWidget(m_listLog, 4, 0, 1, 2);
    grid->addWidget(m_barra, 5, 0, 1, 2);
    grid->addWidget(m_cmdAnnulla, 6, 1);
    resize(520, 420);

    riempiPorteCom();
    m_cmdChiudiConnessione->hide();
    m_cmdDisabilitaVisibile->hide();
    m_cmdFermaRicezione->hide();

    connect(&m_control, &NanoControl::statoCambiato, this, &frmNano::onStato);
    connect(&m_control, &NanoControl::logLine, this, &frmNano::onLog);
    connect(&m_control, &NanoControl::progresso, this, &frmNano::onProgresso);

    connect(m_cmdConnetti, &QPushButton::clicked, this, [this] {
        clic(u"cmdConnetti"_s, [this] { m_control.connettiAccessPoint(qint32(m_cmbCom->currentIndex()) + 1); });
    });
    connect(m_cmdChiudiConnessione, &QPushButton::clicked, this,
            [this] { clic(u"cmdChiudiConnessione"_s, [this] { m_control.chiudiConnessione(); }); });
    connect(m_cmdAbilitaVisibile, &QPushButton::clicked, this,
            [this] { clic(u"cmdAbilitaVisibile"_s, [this] { m_control.abilitaVisibile(); }); });
    connect(m_cmdDisabilitaVisibile, &QPushButton::clicked, this,
            [this] { clic(u"cmdDisabilitaVisibile"_s, [this] { m_control.disabilitaVisibile(); }); });
    connect(m_cmdAbilitaRicezione, &QPushButton::clicked, this,
            [this] { clic(u"cmdAbilitaRicezione"_s, [this] { m_control.abilitaRicezione(); }); });
    connect(m_cmdFermaRicezione, &QPushButton::clicked, this,
            [this] { clic(u"cmdFermaRicezione"_s, [this] { m_control.fermaRicezione(); }); });
    connect(m_cmdInviaDB, &QPushButton::clicked, this,
            [this] { clic(u"cmdInviaDB"_s, [this] { m_control.inviaDatabase(); }); });
    connect(m_cmdAnnulla, &QPushButton::clicked, this, [this] { clic(u"cmdAnnulla"_s, [this] { close(); }); });
}

void frmNano::clic(const QString &key, const std::function<void()> &handler)
{
    if (!m_control.entra(key))
        return;
    diagnostics::runGuarded("frmNano", "clic", diagnostics::Where::Outside, handler);
    m_control.esci(key);
}

void frmNano::imposta(QWidget *w, bool shown, bool on)
{
    w->setVisible(shown);
    w->setEnabled(on);
}

void frmNano::riempiPorteCom()
{
    m_cmbCom->clear();
    for (qint32 port = 1; port <= 99; ++port)
        m_cmbCom->addItem(NanoControl::voceCom(port));
    m_cmbCom->setCurrentIndex(0);
}

void frmNano::apri()
{
    riempiPorteCom();
    const qint32 port = m_control.comNano();
    if (port >= 1 && port <= m_cmbCom->count())
        m_cmbCom->setCurrentIndex(port - 1);
    if (m_control.apertura()) {
        m_cmdInviaDB->setEnabled(true);
        m_picVerde->show();
        m_picRossa->hide();
        imposta(m_cmdAbilitaVisibile, true, true);
        imposta(m_cmdDisabilitaVisibile, false, false);
        m_cmdChiudiConnessione->show();
        m_cmdChiudiConnessione->setEnabled(true);
        m_cmdConnetti->hide();
        const bool reception = m_control.ricezione();
        imposta(m_cmdAbilitaRicezione, !reception, !reception);
        imposta(m_cmdFermaRicezione, reception, reception);
    } else {
        m_cmdInviaDB->setEnabled(false);
        m_picVerde->hide();
        m_picRossa->hide();
        imposta(m_cmdAbilitaVisibile, true, false);
        imposta(m_cmdDisabilitaVisibile, false, false);
        m_cmdChiudiConnessione->hide();
        m_cmdFermaRicezione->hide();
        imposta(m_cmdAbilitaRicezione, true, false);
        imposta(m_cmdConnetti, true, true);
    }
    show();
    raise();
    activateWindow();
}

void frmNano::apriConnessione()
{
    m_cmdConnetti->hide();
    imposta(m_cmdChiudiConnessione, true, true);
    imposta(m_cmdAbilitaVisibile, true, true);
    m_cmdDisabilitaVisibile->hide();
    imposta(m_cmdAbilitaRicezione, true, true);
    m_cmdFermaRicezione->hide();
    m_cmdInviaDB->setEnabled(true);
    m_picRossa->hide();
    m_picVerde->show();
}

void frmNano::chiudiConnessione()
{
    imposta(m_cmdConnetti, true, true);
    m_cmdChiudiConnessione->hide();
    imposta(m_cmdAbilitaVisibile, true, false);
    m_cmdDisabilitaVisibile->hide();
    imposta(m_cmdAbilitaRicezione, true, false);
    m_cmdFermaRicezione->hide();
    m_cmdInviaDB->setEnabled(false);
    m_picRossa->show();
    m_picVerde->hide();
}

void frmNano::abilitaVisibile()
{
    imposta(m_cmdAbilitaVisibile, false, false);
    imposta(m_cmdDisabilitaVisibile, true, true);
}

void frmNano::disabilitaVisibile()
{
    imposta(m_cmdAbilitaVisibile, true, true);
    imposta(m_cmdDisabilitaVisibile, false, false);
}

void frmNano::abilitaRicezione()
{
    imposta(m_cmdAbilitaRicezione, false, false);
    imposta(m_cmdFermaRicezione, true, true);
}

void frmNano::disabilitaRicezione()
{
    imposta(m_cmdAbilitaRicezione, true, true);
    imposta(m_cmdFermaRicezione, false, false);
}

void frmNano::onStato(NanoControl::Stato stato)
{
    switch (stato) {
    case NanoControl::Stato::ApriConnessione: apriConnessione(); break;
    case NanoControl::Stato::ChiudiConnessione: chiudiConnessione(); break;
    case NanoControl::Stato::AbilitaVisibile: abilitaVisibile(); break;
    case NanoControl::Stato::DisabilitaVisibile: disabilitaVisibile(); break;
    case NanoControl::Stato::AbilitaRicezione: abilitaRicezione(); break;
    case NanoControl::Stato::DisabilitaRicezione: disabilitaRicezione(); break;
    }
}

void frmNano::onLog(const QString &line)
{
    m_listLog->addItem(line);
    // The list follows the newest line, except after the link was found (the operator reads
    // the search from the top).
    if (line != NanoControl::testoStato(NanoControl::Stato::ApriConnessione))
        m_listLog->setCurrentRow(m_listLog->count() - 1);
}

void frmNano::onProgresso(int percent)
{
    if (percent < 0) {
        m_barra->hide();
        return;
    }
    m_barra->show();
    m_barra->setValue(percent);
    m_barra->repaint();
}
