// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QString>

class clsDatabase;
class modPlikoServer;

// The handheld's menu: the articles on sale with the price of the list in force at the moment of
// the request ("SincroArticoli"), and the categories that hold them ("SincroCategorie"). The
// builders return the reply text, or a null text when a query could not be opened.
class MenuReplies
{
public:
    MenuReplies(clsDatabase &db, modPlikoServer &mod) : m_db(db), m_mod(mod) {}

    QString sincroArticoli();
    QString sincroCategorie();

    // The name of the price-list setting for a moment: "lst_", the weekday ("dom_" ... "sab_"),
    // then "g" from 7:00 to 17:59 and "s" at any other hour.
    static QString nomeImpostazioneListino(const QDateTime &at);

private:
    clsDatabase &m_db;
    modPlikoServer &m_mod;
};
