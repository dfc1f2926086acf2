// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Italian --help of every tool: Qt's own usage words ("Utilizzo", "Opzioni") from its Italian
// translations, and a help option that says what it does in Italian (Qt's describes itself in English).

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <cstdio>
#include <cstdlib>

namespace tools {

// Adds -h/--help and -v/--version; call showHelpIfAsked() after parsing.
inline QCommandLineOption addItalianHelp(QCoreApplication &app, QCommandLineParser &parser)
{
    auto *translator = new QTranslator(&app);
    if (translator->load(QStringLiteral("qtbase_it"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
    else
        delete translator;
    const QCommandLineOption help(
        { QStringLiteral("h"), QStringLiteral("help") }, QStringLiteral("Mostra questo aiuto."));
    parser.addOption(help);
    parser.addVersionOption();
    return help;
}

inline void showHelpIfAsked(const QCommandLineParser &parser, const QCommandLineOption &help)
{
    if (!parser.isSet(help))
        return;
    std::fputs(qPrintable(parser.helpText()), stdout);
    std::exit(0);
}

} // namespace tools
