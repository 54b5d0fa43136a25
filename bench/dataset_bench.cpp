// Loads a packet of the eighteen CSA fields into a dataset and copies it to a
// second one, as the approval screen does with its server and working copies.
#include "host/data/dataset.h"
#include "host/data/packetcodec.h"

#include <benchmark/benchmark.h>

#include <malloc.h>

using namespace Qt::StringLiterals;

using namespace aph;

namespace {

TFieldDefs CsaFields()
{
    const auto s = [](const char* n, int size) {
        return TFieldDef{QString::fromLatin1(n), TFieldType::ftString, size};
    };
    const auto f = [](const char* n) {
        return TFieldDef{QString::fromLatin1(n), TFieldType::ftFloat, 0};
    };
    return {s("CDGRPOCOR", 2),    s("CDOCORR", 2),
            s("DSOCORR", 40),     s("CDEMPRESA", 2),
            s("CDFUNC", 10),      s("CDCLIENTE", 21),
            s("NRSERVPREST", 5),  TFieldDef{u"DTSERVPREST"_s, TFieldType::ftDateTime, 0},
            s("CDTIPOSERV", 3),   s("NRAPURFATFAS", 10),
            f("QTHRAPRCOMIS"),    f("QTHRAPROFATU"),
            f("QTHRTRAB"),        s("NRVERPROPFAS", 2),
            s("NRPROPOSFAS", 20), s("NRSEQUCHT", 5),
            s("NRSERVCONT", 3),   s("INCLUSAO", 66)};
}

// Realistic content: codes, a long occurrence text on some days, an
// inclusion note on every row, approvals empty on a third of the days.
TDataPacket CsaPacket(int rows)
{
    TDataPacket p;
    p.Fields = CsaFields();
    p.Rows.reserve(static_cast<std::size_t>(rows));
    for (int i = 0; i < rows; ++i) {
        const auto str = [](const QString& t) {
            return Value::FromString(t);
        };
        const bool occurrence = i % 7 == 0;
        const bool approved = i % 3 != 0;
        const double worked = 4 + (i % 9) * 0.5;
        p.Rows.push_back(std::make_shared<const TRowValues>(TRowValues{
            occurrence ? str(u"01"_s) : Value(),
            occurrence ? str(u"%1"_s.arg(i % 20, 2, 10, QLatin1Char('0'))) : Value(),
            occurrence ? str(u"Hora extra autorizada pelo cliente"_s) : Value(),
            str(u"0%1"_s.arg(1 + i % 2)),
            str(u"%1"_s.arg(100000 + i / 40, 10, 10, QLatin1Char('0'))),
            str(u"%1"_s.arg(1000 + i % 300, 14, 10, QLatin1Char('0'))),
            str(u"%1"_s.arg(i % 99999, 5, 10, QLatin1Char('0'))), Value::FromNumber(45000 + i / 40),
            str(u"DEV"_s), str(u"%1"_s.arg(i, 10, 10, QLatin1Char('0'))),
            approved ? Value::FromNumber(worked) : Value(),
            approved ? Value::FromNumber(worked) : Value(), Value::FromNumber(worked), str(u"01"_s),
            str(u"PROP-%1/2024"_s.arg(i % 500)), i % 2 ? str(u"%1"_s.arg(i % 9999)) : Value(),
            str(u"00%1"_s.arg(i % 10)),
            str(u"Incluída por OPERADOR%1 em %2"_s.arg(i % 13).arg(i % 28 + 1))}));
    }
    return p;
}

// Bytes in use on the heap (glibc), so that memory freed by earlier runs
// and reused does not hide the rows' own cost.
std::size_t HeapInUse()
{
    return mallinfo2().uordblks + mallinfo2().hblkhd;
}

void DefineFields(TClientDataSet& ds)
{
    for (const TFieldDef& def : CsaFields())
        ds.AddField(def.Name, def.DataType, def.Size);
}

void BM_LoadPacket(benchmark::State& state)
{
    const TDataPacket packet = CsaPacket(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        TClientDataSet ds;
        DefineFields(ds);
        ds.SetData(packet);
        benchmark::DoNotOptimize(ds.RecordCount());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_CopyToIndexedDataSet(benchmark::State& state)
{
    TClientDataSet source;
    DefineFields(source);
    source.SetData(CsaPacket(static_cast<int>(state.range(0))));
    for (auto _ : state) {
        TClientDataSet copy;
        DefineFields(copy);
        copy.SetIndexFieldNames(u"DTSERVPREST"_s);
        copy.CopyDataFrom(source);
        benchmark::DoNotOptimize(copy.RecordCount());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_DecodeJsonPacket(benchmark::State& state)
{
    const QByteArray json = EncodePacket(CsaPacket(static_cast<int>(state.range(0))));
    for (auto _ : state) {
        TDataPacket p = DecodePacket(json);
        benchmark::DoNotOptimize(p.Rows.size());
    }
    state.SetBytesProcessed(state.iterations() * json.size());
}

// What the screen pays for a reply: the JSON text decoded and loaded.
void BM_LoadFromJson(benchmark::State& state)
{
    const QByteArray json = EncodePacket(CsaPacket(static_cast<int>(state.range(0))));
    for (auto _ : state) {
        TClientDataSet ds;
        DefineFields(ds);
        ds.SetData(DecodePacket(json));
        benchmark::DoNotOptimize(ds.RecordCount());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_EncodeJsonPacket(benchmark::State& state)
{
    const TDataPacket packet = CsaPacket(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        QByteArray json = EncodePacket(packet);
        benchmark::DoNotOptimize(json.size());
    }
}

// Memory of the rows themselves: heap in use before and after building a
// dataset of N rows (the source packet is released, so only the dataset's
// rows remain), and after copying it to a second dataset.
void BM_MemoryOfRows(benchmark::State& state)
{
    for (auto _ : state) {
        const std::size_t before = HeapInUse();
        TClientDataSet ds;
        DefineFields(ds);
        ds.SetData(CsaPacket(static_cast<int>(state.range(0))));
        const std::size_t loaded = HeapInUse();
        TClientDataSet copy;
        DefineFields(copy);
        copy.CopyDataFrom(ds);
        const std::size_t copied = HeapInUse();
        state.counters["rows_MiB"] = static_cast<double>(loaded - before) / (1024.0 * 1024.0);
        state.counters["copy_MiB"] = static_cast<double>(copied - loaded) / (1024.0 * 1024.0);
        benchmark::DoNotOptimize(copy.RecordCount());
    }
}

} // namespace

BENCHMARK(BM_LoadPacket)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopyToIndexedDataSet)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeJsonPacket)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadFromJson)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeJsonPacket)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemoryOfRows)->Arg(100000)->Iterations(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
