// SPDX-License-Identifier: GPL-3.0-or-later
#include "frmErroreRuntime.h"

#include "CrashReport.h"
#include "ErrorRoutine.h"
#include "Guarded.h"
#include "OperatorUi.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

frmErroreRuntime::frmErroreRuntime(diagnostics::CrashReport &report, QString uploadUrl, OperatorUi *ui,
                                   QWidget *parent)
    : QDialog(parent), m_report(report), m_uploadUrl(std::move(uploadUrl)), m_ui(ui),
      m_comment(new QPlainTextEdit(this)), m_esci(new QPushButton(u"Esci"_s, this)),
      m_invia(new QPushButton(u"Invia"_s, this)), m_stampa(new QPushButton(u"Stampa"_s, this))
{
    setWindowTitle(Caption);
    setModal(true);
    const diagnostics::ErrorRecord &r = report.record();
    auto *layout = new QVBoxLayout(this);
    const QStringList lines{u"Modulo: "_s + r.moduleText, u"Versione: "_s + r.versionText, u"Errore: "_s + r.errorText};
    for (const QString &line : lines) {
        auto *label = new QLabel(line, this);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        label->setWordWrap(true);
        layout->addWidget(label);
    }
    m_comment->setObjectName(u"txtCommento"_s);
    m_comment->setPlaceholderText(u"Cosa stavi facendo quando si e' verificato l'errore?"_s);
    layout->addWidget(m_comment, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_stampa);
    buttons->addWidget(m_invia);
    buttons->addWidget(m_esci);
    layout->addLayout(buttons);
    // The window may stand over a closing server: Esc and the title bar's close act as Esci.
    connect(m_esci, &QPushButton::clicked, this,
            [this] { diagnostics::runClick("frmErroreRuntime.cmdEsci", "frmErroreRuntime", "cmdEsci_Click", [this] { esci(); }); });
    connect(m_invia, &QPushButton::clicked, this,
            [this] { diagnostics::runClick("frmErroreRuntime.cmdInvia", "frmErroreRuntime", "cmdInvia_Click", [this] { invia(); }); });
    connect(m_stampa, &QPushButton::clicked, this,
            [this] { diagnostics::runClick("frmErroreRuntime.cmdStampa", "frmErroreRuntime", "cmdStampa_Click", [this] { stampa(); }); });
    connect(this, &QDialog::rejected, this, [this] {
        if (!m_report.written())
            esci();
    });
    resize(560, 360);
}

bool frmErroreRuntime::writeReport()
{
    QString error;
    if (m_report.written() || m_report.write(&error))
        return true;
    if (m_ui)
        m_ui->message(u"Rapporto di errore non scritto: "_s + error, OperatorUi::Icon::Warning);
    return false;
}

void frmErroreRuntime::esci()
{
    const QString comment = m_comment->toPlainText().trimmed();
    m_report.record().comment = comment.isEmpty() ? diagnostics::NoComment : comment;
    writeReport();
    accept();
}

void frmErroreRuntime::invia()
{
    const QString comment = m_comment->toPlainText().trimmed();
    if (comment.isEmpty()) {
        if (m_ui)
            m_ui->message(AskComment, OperatorUi::Icon::Information);
        return;
    }
    m_report.record().comment = comment;
    if (!writeReport())
        return;
    QString error;
    if (m_uploadUrl.trimmed().isEmpty()) {
        if (m_ui)
            m_ui->message(u"Nessun indirizzo di invio configurato (CrashReportUrl): il rapporto è conservato in "_s
                              + m_report.archivePath(),
                          OperatorUi::Icon::Information);
    } else if (!upload(&error) && m_ui) {
        m_ui->message(u"Invio non riuscito ("_s + error + u"): il rapporto è conservato in "_s + m_report.archivePath(),
                      OperatorUi::Icon::Warning);
    }
    accept();
}

void frmErroreRuntime::stampa()
{
    // The printed report carries the comment as it stands; the window stays open either way.
    const QString comment = m_comment->toPlainText().trimmed();
    m_report.record().comment = comment.isEmpty() ? diagnostics::NoComment : comment;
    QString error = u"stampa non disponibile"_s;
    if ((!m_print || !m_print(m_report, &error)) && m_ui)
        m_ui->message(u"Segnalazione non stampata: "_s + error, OperatorUi::Icon::Warning);
}

bool frmErroreRuntime::upload(QString *error)
{
    const QUrl url(m_uploadUrl.trimmed());
    if (!url.isValid() || (url.scheme() != u"http"_s && url.scheme() != u"https"_s)) {
        *error = u"indirizzo non valido"_s;
        return false;
    }
    QNetworkAccessManager network;
    const QDir folder(m_report.folder());
    bool all = true;
    for (const QString &name : folder.entryList({u"qm10error#*.zip"_s}, QDir::Files)) {
        QFile file(folder.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        QNetworkRequest request(url);
        request.setHeader(QNetworkRequest::ContentTypeHeader, u"application/zip"_s);
        request.setRawHeader("X-Pliko-Report", QUrl::toPercentEncoding(name));
        request.setTransferTimeout(30000);
        QNetworkReply *reply = network.post(request, file.readAll());
        QEventLoop loop;
        connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
        const bool ok = reply->error() == QNetworkReply::NoError;
        if (!ok) {
            *error = reply->errorString();
            all = false;
        } else {
            // Sent archives move aside, so the next report does not send them again.
            folder.mkpath(u"inviati"_s);
            file.close();
            QFile::rename(folder.filePath(name), folder.filePath(u"inviati/"_s + name));
        }
        reply->deleteLater();
        if (!ok)
            break;
    }
    return all;
}
