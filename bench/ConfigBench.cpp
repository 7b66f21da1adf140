#include "Foundation/AtomicFile.h"
#include "Foundation/DefaultsStore.h"
#include "Support/TemporaryHome.h"
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

// Reading a settings file of N keys and listing the domain, as the widget reads the shared suite: linear
// in N, where inserting the keys one by one into the order-keeping object made it quadratic. Each
// iteration reads a file of its own, since the store keeps a domain once read.
static void BM_ReadDomainAndListItsKeys(benchmark::State& state) {
    const TemporaryHome home;
    std::string text = "{";
    for (int64_t i = 0; i < state.range(0); ++i)
        text += (i ? ",\"" : "\"") + std::to_string(i) + "-key\":" + std::to_string(i);
    text += "}";
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::string name = "domain" + std::to_string(++round);
        const DefaultsStore store = DefaultsStore::suite({name});
        AtomicFile::write(store.file(), text);
        state.ResumeTiming();
        benchmark::DoNotOptimize(store.dictionaryRepresentation());
    }
}
BENCHMARK(BM_ReadDomainAndListItsKeys)
    ->Arg(1'000)
    ->Arg(10'000)
    ->Arg(60'000)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);
