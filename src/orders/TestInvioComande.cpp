// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestInvioComande.h"

#include "OperatorUi.h"
#include "OrderPrinting.h"
#include "modGestioneTipiDato.h"

#include <QDir>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcTest, "pliko.test")

using namespace Qt::StringLiterals;

TestInvioComande::TestInvioComande(QString tempFolder, OperatorUi *ui, OrderPrinting *printing, QObject *parent)
    : QObject(parent), m_tempFolder(std::move(tempFolder)), m_ui(ui), m_printing(printing)
{
}

TestInvioComande::~TestInvioComande() = default;

QString TestInvioComande::logPath() const
{
    return QDir(m_tempFolder).filePath(u"testInvioComande.log"_s);
}

QString TestInvioComande::general(const QDateTime &dt)
{
    return dt.toString(u"dd/MM/yyyy HH:mm:ss"_s);
}

void TestInvioComande::writeLog(const QString &line)
{
    if (!m_log.isOpen())
        return;
    m_log.write((line + u"\r\n"_s).toUtf8());
    m_log.flush();
}

void TestInvioComande::avvia()
{
    if (m_running)
        return;
    m_running = true;
    m_inizio = tipi::now();
    m_fine = {};
    m_totale = 0;
    m_testo = u"TEST INVIO COMANDE \r\n"_s;
    QDir().mkpath(m_tempFolder);
    m_log.setFileName(logPath());
    if (!m_log.open(QIODevice::Append | QIODevice::Text))
        qCWarning(lcTest).noquote() << "impossibile aprire il registro di prova" << logPath() << ":"
                                    << m_log.errorString();
    writeLog(u"Inizio test invio comande: "_s + general(m_inizio));
    if (m_ui)
        m_ui->addStatus(u"Inizio test invio comande: "_s + general(m_inizio));
    emit started();
    emit textChanged(m_testo);
    emit totalChanged(m_totale);
}

void TestInvioComande::riceviComanda(const QString &line)
{
    m_testo += line + u"\r\n"_s;
    ++m_totale;
    writeLog(line);
    if (m_ui)
        m_ui->addStatus(line);
    emit textChanged(m_testo);
    emit totalChanged(m_totale);
}

void TestInvioComande::durata(const QDateTime &from, const QDateTime &to, int *hours, int *minutes)
{
    // Minute boundaries crossed, as the clock on the wall counts them.
    const qint64 m = to.toSecsSinceEpoch() / 60 - from.toSecsSinceEpoch() / 60;
    *hours = 0;
    *minutes = int(m);
    if (m >= 60) {
        *hours = int(m / 60);
        *minutes = int(m % 60);
    }
}

QStringList TestInvioComande::resoconto(int orders, int hours, int minutes) const
{
    return {u"Inizio test invio comande: "_s + general(m_inizio), u"Fine test: "_s + general(m_fine),
            u"Durata test: "_s + QString::number(hours) + u" ore "_s + QString::number(minutes) + u" minuti"_s,
            u"Comande inviate: "_s + QString::number(orders)};
}

void TestInvioComande::chiudi()
{
    m_fine = tipi::now();
    int hours = 0;
    int minutes = 0;
    durata(m_inizio.isValid() ? m_inizio : m_fine, m_fine, &hours, &minutes);
    if (m_log.isOpen()) {
        writeLog(u"Fine test: "_s + general(m_fine));
        writeLog(u"Durata test: "_s + QString::number(hours) + u" ore "_s + QString::number(minutes) + u" minuti"_s);
        writeLog(u"Tot ordini = "_s + QString::number(m_totale));
        m_log.close();
    }
    const int total = m_totale;
    m_running = false;
    if (m_ui && m_ui->question(u"Vuoi stampare il resoconto del test?"_s) && m_printing)
        m_printing->stampaResocontoTest(resoconto(total, hours, minutes));
    emit finished();
}
