// Throughput of the trace line, the decoder and the receive path. The receive
// path must cost in proportion to the new bytes, not to the reply buffer.
#include "link/reply_capture.h"
#include "link/trace.h"
#include "panel/form1.h"
#include "status/decoder.h"

#include <QApplication>
#include <QLabel>

#include <benchmark/benchmark.h>

namespace {

void traceLineOfFrame(benchmark::State& state) {
    const QByteArray frame("CF INPUT VIDEO S-VIDEO\r");
    for (auto _ : state)
        benchmark::DoNotOptimize(tavo::link::traceLine(frame));
}
BENCHMARK(traceLineOfFrame);

void decodeStatusReply(benchmark::State& state) {
    const QByteArray frame("CR0\r");
    const QString trace = tavo::link::traceLine("00\r");
    for (auto _ : state)
        benchmark::DoNotOptimize(tavo::status::decodeStatus(frame, {}, trace));
}
BENCHMARK(decodeStatusReply);

void decodePressureOnLongTrace(benchmark::State& state) {
    const QByteArray frame("CR PRESSURE\r");
    const QString trace = tavo::link::traceLine(QByteArray(state.range(0), '5'));
    for (auto _ : state)
        benchmark::DoNotOptimize(tavo::status::decodeStatus(frame, {}, trace));
}
BENCHMARK(decodePressureOnLongTrace)->Arg(16)->Arg(32767);

// One received piece of 16 bytes shown in a label, with the reply buffer
// already holding range(0) bytes.
void receivePieceIntoLabel(benchmark::State& state) {
    QLabel label;
    const QByteArray piece(16, 'A');
    for (auto _ : state) {
        state.PauseTiming();
        tavo::link::ReplyCapture capture;
        capture.append(QByteArray(state.range(0), 'A'));
        label.setText(capture.trace());
        state.ResumeTiming();
        capture.append(piece);
        label.setText(capture.trace());
    }
}
BENCHMARK(receivePieceIntoLabel)->Arg(0)->Arg(1024)->Arg(16384)->Arg(32000);

// A full buffer drops further bytes: a flood costs nothing once it is full.
void receivePieceIntoFullBuffer(benchmark::State& state) {
    tavo::link::ReplyCapture capture;
    capture.append(QByteArray(tavo::link::ReplyCapture::kCapacity, 'A'));
    const QByteArray piece(16, 'A');
    for (auto _ : state)
        benchmark::DoNotOptimize(capture.append(piece));
}
BENCHMARK(receivePieceIntoFullBuffer);

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
