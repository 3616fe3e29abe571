// Preference store: writing and reading many keys of one dictionary (a key
// lookup per access, so the total must grow linearly), and loading and
// saving a store of that size.
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include "base/ZGXTString.h"
#include "prefs/ZGXPreferences.h"

namespace {

std::vector<CZGXTString> Keys(int64_t n)
{
    std::vector<CZGXTString> keys;
    for (int64_t i = 0; i < n; ++i)
        keys.push_back(StrFormat("Profiles//Custom/List%lld/Value", static_cast<long long>(i)));
    return keys;
}

void BM_WriteThenReadKeys(benchmark::State& state)
{
    const std::vector<CZGXTString> keys = Keys(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        CZGXPreferences prefs("Bench");
        CZGXTString error;
        prefs.Load(error);
        state.ResumeTiming();
        for (size_t i = 0; i < keys.size(); ++i)
            prefs.WriteInt(keys[i], int32_t(i));
        int32_t sum = 0;
        for (const CZGXTString& k : keys) {
            int32_t v = 0;
            prefs.ReadInt(k, v);
            sum += v;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetComplexityN(state.range(0));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_WriteThenReadKeys)->RangeMultiplier(4)->Range(64, 65536)->Complexity(benchmark::oN);

void BM_SaveAndLoad(benchmark::State& state)
{
    const std::vector<CZGXTString> keys = Keys(state.range(0));
    {
        CZGXPreferences prefs("BenchLoad");
        CZGXTString error;
        prefs.Load(error);
        for (size_t i = 0; i < keys.size(); ++i)
            prefs.WriteString(keys[i], "C:/some/path/to/a/file.qef");
        prefs.Save();
    }
    for (auto _ : state) {
        CZGXPreferences prefs("BenchLoad");
        CZGXTString error;
        benchmark::DoNotOptimize(prefs.Load(error));
        prefs.Save(true);
    }
    state.SetComplexityN(state.range(0));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_SaveAndLoad)->RangeMultiplier(8)->Range(64, 32768)->Complexity(benchmark::oN);

} // namespace

int main(int argc, char** argv)
{
    // The stores live in a temporary folder, never in the user's.
    QTemporaryDir dir;
    CZGXPreferences::SetBaseFolder(ePrefUser, dir.path().toStdString());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
