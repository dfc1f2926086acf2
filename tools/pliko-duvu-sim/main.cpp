// SPDX-License-Identifier: GPL-3.0-or-later
// pliko-duvu-sim: a radio access point without the hardware. Opens a pseudo-terminal (or a given
// device), prints the device path the server should use, answers the server's requests, and
// delivers the handheld messages of a script file or of standard input (one a line: the kind
// character, then the body). Runs until SIGINT or SIGTERM.

#include "DuvuSim.h"

#include "../ToolHelp.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <csignal>
#include <cstdio>
#include <thread>

using namespace Qt::StringLiterals;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"pliko-duvu-sim"_s);

    QCoreApplication::setApplicationVersion(QStringLiteral(PLIKO_VERSION));
    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"Emulatore dell'access point radio: stampa il percorso del dispositivo, poi vi risponde al server.\n"
        "I messaggi dei palmari, uno per riga (carattere del tipo, poi il corpo), vengono da --script o dallo "
        "standard input."_s);
    const QCommandLineOption helpOption = tools::addItalianHelp(app, parser);
    const QCommandLineOption deviceOption(
        u"device"_s, u"Usa questo dispositivo seriale invece di un nuovo pseudo-terminale."_s, u"PERCORSO"_s);
    const QCommandLineOption scriptOption(
        u"script"_s, u"Mette in coda i messaggi di FILE (\"-\": standard input)."_s, u"FILE"_s, u"-"_s);
    const QCommandLineOption repliesOption(u"replies"_s, u"Aggiunge a FILE ogni risposta del server."_s, u"FILE"_s);
    const QCommandLineOption databaseOption(u"database"_s, u"Scrive in FILE ogni database trasferito."_s, u"FILE"_s);
    const QCommandLineOption modeOption(u"mode"_s,
        u"normal, dead (non risponde mai), garble (checksum errati) o "
        "noisy (rumore tra i frame, risposte a pezzi)."_s,
        u"MODO"_s, u"normal"_s);
    const QCommandLineOption infoOption(
        u"info"_s, u"Testo delle informazioni di sistema del dispositivo."_s, u"TESTO"_s);
    const QCommandLineOption delayOption(
        u"delay"_s, u"Un dispositivo lento: attende MS millisecondi prima di ogni risposta."_s, u"MS"_s, u"0"_s);
    parser.addOptions({deviceOption, scriptOption, repliesOption, databaseOption, modeOption, infoOption, delayOption});
    parser.process(app);
    tools::showHelpIfAsked(parser, helpOption);

    DuvuSim sim;
    const QString mode = parser.value(modeOption);
    if (mode == u"dead"_s)
        sim.setMode(DuvuSim::Mode::Dead);
    else if (mode == u"garble"_s)
        sim.setMode(DuvuSim::Mode::Garble);
    else if (mode == u"noisy"_s)
        sim.setMode(DuvuSim::Mode::Noisy);
    else if (mode != u"normal"_s) {
        std::fprintf(stderr, "pliko-duvu-sim: modo sconosciuto %s\n", qPrintable(mode));
        return 2;
    }
    sim.setReplyDelayMs(qBound(0, parser.value(delayOption).toInt(), 60000));
    if (parser.isSet(infoOption))
        sim.setInfo(parser.value(infoOption).toLatin1());
    if (parser.isSet(repliesOption))
        sim.setRepliesFile(parser.value(repliesOption));
    if (parser.isSet(databaseOption))
        sim.setDatabaseFile(parser.value(databaseOption));

    QString error;
    const bool opened = parser.isSet(deviceOption) ? sim.openDevice(parser.value(deviceOption), &error)
                                                   : sim.openPty(&error);
    if (!opened) {
        std::fprintf(stderr, "pliko-duvu-sim: %s\n", qPrintable(error));
        return 1;
    }

    // The signals are taken by sigwait below, in this thread only.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    std::printf("%s\n", qPrintable(sim.devicePath()));
    std::fflush(stdout);
    sim.start();

    const QString script = parser.value(scriptOption);
    std::thread reader([&sim, script] {
        QFile in;
        const bool ok = script == u"-"_s ? in.open(stdin, QIODevice::ReadOnly) : (in.setFileName(script),
                                                                                   in.open(QIODevice::ReadOnly));
        if (!ok) {
            std::fprintf(stderr, "pliko-duvu-sim: impossibile leggere %s\n", qPrintable(script));
            return;
        }
        while (true) {
            const QByteArray line = in.readLine();
            if (line.isEmpty())
                break;
            sim.queueLine(line);
        }
    });
    reader.detach();

    int signal = 0;
    sigwait(&stopSignals, &signal);
    sim.stop();
    std::fprintf(stderr, "pliko-duvu-sim: %d richieste, %d trasferimenti del database\n", int(sim.requests().size()),
                 sim.transfers());
    return 0;
}
