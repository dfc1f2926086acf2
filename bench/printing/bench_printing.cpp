// SPDX-License-Identifier: GPL-3.0-or-later
// Rendering a 40-line kitchen ticket (layout, then PDF or text) and the memory a ticket table takes.
#include "DocumentWriter.h"
#include "ReportEngine.h"
#include "ReportRenderer.h"
#include "cReportData.h"
#include "frmStampeDocumenti.h"

#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

QString layoutFile()
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(u"stampeRestaurant.xml"_s);
}

// 40 dishes over three courses, every fourth with a variation.
void fillTicket(cReportData &t)
{
    t.setColonne(10);
    t.setRighe(41);
    qint16 row = 0;
    for (int i = 0; i < 40; ++i) {
        const QString course = u"Turno "_s + QString::number(1 + i * 3 / 40);
        t.setDati(row, 1, QString::number(1 + i % 3));
        t.setDati(row, 2, u"Spaghetti alla carbonara "_s + QString::number(i));
        t.setDati(row, 3, course);
        if (i % 4 == 0) {
            t.addRighe(1);
            ++row;
            t.setDati(row, 2, u"      + Senza cipolla"_s);
            t.setDati(row, 3, course);
        }
        ++row;
    }
}

std::optional<RenderedDocument> renderTicket(const PaperSize &paper)
{
    ReportEngine main;
    ReportEngine sub;
    main.load(layoutFile(), u"Comanda"_s);
    sub.load(layoutFile(), u"Comanda SubReport"_s);
    main.setFieldText(u"numeroTavolo"_s, u"** TAVOLO 12 **"_s);
    main.setFieldText(u"oraComanda"_s, u"Comanda delle ore: 20:15"_s);
    main.setFieldText(u"operatore"_s, u"Cameriere: Marco"_s);
    cReportData data;
    fillTicket(data);
    sub.setRecordset(&data);
    main.setSubreport(u"Comanda SubReport"_s, &sub);
    frmStampeDocumenti::aggiungiGruppoTurni(sub);
    return main.render(paper);
}

void BM_KitchenTicketToPdf(benchmark::State &state)
{
    const PaperSize paper = *PaperSize::fromCode(int(state.range(0)));
    qint64 bytes = 0;
    for (auto _ : state) {
        const auto doc = renderTicket(paper);
        const QByteArray pdf = DocumentWriter::pdf(*doc, u"Comanda"_s);
        bytes = pdf.size();
        benchmark::DoNotOptimize(pdf.constData());
    }
    state.counters["pdf_bytes"] = double(bytes);
}
BENCHMARK(BM_KitchenTicketToPdf)->Arg(256)->Arg(9)->Unit(benchmark::kMillisecond);

void BM_KitchenTicketToText(benchmark::State &state)
{
    const PaperSize paper = *PaperSize::fromCode(256);
    for (auto _ : state) {
        const auto doc = renderTicket(paper);
        const QByteArray text = DocumentWriter::escPos(*doc);
        benchmark::DoNotOptimize(text.constData());
    }
}
BENCHMARK(BM_KitchenTicketToText)->Unit(benchmark::kMicrosecond);

// One unbroken word of n characters (a note that is one long word) wrapped to a ticket's width: by
// the font's measure, as the PDF is laid out, and by characters, as the thermal printer's text is.
void BM_WrapOneLongWord(benchmark::State &state)
{
    const QString word(qsizetype(state.range(0)), u'Z');
    FontSpec font;
    font.size = 10;
    qsizetype lines = 0;
    for (auto _ : state) {
        const QStringList measured = ReportRenderer::wrap(word, font, 4080);
        const QStringList counted = ReportRenderer::wrapText(word, [](const QString &t) { return t.size() <= 42; });
        lines = measured.size() + counted.size();
        benchmark::DoNotOptimize(lines);
    }
    state.counters["lines"] = double(lines);
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_WrapOneLongWord)->Arg(1000)->Arg(10000)->Arg(100000)->Complexity()->Unit(benchmark::kMillisecond);

size_t heapInUse()
{
    return mallinfo2().uordblks;
}

// Heap a ticket table takes: fresh, and holding rows of three cells (a quantity, a dish, a course).
void BM_ReportDataMemory(benchmark::State &state)
{
    const int rows = int(state.range(0));
    double bytes = 0;
    for (auto _ : state) {
        const size_t before = heapInUse();
        auto t = std::make_unique<cReportData>();
        t->setColonne(10);
        t->setRighe(qint16(rows + 1));
        for (qint16 r = 0; r < rows; ++r) {
            t->setDati(r, 1, QString::number(r % 3 + 1));
            t->setDati(r, 2, u"Spaghetti alla carbonara"_s);
            t->setDati(r, 3, u"Turno 1"_s);
        }
        bytes = double(heapInUse() - before);
        benchmark::DoNotOptimize(t.get());
    }
    state.counters["heap_bytes"] = bytes;
}
BENCHMARK(BM_ReportDataMemory)->Arg(0)->Arg(2000)->Iterations(3);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
