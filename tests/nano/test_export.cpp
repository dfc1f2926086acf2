// SPDX-License-Identifier: GPL-3.0-or-later
// The radio handhelds' menu file, byte for byte, and the Duvu numbers it leaves in the database.
#include "NanoExport.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class ExportTest : public ::testing::Test
{
protected:
    ExportTest() : database(false) {}
    QString exportPath() const { return QDir(work.path()).filePath(nano::NomeFileDatabase); }
    void smallMenu()
    {
        database.exec(u"INSERT INTO iva (codice, descrizione, aliquota) VALUES (10, 'Iva 10%', 10)"_s);
        database.exec(u"INSERT INTO iva (codice, descrizione, aliquota) VALUES (22, 'Iva 22%', 22)"_s);
        // Drinks come first on the sales screen; "Vuota" has nothing on it.
        database.exec(u"INSERT INTO tipo_merce (num, tipo, posizione_cassa_facile) VALUES (1, 'Pizze', 2)"_s);
        database.exec(u"INSERT INTO tipo_merce (num, tipo, posizione_cassa_facile) VALUES (2, 'Bevande', 1)"_s);
        database.exec(u"INSERT INTO tipo_merce (num, tipo, posizione_cassa_facile) VALUES (3, 'Dolci', 3)"_s);
        database.exec(u"INSERT INTO tipo_merce (num, tipo, posizione_cassa_facile, id_nano) VALUES (4, 'Vuota', 0, 9)"_s);
        const QString article = u"INSERT INTO magazzino (codice, descrizione, id_tipo_merce, codice_iva, listino_a, "
                                "listino_b, in_shop_screen, visibile_shop_screen, cancellato) VALUES "_s;
        database.exec(article + u"(101, 'Margherita', 1, 10, 5, 6, -1, -1, 0)"_s);
        database.exec(article + u"(102, 'Acqua', 2, 22, 1, 0, -1, -1, 0)"_s);
        database.exec(article + u"(103, 'Tiramisù', 3, 10, 4, 0, -1, -1, 0)"_s);
        database.exec(article + u"(104, 'Fuori menu', 4, 10, 3, 0, 0, -1, 0)"_s);
        database.exec(article + u"(105, 'Nascosta', 1, 10, 3, 0, -1, 0, 0)"_s);
        database.exec(article + u"(106, 'Cancellata', 3, 10, 3, 0, -1, -1, -1)"_s);
        database.exec(u"INSERT INTO variazioni_comande (id_variazione, descrizione, prezzo) VALUES (1, 'Senza cipolla', -1.5)"_s);
        database.exec(u"INSERT INTO variazioni_comande (id_variazione, descrizione, prezzo) VALUES (2, 'Panna', 0.5)"_s);
        for (int category : {1, 2, 3})
            database.exec(u"INSERT INTO variazioni_comande_categorie (id_variazione, id_tipo_merce) VALUES (1, "_s
                          + QString::number(category) + u')');
        database.exec(u"INSERT INTO variazioni_comande_categorie (id_variazione, id_tipo_merce) VALUES (2, 4)"_s);
        const QString person = u"INSERT INTO clfn (codice, nickname, operatore, cancellato, pwd_nano, "
                               "gestione_tutti_tavoli, abilita_storno) VALUES "_s;
        database.exec(person + u"(1, 'Marco', -1, 0, '1111', -1, -1)"_s);
        database.exec(person + u"(2, 'Giulia', -1, -1, '2222', 0, 0)"_s);
        database.exec(person + u"(3, 'Luca|B;', -1, 0, '3333', 0, 0)"_s);
        database.exec(person + u"(100, 'Fornitore', 0, 0, '', 0, 0)"_s);
    }
    void cover(int tipologia, const QString &somma)
    {
        database.exec(u"INSERT OR REPLACE INTO var_long (name, value) VALUES ('tipologia_coperto', %1)"_s
                          .arg(tipologia));
        database.exec(u"INSERT OR REPLACE INTO var_str (name, value) VALUES ('coperto_somma', '%1')"_s.arg(somma));
    }

    RegionalGuard regional;
    TestDatabase database;
    QTemporaryDir work;
};

