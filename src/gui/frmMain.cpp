// SPDX-License-Identifier: GPL-3.0-or-later
#include "frmMain.h"

#include "Guarded.h"
#include "ServerContext.h"
#include "ServerCore.h"
#include "frmStampeDocumenti.h"
#include "frmSysTray.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPainterPath>
#include <QTime>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {
// The window keeps a bounded log; a server that runs for weeks must not grow it without end.
constexpr int MaxStatusLines = 2000;
constexpr int MaxDataBlocks = 5000;
constexpr int BackoffDaStampareMs = 60'000;

// The program's icon (packaging/plikoserver.svg, drawn here so the tray needs no SVG plug-in): a
// plate between fork and knife, at the sizes trays and title bars ask for.
QIcon serverIcon()
{
    QIcon icon;
    for (const int size : {16, 22, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 64.0, size / 64.0);
        const QColor cream(0xFD, 0xF6, 0xE3);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xB8, 0x32, 0x2A));
        p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
        p.setBrush(cream);
        p.drawEllipse(QPointF(32, 33), 17, 17);
        p.setPen(QPen(QColor(0xE0, 0xD4, 0xB8), 2));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(32, 33), 11, 11);
        p.setPen(Qt::NoPen);
        p.setBrush(cream);
        for (const int x : {8, 11, 14})
            p.drawRoundedRect(QRectF(x, 10, 2, 12), 1, 1);
        p.drawRoundedRect(QRectF(8, 20, 8, 4), 2, 2);
        p.drawRoundedRect(QRectF(10.5, 22, 3, 32), 1.5, 1.5);
        QPainterPath knife;
        knife.moveTo(52, 10);
        knife.cubicTo(57, 14, 57, 28, 53, 31);
        knife.lineTo(53, 54);
        knife.lineTo(50, 54);
        knife.lineTo(50, 12);
        knife.closeSubpath();
        p.drawPath(knife);
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

QString stateText(int state)
{
    switch (state) {
    case 0: return u"0 chiuso"_s;
    case 1: return u"1 aperto"_s;
    case 2: return u"2 in ascolto"_s;
    case 7: return u"7 connesso"_s;
    case 8: return u"8 in chiusura"_s;
    case 9: return u"9 errore"_s;
    default: return QString::number(state);
    }
}
} // namespace

