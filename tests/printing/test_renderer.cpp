// SPDX-License-Identifier: GPL-3.0-or-later
#include "DocumentWriter.h"
#include "PrintingFixture.h"
#include "ReportEngine.h"
#include "ReportRenderer.h"

#include <QCoreApplication>
#include <QDir>
#include <QImage>

using namespace Qt::StringLiterals;

namespace {

// A pre-bill of n drinks, laid out on the given paper.
RenderedDocument preconto(int n, int paperCode)
{
    ReportEngine main;
    ReportEngine sub;
    EXPECT_TRUE(main.load(standardFile(), u"Preconto"_s));
    EXPECT_TRUE(sub.load(standardFile(), u"Preconto SubReport"_s));
    main.setFieldText(u"numeroTavolo"_s, u"** TAVOLO 3 **"_s);
    cReportData data;
    data.setColonne(10);
    data.setRighe(qint16(n + 1));
    for (qint16 r = 0; r < n; ++r) {
        data.setDati(r, 1, u"1"_s);
        data.setDati(r, 2, u"Caffè "_s + QString::number(r + 1));
        data.setDati(r, 3, u"1,50 €"_s);
    }
    sub.setRecordset(&data);
    main.setSubreport(u"Preconto SubReport"_s, &sub);
    return *main.render(*PaperSize::fromCode(paperCode));
}

} // namespace

TEST(Renderer, ALongPreBillRunsOverA4PagesEachWithItsHeaderAndOnARollIsOnePageAsLongAsItsContent)
{
    const RenderedDocument doc = preconto(200, 9);
    ASSERT_GT(doc.pages.size(), 1);
    for (const auto &page : doc.pages) {
        ASSERT_FALSE(page.isEmpty());
        EXPECT_EQ(doc.bands[page.first().band].kind, RenderBand::Kind::PageHeader);
        const int bottom = page.last().y + doc.bands[page.last().band].height;
        EXPECT_LE(bottom, int(doc.pageHeight) - doc.marginTop);
    }
    // Every row is printed once, the blank row the table announces at its end is not.
    const QString text = DocumentWriter::text(doc);
    EXPECT_EQ(text.count(u"Caffè "_s), 200);
    EXPECT_TRUE(text.contains(u"1 Caffè 200"_s));
    EXPECT_TRUE(DocumentWriter::pdf(doc, u"Preconto"_s).startsWith("%PDF-"));

    // On a roll the ticket is one page as long as its content.
    const RenderedDocument roll = preconto(200, 256);
    EXPECT_EQ(roll.pages.size(), 1);
    EXPECT_NEAR(roll.pageWidth, 80 * 1440 / 25.4, 1);
    int total = 0;
    for (const auto &b : roll.bands)
        total += b.height;
    EXPECT_EQ(int(roll.pageHeight), roll.marginTop + total + 227);
    const QImage img = DocumentWriter::page(roll, 0, 203);
    EXPECT_EQ(img.width(), 639); // 80 mm at 203 dots per inch, a thermal printer's head
}

TEST(Renderer, AThermalPrinterGetsItsCommandsAndEveryLetterOfItsCodePage)
{
    const QByteArray bill = DocumentWriter::escPos(preconto(1, 256));
    EXPECT_TRUE(bill.startsWith("\x1b@\x1bt\x13"));
    EXPECT_TRUE(bill.endsWith("\x1dV\x01"));
    ReportEngine e;
    ASSERT_TRUE(e.load(standardFile(), u"Messaggio Cucina"_s));
    e.setFieldText(u"testo"_s, u"Crème brûlée Spätzle Æble 5€ ·½ 漢"_s);
    const QByteArray bytes = bill + DocumentWriter::escPos(*e.render(*PaperSize::fromCode(256)));
    const struct
    {
        const char *what;
        QByteArray expected;
    } cases[] = {
        {"a tall heading", QByteArray("\x1b!\x10") + QByteArray(14, ' ') + "** TAVOLO 3 **"},
        {"è in a row", "Caff\x8a 1"},
        {"è and û", "Cr\x8ame br\x96l\x82""e"},
        {"ä", "Sp\x84tzle"},
        {"Æ", "\x92""ble"},
        {"euro sign in its 858 place, middle dot and one half", "5\xd5 \xfa\xab"},
        {"a letter the page lacks", "\xab ?"},
    };
    for (const auto &c : cases)
        EXPECT_TRUE(bytes.contains(c.expected)) << c.what << ": " << bytes.toHex(' ').toStdString();
}

