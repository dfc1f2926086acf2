// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QString>
#include <functional>

class OperatorUi;
class QPlainTextEdit;
class QPushButton;
namespace diagnostics {
class CrashReport;
}

// The runtime-error window, "Problema durante l'esecuzione del programma": the module, version and
// error of a fault, a comment box, and Esci (write the report), Invia (write it and send every
// archive to the configured address) and Stampa.
class frmErroreRuntime : public QDialog
{
    Q_OBJECT
public:
    static inline const QString Caption = QStringLiteral("Problema durante l'esecuzione del programma");
    static inline const QString AskComment =
        QStringLiteral("Per favore scrivi cosa stavi facendo quando si e' verificato l'errore");

    frmErroreRuntime(diagnostics::CrashReport &report, QString uploadUrl, OperatorUi *ui, QWidget *parent = nullptr);

    // How "Stampa" prints the report; false and why when it could not.
    using PrintReport = std::function<bool(const diagnostics::CrashReport &, QString *error)>;
    void setPrint(PrintReport print) { m_print = std::move(print); }

    QPlainTextEdit *commentBox() const { return m_comment; }
    QPushButton *cmdEsci() const { return m_esci; }
    QPushButton *cmdInvia() const { return m_invia; }
    QPushButton *cmdStampa() const { return m_stampa; }

private:
    void esci();
    void invia();
    void stampa();
    bool writeReport();
    // Sends every archive of the crash folder; those accepted are kept under "inviati".
    bool upload(QString *error);

    diagnostics::CrashReport &m_report;
    QString m_uploadUrl;
    OperatorUi *m_ui;
    PrintReport m_print;
    QPlainTextEdit *m_comment;
    QPushButton *m_esci;
    QPushButton *m_invia;
    QPushButton *m_stampa;
};
