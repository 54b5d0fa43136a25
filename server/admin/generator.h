#pragma once

#include <QtGlobal>

namespace aph {

class TStorage;

// A small, realistic data set, the same at every run: four clients, five
// proposals, contracted services billed by the hour (H), at a fixed value
// (F) and as a package (P), seven employees of two companies, January and
// February 2025 of CSAs with gaps, weekends and overtime, occurrences, and
// January's CHTs in each situation (P, A, R, N). February has no CHT yet.
void GenerateDemo(TStorage& storage);

// `csaCount` CSAs over nine months from January 2025, with clients,
// proposals, services and employees in proportion (about 190 CSAs per
// employee and service). The first three months are in CHTs; the rest is
// not. For benchmarks; deterministic.
void GenerateScale(TStorage& storage, qint64 csaCount);

} // namespace aph
