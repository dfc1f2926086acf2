// SPDX-License-Identifier: GPL-3.0-or-later
#include "DocumentWriter.h"
#include "LayoutFile.h"
#include "PrintingFixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <optional>

using namespace Qt::StringLiterals;

namespace {

// A customer's layout file whose "Comanda" has the given version.
QByteArray customFile(int version, bool withComanda = true)
{
    QByteArray xml = "<reportLayouts>\n";
    if (withComanda)
        xml += "<report name=\"Comanda\" width=\"4080\"><section kind=\"pageHeader\" height=\"300\"><field "
               "name=\"versione\" text=\""
            + QByteArray::number(version) + "\" visible=\"false\"/></section></report>\n";
    xml += "<report name=\"Ricevuta\" width=\"4080\"/>\n</reportLayouts>\n";
    return xml;
}

class Layouts : public PrintingFixture
{
protected:
    void SetUp() override
    {
        PrintingFixture::SetUp();
        ASSERT_TRUE(m_layouts.isValid());
        ASSERT_TRUE(QFile::copy(standardFile(), m_layouts.filePath(u"stampeRestaurant.xml"_s)));
        frm->setCartellaLayout(m_layouts.path());
    }
    void scrivi(const QString &name, const QByteArray &content)
    {
        QFile f(m_layouts.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
    }
    QString percorso(const QString &name) const { return m_layouts.filePath(name); }

    QTemporaryDir m_layouts;
};

} // namespace

// The 58 mm example: a complete custom file whose ticket and pre-bill fit the narrow paper whole.
TEST_F(Layouts, TheFiftyEightMillimetreExampleIsACompleteCustomFileThatFitsItsPaper)
{
    ASSERT_TRUE(QFile::copy(QStringLiteral(PLIKO_SOURCE_DATA_DIR "/StampeCustom.example-58mm.xml"),
                            percorso(u"StampeCustom.xml"_s)));
    EXPECT_EQ(frm->setModuloXML(u"Comanda"_s, u"stampeRestaurant.xml"_s), percorso(u"StampeCustom.xml"_s));
    EXPECT_EQ(frm->setModuloXML(u"Messaggio Cucina"_s, u"stampeRestaurant.xml"_s), percorso(u"stampeRestaurant.xml"_s));
    EXPECT_TRUE(ui.messages().isEmpty());

    configura(2, u"Cucina"_s);
    configura(7, u"Cassa"_s);
    const qint32 c = nuovaComanda(12);
    tdb.exec(u"UPDATE comande SET coperti = 3, costo_coperti = 6 WHERE id_comanda = "_s + QString::number(c));
    const qint32 pasta = nuovaRiga(c, Carbonara, 3);
    tdb.exec(u"UPDATE merce_comande SET totale = 31.5 WHERE id_merce_comanda = "_s + QString::number(pasta));
    nuovaVariazione(pasta, u"Senza cipolla"_s);
    frm->stampaComanda(c, u"12,13"_s);
    frm->stampaPreConto(c, u"12,13"_s);
    const QString cucina = biglietti(u"Cucina"_s).value(0);
    const QString preconto = biglietti(u"Cassa"_s).value(0);
    EXPECT_TRUE(cucina.contains(u"      + Senza cipolla"_s)) << cucina.toStdString();
    EXPECT_TRUE(preconto.contains(u"** TAVOLO 12,13 **"_s)) << preconto.toStdString();
    bool perPersona = false;
    for (const auto &line : QString(cucina + preconto).split(u'\n')) {
        EXPECT_LE(line.size(), 32) << line.toStdString();
        perPersona = perPersona || line.trimmed() == u"(12,50 € per persona)"_s;
    }
    EXPECT_TRUE(perPersona) << preconto.toStdString();
}

TEST_F(Layouts, ABrokenLayoutPrintsNothingAndKeepsTheDishesOwed)
{
    const struct
    {
        const char *what;
        QString file;
        QByteArray content;
    } cases[] = {
        {"a custom ticket without its rows field must not swallow the dishes", u"StampeCustom.xml"_s,
         "<reportLayouts><report name=\"Comanda\"><section kind=\"pageHeader\" height=\"300\">"
         "<field name=\"versione\" text=\"4\"/></section></report>"
         "<report name=\"Comanda SubReport\"/></reportLayouts>"},
        {"a broken standard file", u"stampeRestaurant.xml"_s,
         "<reportLayouts><report name=\"Comanda\"><section kind=\"pageHeader\">"
         "<field name=\"versione\" text=\"quattro\"/></section></report></reportLayouts>"},
    };
    configura(1, u"Cassa"_s);
    for (const auto &k : cases) {
        SCOPED_TRACE(k.what);
        QFile::remove(percorso(u"StampeCustom.xml"_s));
        scrivi(k.file, k.content);
        const qint32 c = nuovaComanda();
        const qint32 pasta = nuovaRiga(c, Carbonara, 1);

        frm->stampaComanda(c, u"5"_s);

        EXPECT_TRUE(biglietti(u"Cassa"_s).isEmpty());
        // Owed either as lines still to print or as a ticket of the journal that failed.
        EXPECT_TRUE(qtaStampata(pasta) == u"0"_s
                    || tdb.scalar(u"SELECT count(*) FROM pliko_stampe WHERE stato = 3 AND id_comanda = "_s
                                  + QString::number(c)) == u"1"_s);
    }
    EXPECT_EQ(ui.messages().value(0), frmStampeDocumenti::MsgErroreStampa + u"Cassa"_s);
}

// An older custom ticket warns and is used all the same.
TEST_F(Layouts, TheCustomFileIsUsedSilentlyOnlyWhenItHoldsAReadableTicketOfTheCurrentVersion)
{
    const struct
    {
        const char *what;
        std::optional<QByteArray> custom; // none: no custom file at all
        const char *chosen;
        QStringList messages;
    } cases[] = {
        {"no custom file", std::nullopt, "stampeRestaurant.xml", {}},
        {"a custom file without the ticket", customFile(9, false), "stampeRestaurant.xml", {}},
        {"an unreadable custom file", QByteArray("<reportLayouts><report name=\"Comanda\">"),
         "stampeRestaurant.xml", {}},
        {"a custom ticket of the same version", customFile(4), "StampeCustom.xml", {}},
        // Written within the same tick of the file system's clock as the one before, and of its size.
        {"an older custom ticket", customFile(3), "StampeCustom.xml", {frmStampeDocumenti::MsgCustomVecchio}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(percorso(u"StampeCustom.xml"_s));
        if (c.custom)
            scrivi(u"StampeCustom.xml"_s, *c.custom);
        EXPECT_EQ(frm->setModuloXML(u"Comanda"_s, u"stampeRestaurant.xml"_s), percorso(QString::fromUtf8(c.chosen)));
        EXPECT_EQ(ui.messages(), c.messages);
    }
    // The names are matched exactly.
    EXPECT_EQ(frm->setModuloXML(u"comanda"_s, u"stampeRestaurant.xml"_s), QString());
}

TEST(LayoutFileErrors, TellTheLineOfTheFault)
{
    QString error;
    const auto r = LayoutFile::parse("<reportLayouts>\n<report name=\"A\">\n<section kind=\"detail\" height=\"ten\"/>"
                                     "</report></reportLayouts>",
                                     u"A"_s, u"Custom.xml"_s, &error);
    EXPECT_FALSE(r.has_value());
    EXPECT_TRUE(error.startsWith(u"Custom.xml:3: "_s)) << error.toStdString();
}

TEST_F(Layouts, PrinterValuesGiveTheNameAndThePageSetting)
{
    const struct
    {
        qint32 tipo;
        QString valore;
        bool trovata;
        QString nome;
        qint32 pagina; // 9 (A4) unless the value names another
    } casi[] = {
        {2, u"Cucina|0"_s, true, u"Cucina"_s, 9},
        {2, u"Cucina|11"_s, true, u"Cucina"_s, 11},
        {4, u"Bancone"_s, true, u"Bancone"_s, 9},
        {0, u"Cassa|9"_s, false, {}, 9}, // types without a name read "zona_ristorante_", normally absent
        {8, u"Cassa|9"_s, false, {}, 9},
    };
    QString name;
    qint32 page = 0;
    for (const auto &c : casi) {
        if (c.trovata)
            registry->setValue(Registry::BackOfficeKey, u"zona_ristorante_"_s + frmStampeDocumenti::nomeTipoStampante(c.tipo), c.valore);
        EXPECT_EQ(frm->leggiStampante(c.tipo, name, page), c.trovata) << c.valore.toStdString();
        EXPECT_EQ(name, c.nome);
        EXPECT_EQ(page, c.pagina);
    }
}
