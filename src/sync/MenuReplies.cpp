// SPDX-License-Identifier: GPL-3.0-or-later
#include "MenuReplies.h"

#include "SyncText.h"
#include "clsDatabase.h"
#include "modGestioneTipiDato.h"
#include "modPlikoServer.h"

#include <QHash>
#include <optional>

using namespace Qt::StringLiterals;
using synctext::Cr;
using synctext::field;
using synctext::flag;
using synctext::whole;

QString MenuReplies::nomeImpostazioneListino(const QDateTime &at)
{
    // Qt counts Monday as 1 and Sunday as 7.
    static const char16_t *const days[] = {u"lun_", u"mar_", u"mer_", u"gio_", u"ven_", u"sab_", u"dom_"};
    const int hour = at.time().hour();
    const QString day = QString::fromUtf16(days[(at.date().dayOfWeek() + 6) % 7]);
    return u"lst_"_s + day + (hour > 6 && hour < 18 ? u"g"_s : u"s"_s);
}

QString MenuReplies::sincroArticoli()
{
    auto rs = m_db.openDynaset(u"SELECT codice, descrizione, codice_iva, listino_a_ivato, listino_b_ivato, "
                               "listino_c_ivato, listino_d_ivato, giacenza, articolo_restaurant, id_tipo_merce, "
                               "preferito, posizione_preferito FROM magazzino WHERE in_shop_screen AND "
                               "visibile_shop_screen AND not cancellato  "_s);
    if (!rs)
        return {};
    QString reply = u"SincroArticoli|"_s;
    enum { Codice, Descrizione, Categoria, ListinoA, Giacenza = ListinoA + 4, Restaurant, Preferito, Posizione };
    const QList<int> col = synctext::columns(
        *rs, {u"codice"_s, u"descrizione"_s, u"id_tipo_merce"_s, u"listino_a_ivato"_s, u"listino_b_ivato"_s,
              u"listino_c_ivato"_s, u"listino_d_ivato"_s, u"giacenza"_s, u"articolo_restaurant"_s,
              u"preferito"_s, u"posizione_preferito"_s});
    bool warned = false;
    // Each setting and the rate are read once per reply: the reply is built in one read snapshot,
    // so they cannot change under it, and a database across the network answers each read with a
    // round trip (two per article made the menu thirty times slower than its own query).
    QHash<QString, qint32> lists;
    std::optional<double> rate;
    for (; !rs->isEOF(); rs->moveNext()) {
        // The moment decides the list, so it is worked out again for every row.
        const QString setting = nomeImpostazioneListino(tipi::now());
        auto known = lists.constFind(setting);
        if (known == lists.constEnd())
            known = lists.insert(setting, m_db.ReadLong(setting, 0));
        qint32 list = *known;
        if (list < 0 || list > 3) {
            // Only lists A to D carry prices with VAT: a value outside them would leave the
            // handheld without a menu, so list A serves and the operator is told once.
            if (!warned)
                qCWarning(lcSync).noquote() << "Impostazione" << setting << "=" << list
                                            << "non indica un listino da A a D: si usa il listino A";
            warned = true;
            list = 0;
        }
        // Setting 0 chooses listino_a_ivato, 1 listino_b_ivato, and so on to 3.
        const Currency listPrice = tipi::toCurrency(rs->value(col[ListinoA + list]));
        // The lists already include VAT: the rate of code 0 (the exempt code, normally 0 %) is
        // applied to every article, whatever its own code, and only rounds the price.
        if (!rate)
            rate = m_mod.aliquotaIva(0);
        int decimals = regional().decimals;
        const Currency price = modPlikoServer::prezzoIvato(listPrice, *rate, decimals);

        reply += whole(rs->value(col[Codice])) + u'|' + field(rs->value(col[Descrizione])) + u'|'
            + whole(rs->value(col[Categoria])) + u'|' + tipi::numberText(price.toDouble()) + u'|'
            + tipi::numberText(tipi::toDouble(rs->value(col[Giacenza]))) + u'|'
            + flag(rs->value(col[Restaurant])) + u'|' + flag(rs->value(col[Preferito])) + u'|'
            + whole(rs->value(col[Posizione])) + u';';
    }
    return reply + Cr;
}

QString MenuReplies::sincroCategorie()
{
    auto rs = m_db.openDynaset(u"SELECT DISTINCT id_tipo_merce, tipo, tipo_merce.posizione_cassa_facile "_s
                               + u"                   FROM magazzino, tipo_merce "_s
                               + u"                   WHERE in_shop_screen "_s
                               + u"                         AND NOT cancellato "_s
                               + u"                         AND magazzino.id_tipo_merce = tipo_merce.num "_s
                               + u"                   ORDER BY tipo_merce.posizione_cassa_facile, tipo "_s);
    if (!rs)
        return {};
    QString reply = u"SincroCategorie|"_s;
    for (; !rs->isEOF(); rs->moveNext())
        reply += whole(rs->value(u"id_tipo_merce"_s)) + u'|' + field(rs->value(u"tipo"_s)) + u'|'
            + QString::number(tipi::toInt16(rs->value(u"posizione_cassa_facile"_s))) + u';';
    return reply + Cr;
}
