// SPDX-License-Identifier: GPL-3.0-or-later
// The radio link over a pseudo-terminal pair, the serial driver against the emulated access point:
// one poll (request "R", reply "z"), one poll that carries a 2000-byte table list back, and the
// transfer of a 100 KB menu database in 512-byte chunks.
//
//   bench_nano --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
//
// The frame reader alone is measured too (a 2000-byte frame split in noise), since it runs on
// every byte the device sends.
#include "ApFrame.h"
#include "DuvuSim.h"
#include "SerialAccessPoint.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

using namespace Qt::StringLiterals;

namespace {

struct Link
{
    Link()
    {
        sim.openPty();
        sim.start();
        SerialAccessPoint::Settings s;
        s.devices.insert(1, sim.devicePath());
        driver = std::make_unique<SerialAccessPoint>(s);
        driver->Dll_OpenSerial(1);
    }
    DuvuSim sim;
    std::unique_ptr<SerialAccessPoint> driver;
};

void BM_PollNothingWaiting(benchmark::State &state)
{
    Link link;
    QByteArray buffer;
    qint32 length = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(link.driver->Dll_RxManager(buffer, length));
        if (!link.driver->lastCallAnswered())
            state.SkipWithError("no reply");
    }
}
BENCHMARK(BM_PollNothingWaiting)->Unit(benchmark::kMicrosecond);

void BM_TableListReply(benchmark::State &state)
{
    Link link;
    const QByteArray list = "1|2|3|4|5|" + QByteArray(1990, ' ');
    for (auto _ : state) {
        link.driver->Dll_SendTblList(list);
        if (!link.driver->lastCallAnswered())
            state.SkipWithError("no reply");
    }
    state.SetBytesProcessed(state.iterations() * list.size());
}
BENCHMARK(BM_TableListReply)->Unit(benchmark::kMicrosecond);

void BM_Transfer100KB(benchmark::State &state)
{
    Link link;
    QTemporaryDir dir;
    const QString path = dir.filePath(u"DBRestaurantNano.txt"_s);
    QByteArray content;
    for (int i = 0; content.size() < 100 * 1024; ++i)
        content += "P" + QByteArray::number(i) + "|Spaghetti allo scoglio|3|12,00|12,00|12,00|12,00|12,00|12,00;\r\n";
    content.truncate(100 * 1024);
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(content);
    f.close();
    for (auto _ : state) {
        if (link.driver->Dll_OpenDataBase(path) != 1) {
            state.SkipWithError("not accepted");
            break;
        }
        qint32 p = 0;
        while (p < 100 && link.driver->lastCallAnswered())
            p = link.driver->Dll_SendDataBase();
        if (p < 100)
            state.SkipWithError("transfer failed");
    }
    state.SetBytesProcessed(state.iterations() * content.size());
}
BENCHMARK(BM_Transfer100KB)->Unit(benchmark::kMillisecond);

void BM_FrameReader(benchmark::State &state)
{
    const QByteArray frame = apframe::encode('m', "l" + QByteArray(1999, '7'));
    const QByteArray line = "\x03noise\x02Zq" + frame + "\x01\x01" + frame;
    for (auto _ : state) {
        QByteArray buffer = line;
        benchmark::DoNotOptimize(apframe::parseFrames(buffer));
    }
    state.SetBytesProcessed(state.iterations() * line.size());
}
BENCHMARK(BM_FrameReader);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
