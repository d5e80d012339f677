// Encode + decode of the messages the controller streams: camera images (320x240 is the
// simulator's camera, 640x480 a larger one), six-joint vectors and small command bottles.
// The writer and the receiving object are reused, as a port reuses them between messages.
#include <benchmark/benchmark.h>

#include <yarp/os/Bottle.h>
#include <yarp/sig/Image.h>
#include <yarp/sig/Vector.h>

namespace {

template <class T>
void roundTrip(benchmark::State& state, const T& sent, T& received)
{
    yarp::os::ConnectionWriter writer;
    for (auto _ : state) {
        writer.clear();
        if (!sent.write(writer)) {
            state.SkipWithError("encode failed");
            break;
        }
        yarp::os::ConnectionReader reader(writer.bytes().data(), writer.bytes().size());
        if (!received.read(reader)) {
            state.SkipWithError("decode failed");
            break;
        }
        benchmark::DoNotOptimize(received);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * writer.bytes().size()));
    state.SetItemsProcessed(state.iterations());
}

void BM_ImageEncodeDecode(benchmark::State& state)
{
    yarp::sig::ImageOf<yarp::sig::PixelRgb> sent;
    sent.resize(static_cast<std::size_t>(state.range(0)), static_cast<std::size_t>(state.range(1)));
    for (std::size_t i = 0; i < sent.getRawImageSize(); ++i) {
        sent.getRawImage()[i] = static_cast<unsigned char>(i * 7);
    }
    yarp::sig::ImageOf<yarp::sig::PixelRgb> received;
    roundTrip(state, sent, received);
}
BENCHMARK(BM_ImageEncodeDecode)->Args({320, 240})->Args({640, 480});

void BM_VectorEncodeDecode(benchmark::State& state)
{
    const yarp::sig::Vector sent{0.1, -0.2, 0.3, 1.5, -2.5, 3.0};
    yarp::sig::Vector received;
    roundTrip(state, sent, received);
}
BENCHMARK(BM_VectorEncodeDecode);

void BM_BottleEncodeDecode(benchmark::State& state)
{
    yarp::os::Bottle sent;
    sent.addString("world");
    sent.addString("set");
    sent.addString("ball");
    sent.addFloat64(-0.15);
    sent.addFloat64(0.553);
    sent.addFloat64(0.35);
    yarp::os::Bottle received;
    roundTrip(state, sent, received);
}
BENCHMARK(BM_BottleEncodeDecode);

void BM_BottleTextRoundTrip(benchmark::State& state)
{
    const yarp::os::Bottle sent("world set ball -0.15 0.553 0.35");
    yarp::os::Bottle received;
    for (auto _ : state) {
        received.fromString(sent.toString());
        benchmark::DoNotOptimize(received);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BottleTextRoundTrip);

} // namespace

BENCHMARK_MAIN();