frmMain::frmMain(ServerCore &core, QWidget *parent)
    : QWidget(parent), m_core(core), m_tray(new frmSysTray(this))
{
    setObjectName(u"frmMain"_s);
    setWindowTitle(u"PlikoServerWindow"_s);
    const QIcon icon = serverIcon();
    setWindowIcon(icon);

    auto *frame = new QGroupBox(u"Connection Status"_s, this);
    frame->setObjectName(u"fraConnectionStatus"_s);
    m_lbStatus = new QListWidget(frame);
    m_lbStatus->setObjectName(u"lbStatus"_s);
    // A long line (a whole order, a printer's error) wraps instead of being cut at the column's edge.
    m_lbStatus->setWordWrap(true);
    m_lbStatus->setTextElideMode(Qt::ElideNone);
    m_lbStatus->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_lbStatus->setResizeMode(QListView::Adjust);
    m_txtDati = new QPlainTextEdit(frame);
    m_txtDati->setObjectName(u"txtDati"_s);
    m_txtDati->setReadOnly(true);
    m_txtDati->setMaximumBlockCount(MaxDataBlocks);
    m_connections = new QTreeWidget(frame);
    m_connections->setObjectName(u"lvConnessioni"_s);
    m_connections->setHeaderLabels({u"Slot"_s, u"Stato"_s, u"Indirizzo"_s});
    m_connections->setRootIsDecorated(false);
    m_connections->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_cmdClear = new QPushButton(u"Clear"_s, frame);
    m_cmdClear->setObjectName(u"cmdClear"_s);
    m_cmdClose = new QPushButton(u"Close"_s, frame);
    m_cmdClose->setObjectName(u"cmdClose"_s);
    m_txtDatiInvio = new QLineEdit(frame);
    m_txtDatiInvio->setObjectName(u"txtDatiInvio"_s);
    m_cmdInvio = new QPushButton(u"Invia"_s, frame);
    m_cmdInvio->setObjectName(u"cmdInvio"_s);

    auto *logs = new QHBoxLayout;
    auto *left = new QVBoxLayout;
    left->addWidget(new QLabel(u"Eventi"_s, frame));
    left->addWidget(m_lbStatus);
    left->addWidget(new QLabel(u"Connessioni"_s, frame));
    left->addWidget(m_connections);
    auto *right = new QVBoxLayout;
    right->addWidget(new QLabel(u"Dati ricevuti"_s, frame));
    right->addWidget(m_txtDati);
    logs->addLayout(left, 1);
    logs->addLayout(right, 2);
    auto *send = new QHBoxLayout;
    send->addWidget(m_txtDatiInvio, 1);
    send->addWidget(m_cmdInvio);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_cmdClear);
    buttons->addWidget(m_cmdClose);
    auto *inner = new QVBoxLayout(frame);
    inner->addLayout(logs, 1);
    inner->addLayout(send);
    inner->addLayout(buttons);
    // The tickets the kitchen still waits for, and a reprint of the selected order's zone.
    auto *pending = new QGroupBox(u"Comande da stampare"_s, this);
    pending->setObjectName(u"fraComandeDaStampare"_s);
    m_daStampare = new QTreeWidget(pending);
    m_daStampare->setObjectName(u"lvDaStampare"_s);
    m_daStampare->setHeaderLabels({u"Comanda"_s, u"Tavolo"_s, u"Zona"_s, u"Stampante"_s, u"Attesa"_s,
                                   u"Tentativi"_s, u"Ultimo errore"_s});
    m_daStampare->setRootIsDecorated(false);
    m_daStampare->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_cmdRistampa = new QPushButton(u"Ristampa"_s, pending);
    m_cmdRistampa->setObjectName(u"cmdRistampa"_s);
    m_cmdRistampa->setEnabled(false);
    auto *pendingLayout = new QHBoxLayout(pending);
    pendingLayout->addWidget(m_daStampare, 1);
    pendingLayout->addWidget(m_cmdRistampa, 0, Qt::AlignTop);
    m_timerDaStampare = new QTimer(this);

    auto *outer = new QVBoxLayout(this);
    outer->addWidget(frame, 3);
    outer->addWidget(pending, 1);
    resize(820, 680);

    OperatorUi &ui = m_core.context().ui();
    connect(&ui, &OperatorUi::statusAdded, this, [this](const QString &line) {
        m_lbStatus->addItem(QTime::currentTime().toString(u"HH:mm:ss "_s) + line);
        m_lbStatus->item(m_lbStatus->count() - 1)->setToolTip(line);
        while (m_lbStatus->count() > MaxStatusLines)
            delete m_lbStatus->takeItem(0);
        m_lbStatus->scrollToBottom();
    });
    connect(&ui, &OperatorUi::dataAppended, this, [this](const QString &text) {
        m_txtDati->moveCursor(QTextCursor::End);
        m_txtDati->insertPlainText(text);
        m_txtDati->verticalScrollBar()->setValue(m_txtDati->verticalScrollBar()->maximum());
    });
    connect(&ui, &OperatorUi::logCleared, this, [this] {
        m_lbStatus->clear();
        m_txtDati->setPlainText(QString());
    });
    connect(m_cmdClear, &QPushButton::clicked, this, [this] {
        diagnostics::runClick("frmMain.cmdClear", "frmMain", "cmdClear_Click", [this] { m_core.context().ui().clearLog(); });
    });
    // Close asks first, as the tray's "Esci" does: one click must not stop order taking mid-service.
    connect(m_cmdClose, &QPushButton::clicked, this, &frmMain::chiudiProgramma);
    connect(m_daStampare, &QTreeWidget::itemSelectionChanged, this,
            [this] { m_cmdRistampa->setEnabled(m_fonte.ristampa && m_daStampare->currentItem()); });
    connect(m_cmdRistampa, &QPushButton::clicked, this, &frmMain::ristampaSelezionata);
    connect(m_timerDaStampare, &QTimer::timeout, this, [this] {
        // A window in the tray reads nothing: the list is read again when it is shown.
        if (isVisible())
            aggiornaDaStampare();
    });
    // cmdInvio sends nothing: a reply goes only to the connection that asked for it.
    connect(&m_core.wsServer(), &HandheldServer::slotChanged, this, &frmMain::onSlotChanged);

    m_tray->addMenuItem(u"&Attiva Duvu"_s, u"attivaNano"_s);
    m_tray->addMenuItem(u"&Gestione Duvu"_s, u"gestioneNano"_s);
    m_tray->addMenuItem(u"-"_s, u"sep"_s);
    m_tray->addMenuItem(u"&Esci da Tavora Restaurant Server"_s, u"chiudiProgramma"_s);
    m_tray->setIcon(icon);
    m_tray->setToolTip(u"Tavora Restaurant Server"_s);
    m_icona = icon;
    connect(m_tray, &frmSysTray::mousePressed, this, &frmMain::onTrayMouse);
    connect(m_tray, &frmSysTray::menuClicked, this, &frmMain::onTrayMenu);
    connect(&m_core, &ServerCore::finished, this, [this] {
        m_ending = true;
        close();
    });
}

