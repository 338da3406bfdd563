#pragma once
// Registration of every benchmark case with Google Benchmark and with the comparison table.
namespace bench {

void RegisterDecodeCases();
void RegisterCompressCases();
void RegisterStretchCase();
void RegisterStartupCase();

}  // namespace bench
