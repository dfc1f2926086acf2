// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CrashReport.h"
#include "ErrorRecord.h"

#include <QString>
#include <functional>

// The common error routine. A procedure that meets a genuine internal fault captures it (number,
// description, line) and calls erroreComune: 50003 is cleared and the procedure goes on; 3043 (the
// database's disk or network failed) tells the operator and restarts the server; anything else
// writes a crash report and, unless the fault was confined to one request, restarts the server.
// Bad input never comes here: it is rejected where it is read.
namespace diagnostics {

// A failure a procedure recovers from itself (a statement that failed after its retries, a printer
// missing): logged and kept as the last fault, the caller carries on.
struct Fault
{
    QString label;
    QString text;
    int line = 0;
};
using FaultHandler = std::function<void(const Fault &)>;
void reportFault(const QString &label, const QString &text, int line = 0);
FaultHandler setFaultHandler(FaultHandler handler);
Fault lastFault();

inline const QString DiskErrorMessage = QStringLiteral(
    "Attenzione!\r\nSi è verificato un errore di lettura sul database\r\nverificare che non ci siano problemi di "
    "rete e di accesso al disco.\r\nNel caso il problema persista è possibile che il database si sia "
    "danneggiato.\r\nIl programma verrà riavviato");
inline const QString NoComment = QStringLiteral("Nessun commento");

// Where the routine's outcomes go; the program fills it in once at start.
struct ErrorSetup
{
    QString crashFolder;  // "QM10Errors"
    QString customerId;   // CodiceCliente
    QString email;        // EmailSegnalazioni
    std::function<QString()> registryExtract;
    std::function<QString()> databaseStatus;
    std::function<void(const QString &)> criticalMessage;  // the 3043 message box
    std::function<void(const QString &pngPath)> screenshot;  // with windows only
    // Shows the runtime-error window modally; it writes the report (Esci, Invia). Without it (no
    // windows) the report is written with the comment "Nessun commento".
    std::function<void(CrashReport &)> showWindow;
    // Ends the program and has it started again; called once.
    std::function<void()> restart;
    // Request failures tolerated within a minute before the server restarts.
    int requestFailureLimit = 5;
};
void installErrorSetup(ErrorSetup setup);
const ErrorSetup &errorSetup();

enum class Where {
    Outside,  // start-up, timer ticks, click handlers: the server restarts
    Request,  // one handheld request, rolled back and its connection closed: the server goes on
};
enum class Outcome { Cleared, Restarting, Reported };

// The routine. message may be "#B64#..." (a scrambled text of ours). Returns what it did; the
// caller goes on with its next statement either way.
Outcome erroreComune(const QString &message, const QString &module, Where where = Where::Outside);
// The report the routine wrote last (tests and support read it).
QString lastArchive();
// Forgets the request failures counted so far (tests).
void resetRequestFailures();

// Our scrambled messages: "#B64#" and the Base64 of the text with each byte turned by a fixed key.
QString scramble(const QString &text);
QString unscramble(const QString &message);

} // namespace diagnostics
