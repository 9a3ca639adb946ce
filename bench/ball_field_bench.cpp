// Micro-benchmarks for placing and moving the ball field.
#include "saver/ball_field.h"

#include <benchmark/benchmark.h>

namespace {

constexpr ClientRect kScreen{0, 0, 1920, 1080};
constexpr int32_t kBallCount = 30;

void moveThirtyBalls(benchmark::State& state)
{
    seedRandom(ballField, 1);
    placeBalls(ballField, kScreen, kBallCount, 2, 1, 1080);
    for (auto _ : state) {
        moveBalls(ballField, kScreen);
        benchmark::ClobberMemory();
    }
    benchmark::DoNotOptimize(ballField.x[0]);
    state.SetItemsProcessed(state.iterations() * kBallCount);
}
BENCHMARK(moveThirtyBalls);

void placeThirtyBalls(benchmark::State& state)
{
    for (auto _ : state) {
        seedRandom(ballField, 1);
        placeBalls(ballField, kScreen, kBallCount, 2, 1, 1080);
        benchmark::ClobberMemory();
    }
    benchmark::DoNotOptimize(ballField.x[0]);
    state.SetItemsProcessed(state.iterations() * kBallCount);
}
BENCHMARK(placeThirtyBalls);

}  // namespace
