// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>
#include <functional>

class SincroReplies;

// One synchronisation command of the handheld protocol: its word and how its arguments are read
// from the request. `tail` is the request after the handheld code (it begins with the word),
// `rest` the arguments after the word. run() answers false, without replying, for a request whose
// arguments cannot be read; the dispatcher logs it and drops it.
struct SyncCommand
{
    QString word;
    std::function<bool(SincroReplies &, const QString &tail, const QString &rest, int index)> run;
};

// The ten "Sincro..." commands in the order the dispatcher compares them.
QList<SyncCommand> syncCommands();
