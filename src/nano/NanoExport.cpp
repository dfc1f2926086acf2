// SPDX-License-Identifier: GPL-3.0-or-later
#include "NanoExport.h"

#include "Cp1252.h"
#include "NanoParsing.h"
#include "clsDatabase.h"
#include "modGestioneTipiDato.h"
#include "modPlikoServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLoggingCategory>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

Q_LOGGING_CATEGORY(lcExport, "pliko.nano.export")

namespace nano {
namespace {

const QString Amount = u"###0.00"_s;

class ExportFile
{
public:
    explicit ExportFile(const QString &path) : m_file(path) {}
    bool open()
    {
        // Created anew, never through whatever stands at the path: a link planted there would
        // otherwise have the server write over another file.
        const QFileInfo info(m_file.fileName());
        if ((info.exists() || info.isSymLink()) && !QFile::remove(m_file.fileName())) {
            qCWarning(lcExport).noquote() << "impossibile sostituire" << m_file.fileName();
            return false;
        }
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            qCWarning(lcExport).noquote() << m_file.fileName() << ":" << m_file.errorString();
            return false;
        }
        return true;
    }
    bool line(const QString &text)
    {
        const QByteArray bytes = cp1252::encode(text) + "\r\n";
        return m_file.write(bytes) == bytes.size();
    }
    bool close()
    {
        const bool ok = m_file.flush() && m_file.error() == QFileDevice::NoError;
        m_file.close();
        return ok;
    }

private:
    QFile m_file;
};

QString amount(double value) { return tipi::formatta(value, Amount); }

std::unique_ptr<Recordset> query(clsDatabase &db, const QString &sql)
{
    auto rs = db.openSnapshot(sql);
    if (!rs)
        qCWarning(lcExport).noquote() << "esportazione Duvu: query non riuscita:" << db.lastErrorText();
    return rs;
}

// Stores the Duvu number in a row found through its unique index; a row not found keeps its old one.
void numera(clsDatabase &db, Recordset *table, const QVariant &key, qint32 number)
{
    if (!table || !table->seek(u"="_s, key) || table->noMatch())
        return;
    if (db.editRecord(*table)) {
        table->setValue(u"id_nano"_s, number);
        db.updateRecord(*table);
    }
}

} // namespace

namespace {
int scriviDatabaseNano(clsDatabase &db, ExportFile &out, const QString &path);
}

int creaDatabaseNano(clsDatabase &db, const QString &path)
{
    ExportFile out(path);
    if (!out.open())
        return 0;
    // The numbers are the handhelds' names for things: a category, variation pair or operator that
    // drops out of this export must not keep an old number that a handheld could still send, so every
    // number is cleared and given anew in one transaction with the file that spreads them.
    if (!db.beginTrans()) {
        qCWarning(lcExport).noquote() << "esportazione Duvu: transazione non avviata:" << db.lastErrorText();
        return 0;
    }
    for (const QString &table : {u"tipo_merce"_s, u"variazioni_comande_categorie"_s, u"clfn"_s}) {
        if (!db.doQuery(u"UPDATE "_s + table + u" SET id_nano = 0"_s)) {
            qCWarning(lcExport).noquote() << "esportazione Duvu:" << table << "non azzerata:" << db.lastErrorText();
            db.rollback();
            return 0;
        }
    }
    if (scriviDatabaseNano(db, out, path) != 1 || !db.commitTrans()) {
        if (db.inTransaction())
            db.rollback();
        return 0;
    }
    return 1;
}

