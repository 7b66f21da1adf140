#include "Vigilor/Config/VigilorConfig.h"

#include <benchmark/benchmark.h>

static void BM_VigilorConfigEncode(benchmark::State& state) {
    const VigilorConfig config;
    for (auto _ : state)
        benchmark::DoNotOptimize(jsonText(config.toJSON()));
}
BENCHMARK(BM_VigilorConfigEncode);

static void BM_VigilorConfigDecode(benchmark::State& state) {
    const Json object = *parseJson(jsonText(VigilorConfig().toJSON()));
    for (auto _ : state)
        benchmark::DoNotOptimize(VigilorConfig::fromJSON(object));
}
BENCHMARK(BM_VigilorConfigDecode);

static void BM_VigilorConfigParseAndDecode(benchmark::State& state) {
    const std::string text = jsonText(VigilorConfig().toJSON());
    for (auto _ : state)
        benchmark::DoNotOptimize(VigilorConfig::fromJSON(*parseJson(text)));
}
BENCHMARK(BM_VigilorConfigParseAndDecode);

// An object with 16,000 keys (about 140 KB): linear, where a key-by-key search made it quadratic.
static void BM_ParseObjectWith16000Keys(benchmark::State& state) {
    std::string text = "{";
    for (int i = 0; i < 16'000; ++i)
        text += (i ? ",\"" : "\"") + std::to_string(i) + "-key\":" + std::to_string(i);
    text += "}";
    for (auto _ : state)
        benchmark::DoNotOptimize(parseJson(text));
}
BENCHMARK(BM_ParseObjectWith16000Keys)->Unit(benchmark::kMillisecond);