frmMain::~frmMain() = default;

void frmMain::presentAtStart()
{
    m_tray->show();
    show();
}

void frmMain::onTrayMouse(int button)
{
    if (button == 2)
        diagnostics::runClick("frmSysTray.menu", "frmSysTray", "MouseDown", [this] { m_tray->showMenu(); });
    else if (button == 1)
        setVisible(!isVisible());
}

void frmMain::onTrayMenu(const QString &key)
{
    if (key == u"gestioneNano"_s)
        gestioneNano();
    else if (key == u"attivaNano"_s)
        attivaNano();
    else
        chiudiProgramma();
}

// Click handlers run one at a time each (a second click while the first waits on a question or
// the access point does nothing), traced, and a fault in one goes to the error routine.
void frmMain::attivaNano()
{
    diagnostics::runClick("frmMain.attivaNano", "frmMain", "mnuAttivaNano_Click", [this] { m_core.attivaNano(); });
}

void frmMain::gestioneNano()
{
    diagnostics::runClick("frmMain.gestioneNano", "frmMain", "mnuGestioneNano_Click", [this] {
        if (m_core.context().showNanoWindow)
            m_core.context().showNanoWindow();
    });
}

void frmMain::chiudiProgramma()
{
    diagnostics::runClick("frmMain.chiudiProgramma", "frmMain", "mnuEsci_Click", [this] { m_core.chiudiProgramma(); });
}

void frmMain::closeEvent(QCloseEvent *event)
{
    // Closing the main window asks, as "Esci" does; on yes the program ends after the requests in
    // progress have finished.
    if (!m_ending) {
        event->ignore();
        chiudiProgramma();
        return;
    }
    event->accept();
}

void frmMain::onSlotChanged(int index, int state, const QString &peer)
{
    const QString key = QString::number(index);
    QList<QTreeWidgetItem *> found = m_connections->findItems(key, Qt::MatchExactly, 0);
    QTreeWidgetItem *item = found.isEmpty() ? nullptr : found.first();
    if (state == 0 && index != 0) {
        delete item;
        return;
    }
    if (!item) {
        item = new QTreeWidgetItem(m_connections);
        item->setData(0, Qt::DisplayRole, index);
        m_connections->sortItems(0, Qt::AscendingOrder);
    }
    item->setText(1, stateText(state));
    item->setText(2, index == 0 ? u"porta "_s + QString::number(m_core.wsServer().serverPort()) : peer);
}

