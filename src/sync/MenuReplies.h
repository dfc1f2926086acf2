// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QString>

class clsDatabase;
class modPlikoServer;
class HandheldLink;

// The handheld's menu: the articles on sale with the price of the list in force at the moment of
// the request ("SincroArticoli"), and the categories that hold them ("SincroCategorie").
class MenuReplies
{
public:
    MenuReplies(clsDatabase &db, modPlikoServer &mod, HandheldLink &link) : m_db(db), m_mod(mod), m_link(link) {}

    void sincroArticoli(int index);
    void sincroCategorie(int index);

    // The name of the price-list setting for a moment: "lst_", the weekday ("dom_" ... "sab_"),
    // then "g" from 7:00 to 17:59 and "s" at any other hour.
    static QString nomeImpostazioneListino(const QDateTime &at);

private:
    clsDatabase &m_db;
    modPlikoServer &m_mod;
    HandheldLink &m_link;
};
