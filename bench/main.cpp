// talvesk_bench: the picture unit and the launcher against raw libjpeg-turbo, in one run.
//
//   talvesk_bench [google benchmark flags] [--talvesk_extra_rows=FILE]
//       runs the cases and prints the comparison table; rows measured by other tools (peak
//       memory) are read from FILE, tab-separated, and appended to it.
//   talvesk_bench write-sample baseline|progressive|gray:WIDTHxHEIGHT OUT.jpg
//       writes one of the generated test files.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "bench/bench_cases.h"
#include "bench/case_table.h"
#include "bench/sample_images.h"

namespace {

int WriteSample(const char* sampleName, const char* path) {
  bench::SampleFile item{};
  if (!bench::ParseSampleName(sampleName, item)) {
    std::fprintf(stderr, "talvesk_bench: bad sample '%s'\n", sampleName);
    return 2;
  }
  const bench::Bytes& bytes = bench::Sample(item);
  std::FILE* out = std::fopen(path, "wb");
  if (out == nullptr) {
    std::perror(path);
    return 1;
  }
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  if (std::fclose(out) != 0 || !written) {
    std::perror(path);
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "write-sample") == 0) {
    if (argc != 4) {
      std::fprintf(stderr, "usage: talvesk_bench write-sample KIND:WIDTHxHEIGHT OUT.jpg\n");
      return 2;
    }
    return WriteSample(argv[2], argv[3]);
  }

  std::vector<bench::TableRow> extraRows;
  std::vector<char*> args;
  const std::string extraFlag = "--talvesk_extra_rows=";
  for (int i = 0; i < argc; ++i) {
    if (std::strncmp(argv[i], extraFlag.c_str(), extraFlag.size()) == 0) {
      extraRows = bench::ReadRows(argv[i] + extraFlag.size());
    } else {
      args.push_back(argv[i]);
    }
  }
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 2;

  try {
    bench::RegisterDecodeCases();
    bench::RegisterCompressCases();
    bench::RegisterStretchCase();
    bench::RegisterStartupCase();
    bench::TableReporter reporter(std::move(extraRows));
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "talvesk_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