void frmMain::avvisoStampanti(const QStringList &zoneGuaste)
{
    if (zoneGuaste.isEmpty()) {
        m_tray->setIcon(m_icona);
        m_tray->setToolTip(u"Tavora Restaurant Server"_s);
        return;
    }
    m_tray->setIcon(style()->standardIcon(QStyle::SP_MessageBoxWarning));
    m_tray->setToolTip(u"Tavora Restaurant Server - stampante non funzionante: "_s + zoneGuaste.join(u", "_s));
}

void frmMain::setComandeDaStampare(FonteComandeDaStampare fonte, int secondi)
{
    m_fonte = std::move(fonte);
    m_intervalloDaStampare = std::max(1, secondi) * 1000;
    m_timerDaStampare->start(m_intervalloDaStampare);
    aggiornaDaStampare();
}

void frmMain::aggiornaDaStampare()
{
    if (!m_fonte.elenco)
        return;
    const auto righe = m_fonte.elenco();
    // The database away: the list keeps what it last read, and asks again only after a minute (a
    // database server that does not answer costs its connect timeout on this thread).
    m_timerDaStampare->setInterval(righe ? m_intervalloDaStampare : BackoffDaStampareMs);
    if (!righe)
        return;
    // The selection follows its order and zone across the refresh.
    const QTreeWidgetItem *prima = m_daStampare->currentItem();
    const QString scelta = prima ? prima->data(0, Qt::UserRole).toString() : QString();
    m_daStampare->clear();
    const double adesso = modPlikoServer::momentoAttuale();
    for (const TicketJournal::Biglietto &r : *righe) {
        auto *item = new QTreeWidgetItem(m_daStampare);
        item->setData(0, Qt::DisplayRole, r.comanda);
        item->setData(0, Qt::UserRole, QString(QString::number(r.comanda) + u'|' + QString::number(r.zona)));
        item->setData(2, Qt::UserRole, r.zona);
        item->setText(1, r.tavoli);
        item->setText(2, frmStampeDocumenti::nomeTipoStampante(r.zona));
        item->setText(3, r.stampante);
        item->setText(4, QString::number(qint64(adesso - r.creata)) + u" s"_s);
        item->setData(5, Qt::DisplayRole, r.tentativi);
        item->setText(6, r.errore);
        item->setToolTip(6, r.errore);
        if (item->data(0, Qt::UserRole).toString() == scelta)
            m_daStampare->setCurrentItem(item);
    }
    m_cmdRistampa->setEnabled(m_fonte.ristampa && m_daStampare->currentItem());
}

void frmMain::ristampaSelezionata()
{
    diagnostics::runClick("frmMain.cmdRistampa", "frmMain", "cmdRistampa_Click", [this] {
        const QTreeWidgetItem *item = m_daStampare->currentItem();
        if (!item || !m_fonte.ristampa)
            return;
        const qint32 comanda = item->data(0, Qt::DisplayRole).toInt();
        const qint32 zona = item->data(2, Qt::UserRole).toInt();
        const QString dove = u"comanda "_s + QString::number(comanda) + u" ("_s + item->text(2) + u')';
        const std::optional<int> n = m_fonte.ristampa(comanda, zona);
        OperatorUi &ui = m_core.context().ui();
        if (!n)
            ui.addStatus(u"Ristampa non riuscita, database non disponibile: "_s + dove);
        else if (*n < 0)
            ui.addStatus(u"Ristampa: "_s + dove + u" sconosciuta"_s);
        else if (*n == 0)
            ui.addStatus(u"Ristampa non riuscita: "_s + dove);
        else
            ui.addStatus(u"Ristampata "_s + dove);
        aggiornaDaStampare();
    });
}