TEST_F(ExportTest, ASmallMenuIsWrittenExactlyAndNumbered)
{
    smallMenu();
    cover(1, u"2,5"_s);
    // Numbers of an earlier export: what drops out of this one must not keep them.
    database.exec(u"UPDATE clfn SET id_nano = 7 WHERE codice = 2"_s);
    database.exec(u"UPDATE variazioni_comande_categorie SET id_nano = 5 WHERE id_tipo_merce = 4"_s);
    ASSERT_EQ(nano::creaDatabaseNano(database.db(), exportPath()), 1);
    EXPECT_FALSE(database.db().inTransaction());
    const QByteArray expected = "D1|Bevande;\r\n"
                                "D2|Pizze;\r\n"
                                "D3|Dolci;\r\n"
                                "P102|Acqua|1|1,22|0,00|0,00|0,00|0,00|0,00;\r\n"
                                "P101|Margherita|2|5,50|6,60|0,00|0,00|0,00|0,00;\r\n"
                                "P103|Tiramis\xf9|3|4,40|0,00|0,00|0,00|0,00|0,00;\r\n"
                                "C1|Senza cipolla|1,50|1;\r\n"
                                "C2|Senza cipolla|1,50|2;\r\n"
                                "C3|Senza cipolla|1,50|3;\r\n"
                                "M1|+|100;\r\n"
                                "M2|-|-100;\r\n"
                                "O1|Marco|1111|1|1|0|0|0|0;\r\n"
                                "O2|Luca/B/|3333|0|0|0|0|0|0;\r\n"
                                "G1|Coperto|2,50;\r\nU1|Preconto|0;\r\nU2|Stampa cameriere|0;\r\nK1|caldo;\r\n"
                                "K2|tiepido;\r\nK3|freddo;\r\nK4|ben cotto;\r\nK5|poco cotto;\r\nK6|in 2 piatti;\r\n:\r\n";
    EXPECT_EQ(readAll(exportPath()), expected);

    // The numbers the handhelds will name things by: key:number, in key order; what was not exported is cleared.
    const auto numeri = [this](const QString &table, const QString &key) {
        return database.scalar(u"SELECT group_concat(%2 || ':' || id_nano, ' ') FROM (SELECT * FROM %1 ORDER BY %2)"_s
                                   .arg(table, key));
    };
    EXPECT_EQ(numeri(u"tipo_merce"_s, u"num"_s), u"1:2 2:1 3:3 4:0"_s);
    EXPECT_EQ(numeri(u"variazioni_comande_categorie"_s, u"id_tipo_merce"_s), u"1:2 2:1 3:3 4:0"_s);
    EXPECT_EQ(numeri(u"clfn"_s, u"codice"_s), u"1:1 2:0 3:2 100:0"_s);
}

TEST_F(ExportTest, TheCoverIsChargedOnlyWhenItIsAFixedAmount)
{
    struct Case
    {
        int tipologia;
        QString somma;
        QByteArray written;
    };
    for (const Case &c : {Case{1, u"3"_s, "3,00"}, Case{0, u"3"_s, "0,00"}, Case{2, u"3"_s, "0,00"},
                          Case{1, u""_s, "0,00"}}) {
        cover(c.tipologia, c.somma);
        ASSERT_EQ(nano::creaDatabaseNano(database.db(), exportPath()), 1);
        EXPECT_TRUE(readAll(exportPath()).contains(QByteArray("\r\nG1|Coperto|" + c.written + ";\r\n")))
            << c.tipologia << " " << c.somma.toStdString();
    }
}

TEST_F(ExportTest, ALinkPlantedAtTheFileIsReplacedNotWrittenThrough)
{
    const QString victim = QDir(work.path()).filePath(u"victim.txt"_s);
    QFile v(victim);
    ASSERT_TRUE(v.open(QIODevice::WriteOnly));
    v.write("keep me");
    v.close();
    ASSERT_TRUE(QFile::link(victim, exportPath()));
    ASSERT_EQ(nano::creaDatabaseNano(database.db(), exportPath()), 1);
    EXPECT_EQ(readAll(victim), QByteArray("keep me"));
    EXPECT_FALSE(QFileInfo(exportPath()).isSymLink());
}

TEST(WorkFolderTest, TheWorkFolderIsTheUsersOwnAndPrivate)
{
    QTemporaryDir root;
    const QString folder = nano::cartellaTemporanea(root.path());
    ASSERT_FALSE(folder.isEmpty());
    EXPECT_TRUE(folder.endsWith(u"QM9Temp/"_s));
    EXPECT_EQ(QFileInfo(folder).permissions() & (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther
                                                 | QFile::WriteOther | QFile::ExeOther),
              QFile::Permissions());
    EXPECT_EQ(nano::cartellaTemporanea(root.path()), folder) << "the same folder on the next start";

    // A folder someone planted as a link to elsewhere is not used.
    QTemporaryDir other;
    QTemporaryDir root2;
    const QString own = QFileInfo(nano::cartellaTemporanea(root2.path())).dir().path();
    QDir(own).removeRecursively();
    ASSERT_TRUE(QFile::link(other.path(), own));
    EXPECT_TRUE(nano::cartellaTemporanea(root2.path()).isEmpty());
}

} // namespace