namespace {
int scriviDatabaseNano(clsDatabase &db, ExportFile &out, const QString &path)
{
    modPlikoServer server(db);
    bool written = true;
    auto put = [&](const QString &text) { written = out.line(text) && written; };

    // Categories: those with at least one article on the sales screen, in the sales-screen order.
    auto categories = query(db, u"SELECT DISTINCT id_tipo_merce, tipo, tipo_merce.posizione_cassa_facile "
                                "                   FROM magazzino, tipo_merce "
                                "                   WHERE in_shop_screen  "
                                "                         AND NOT cancellato "
                                "                         AND magazzino.id_tipo_merce = tipo_merce.num "
                                "                   ORDER BY tipo_merce.posizione_cassa_facile "_s);
    if (!categories)
        return 0;
    auto tipoMerce = db.openTable(u"tipo_merce"_s);
    if (tipoMerce)
        tipoMerce->setIndex(u"num_idx"_s);
    QHash<qint32, qint32> categoryNumber;
    qint32 n = 1;
    for (; !categories->isEOF(); categories->moveNext(), ++n) {
        const qint32 id = tipi::toLong(categories->value(u"id_tipo_merce"_s));
        put(u"D"_s + QString::number(n) + u'|' + testoRadio(tipi::toText(categories->value(u"tipo"_s))) + u';');
        categoryNumber.insert(id, n);
        numera(db, tipoMerce.get(), id, n);
    }

    // Articles. Ordered by the category's number: magazzino has an id_nano of its own, so the
    // bare column name would be ambiguous and the query refused.
    auto articles = query(db, u"SELECT codice, descrizione, codice_iva, listino_a, listino_b, listino_c, listino_d,"
                              "listino_e,listino_f, giacenza, articolo_restaurant, id_tipo_merce "
                              "FROM magazzino,tipo_merce WHERE in_shop_screen AND visibile_shop_screen AND not "
                              "cancellato AND magazzino.id_tipo_merce = tipo_merce.num "
                              "ORDER BY tipo_merce.id_nano, descrizione"_s);
    if (!articles)
        return 0;
    static const QStringList lists = {u"listino_a"_s, u"listino_b"_s, u"listino_c"_s,
                                      u"listino_d"_s, u"listino_e"_s, u"listino_f"_s};
    for (; !articles->isEOF(); articles->moveNext()) {
        const double rate = server.aliquotaIva(tipi::toLong(articles->value(u"codice_iva"_s)));
        QString prices;
        for (const QString &list : lists) {
            const Currency gross = modPlikoServer::prezzoIvato(tipi::toCurrency(articles->value(list)), rate);
            prices += u'|' + amount(gross.toDouble());
        }
        const qint32 category = categoryNumber.value(tipi::toLong(articles->value(u"id_tipo_merce"_s)), 0);
        if (category == 0)
            continue;
        put(u"P"_s + tipi::toText(articles->value(u"codice"_s)) + u'|'
            + testoRadio(tipi::toText(articles->value(u"descrizione"_s)))
            + u'|' + QString::number(category) + prices + u';');
    }

    // Variations: one record per variation and category.
    auto variations = query(db, u"SELECT variazioni_comande.id_variazione, descrizione, prezzo, id_tipo_merce "_s
                                    + u" FROM variazioni_comande, variazioni_comande_categorie, tipo_merce "_s
                                    + u" WHERE variazioni_comande.id_variazione = "
                                      "variazioni_comande_categorie.id_variazione AND "
                                      "variazioni_comande_categorie.id_tipo_merce = tipo_merce.num "
                                      "ORDER BY tipo_merce.id_nano"_s);
    if (!variations)
        return 0;
    qint32 k = 1;
    for (; !variations->isEOF(); variations->moveNext()) {
        const qint32 categoryId = tipi::toLong(variations->value(u"id_tipo_merce"_s));
        const qint32 category = categoryNumber.value(categoryId, 0);
        if (category == 0)
            continue;
        const qint32 variation = tipi::toLong(variations->value(u"id_variazione"_s));
        const double price = qAbs(tipi::toCurrency(variations->value(u"prezzo"_s)).toDouble());
        put(u"C"_s + QString::number(k) + u'|' + testoRadio(tipi::toText(variations->value(u"descrizione"_s))) + u'|'
            + amount(price) + u'|' + QString::number(category) + u';');
        db.doQuery(u"UPDATE variazioni_comande_categorie SET id_nano = "_s + QString::number(k)
                   + u" WHERE id_variazione = "_s + QString::number(variation) + u" AND id_tipo_merce = "_s
                   + QString::number(categoryId));
        ++k;
    }

    put(u"M1|+|100;"_s);
    put(u"M2|-|-100;"_s);

    auto operators = query(db, u"SELECT codice, nickname, pwd_nano, gestione_tutti_tavoli, abilita_storno FROM clfn "
                               "WHERE operatore AND NOT cancellato"_s);
    if (!operators)
        return 0;
    auto clfn = db.openTable(u"clfn"_s);
    if (clfn)
        clfn->setIndex(u"cod_idx"_s);
    qint32 m = 1;
    for (; !operators->isEOF(); operators->moveNext(), ++m) {
        put(u"O"_s + QString::number(m) + u'|' + testoRadio(tipi::toText(operators->value(u"nickname"_s))) + u'|'
            + testoRadio(tipi::toText(operators->value(u"pwd_nano"_s))) + u'|'
            + QString::number(tipi::toFlag(operators->value(u"gestione_tutti_tavoli"_s))) + u'|'
            + QString::number(tipi::toFlag(operators->value(u"abilita_storno"_s))) + u"|0|0|0|0;"_s);
        numera(db, clfn.get(), operators->value(u"codice"_s), m);
    }

    QString cover = u"0,00"_s;
    if (server.leggiVarLong(u"tipologia_coperto"_s, 0) == 1)
        cover = amount(tipi::toDouble(server.leggiVarStr(u"coperto_somma"_s, {})));
    put(u"G1|Coperto|"_s + cover + u';');

    for (const QString &fixed : {u"U1|Preconto|0;"_s, u"U2|Stampa cameriere|0;"_s, u"K1|caldo;"_s, u"K2|tiepido;"_s,
                                 u"K3|freddo;"_s, u"K4|ben cotto;"_s, u"K5|poco cotto;"_s, u"K6|in 2 piatti;"_s,
                                 u":"_s})
        put(fixed);
    if (!out.close() || !written) {
        qCWarning(lcExport).noquote() << "scrittura di" << path << "non riuscita";
        return 0;
    }
    return 1;
}
} // namespace

namespace {
#ifdef Q_OS_UNIX
// A folder of this user's own: made with mode 0700, refused when it is a link or belongs to
// someone else (who could read or swap the files written there).
bool cartellaPrivata(const QString &folder)
{
    const QByteArray name = QFile::encodeName(folder);
    ::mkdir(name.constData(), 0700);
    struct stat st {};
    if (::lstat(name.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) {
        qCWarning(lcExport).noquote() << "cartella di lavoro" << folder << "non utilizzabile: non è dell'utente";
        return false;
    }
    if ((st.st_mode & 0077) != 0 && ::chmod(name.constData(), 0700) != 0)
        return false;
    return true;
}
#endif
} // namespace

QString cartellaTemporanea(const QString &tempRoot)
{
#ifdef Q_OS_UNIX
    // The shared temporary folder is writable by everyone: the work folder sits in a folder of
    // this user's own inside it.
    const QString own = QDir(tempRoot).filePath(u"plikoserver-"_s + QString::number(::getuid()));
    const QString folder = QDir(own).filePath(u"QM9Temp"_s);
    if (!cartellaPrivata(own) || !cartellaPrivata(folder))
        return {};
#else
    const QString folder = QDir(tempRoot).filePath(u"QM9Temp"_s);
    QDir().mkpath(folder);
#endif
    return folder + u'/';
}

} // namespace nano