TEST(Renderer, AWordLongerThanItsLineIsCutIntoPiecesThatFitAndLoseNothing)
{
    const auto fits42 = [](const QString &t) { return t.size() <= 42; };
    const struct
    {
        const char *what;
        QString text;
        QString indent; // what every line begins with
    } cases[] = {
        {"one character too many", QString(43, u'x'), {}},
        {"a word of a hundred thousand characters", QString(100000, u'x'), {}},
        {"a long variation under its dish", u"      + "_s + QString(500, u'y'), u"      "_s},
        {"an indentation wider than the line", QString(50, u' ') + u"corto e "_s + QString(100, u'z'), {}},
    };
    for (const auto &c : cases) {
        const QStringList lines = ReportRenderer::wrapText(c.text, fits42);
        QString joined;
        for (const auto &l : lines) {
            EXPECT_LE(l.size(), 42) << c.what;
            EXPECT_TRUE(l.startsWith(c.indent)) << c.what;
            joined += l.mid(c.indent.size());
        }
        QString expected = c.text.mid(c.indent.size());
        expected.remove(u' ');
        joined.remove(u' ');
        EXPECT_EQ(joined, expected) << c.what;
    }
    // Every kind of line end ends a line, and none is left in a line.
    EXPECT_EQ(ReportRenderer::wrapText(u"Operatore: Marco\r\nMessaggio: ciao\rfine\nok"_s, fits42),
              QStringList({u"Operatore: Marco"_s, u"Messaggio: ciao"_s, u"fine"_s, u"ok"_s}));
}

TEST(Renderer, AHeadingWiderThanANarrowTicketIsDrawnSmallerNotCutAtThePaperEdge)
{
    ReportEngine e;
    ASSERT_TRUE(e.load(QStringLiteral(PLIKO_SOURCE_DATA_DIR "/StampeCustom.example-58mm.xml"), u"Preconto"_s));
    e.setFieldText(u"numeroTavolo"_s, u"** TAVOLO 12,13 **"_s);
    const RenderedDocument doc = *e.render(*PaperSize::fromCode(256));
    const QImage page = DocumentWriter::page(doc, 0, 203);
    const auto px = [](double twips) { return int(twips * 203 / 1440); };
    // The heading's band, from the top margin down to the time line; its field spans the text width.
    const int top = px(doc.marginTop);
    const int bottom = px(doc.marginTop + 480);
    const int left = px(doc.marginLeft);
    const int right = px(doc.marginLeft + doc.bodyWidth);
    int ink = 0;
    int atTheEdges = 0; // a heading cut at its field's edges leaves half-drawn stars there
    for (int y = top; y < bottom; ++y)
        for (int x = 0; x < page.width(); ++x)
            if (qGray(page.pixel(x, y)) < 128) {
                ++ink;
                if (x <= left + 2 || x >= right - 2)
                    ++atTheEdges;
            }
    EXPECT_EQ(atTheEdges, 0);
    EXPECT_GT(ink, 200); // and it is there
}

TEST(Renderer, ExpressionsJoinColumnsAndTexts)
{
    const QStringList row = {u""_s, u"2"_s, u"Pizza"_s};
    const auto col = [&row](int i) { return row.value(i); };
    EXPECT_EQ(ReportRenderer::evaluate(u"campo_1 & \" x \" & campo_2"_s, col), u"2 x Pizza"_s);
    EXPECT_EQ(ReportRenderer::evaluate(u"\"a & b\""_s, col), u"a & b"_s);
    EXPECT_EQ(ReportRenderer::evaluate(u"campo_41 & nome"_s, col), QString());
}

// ---- The common device set-up that pre-bills and lists use --------------------------------------

using CommonDeviceSetUp = PrintingFixture;

TEST_F(CommonDeviceSetUp, TheCommonSetUpPrintsOnThePreBillPrinterOnlyWhenThereIsSomethingToPrint)
{
    int filled = 0;
    frmStampeDocumenti::Documento d{.tipo = 7, .report = u"Preconto"_s, .subReport = u"Preconto SubReport"_s,
                                    .campi = {{u"numeroTavolo"_s, u"** TAVOLO 3 **"_s}}, .titolo = u"Preconto tavolo 3"_s,
                                    .dati = [&filled](cReportData &t) {
                                        ++filled;
                                        t.setColonne(10);
                                        t.setRighe(2);
                                        t.setDati(0, 1, u"1"_s);
                                        t.setDati(0, 2, u"Coperto"_s);
                                        return qint32(1);
                                    },
                                    .preparaSub = {}};
    using E = frmStampeDocumenti::Esito;
    EXPECT_EQ(frm->stampaDocumento(d), E::SenzaStampante);
    EXPECT_EQ(filled, 0);

    configura(7, u"Cassa"_s, u"Cassa|42"_s); // a page setting no paper answers to
    EXPECT_EQ(frm->stampaDocumento(d), E::ErroreStampante);
    EXPECT_EQ(ui.messages(), QStringList{frmStampeDocumenti::MsgImpostazioneStampante});

    configura(7, u"Cassa"_s, u"Cassa|0"_s);
    EXPECT_EQ(frm->stampaDocumento(d), E::Stampato);
    EXPECT_EQ(biglietti(u"Cassa"_s).size(), 1);
    EXPECT_TRUE(biglietti(u"Cassa"_s).value(0).contains(u"1 Coperto"_s));
    EXPECT_TRUE(biglietti(u"Cassa"_s).value(0).contains(u"** TAVOLO 3 **"_s));

    d.dati = [](cReportData &) { return qint32(0); };
    EXPECT_EQ(frm->stampaDocumento(d), E::NienteDaStampare);
    EXPECT_EQ(biglietti(u"Cassa"_s).size(), 1);
}
