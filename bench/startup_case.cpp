// Launcher start-up: from starting the process to its first complete frame, headless (SDL's
// dummy video driver), on a disc of six titles with 1920 x 1080 covers, against six raw decodes
// of such a cover measured in the same run. The first frame is caught by a preloaded probe
// (first_frame_probe.cpp) that timestamps it and ends the process.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench_cases.h"
#include "bench/case_table.h"
#include "bench/raw_codec.h"
#include "bench/sample_images.h"
#include "bench/unit_support.h"
#include "framework/graphics/canvas.h"

extern char** environ;

namespace bench {

#ifdef TALVESK_FIRST_FRAME_PROBE
namespace {

namespace fs = std::filesystem;

constexpr int kTitles = 6, kTile = 105;
// Top-left corners of the six picture tiles in the launcher's client area (its layout).
constexpr int kTileOrigins[kTitles][2] = {{8, 8},   {120, 8},   {232, 8},
                                          {8, 168}, {120, 168}, {232, 168}};
const SampleFile kCover{SampleKind::Baseline, 1920, 1080};
const char kLauncher[] = TALVESK_BINARY_DIR "/launcher/talvesk";

std::int64_t MonotonicNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// A disc of six titles, each a folder with the cover "1.jpg", mounted as drive D: of a
// Wine-style prefix so that the program starts at a drive's root as it does from a real disc.
// Everything is removed at exit.
class Disc {
 public:
  Disc() {
    char pattern[] = "/tmp/talvesk-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) return;
    root_ = pattern;
    const fs::path disc = Root(), devices = Prefix() / "dosdevices";
    fs::create_directories(disc);
    fs::create_directories(devices);
    fs::create_directory_symlink(disc, devices / "d:");
    // The program sits at the disc's root, as on a real disc (it finds the titles from there).
    fs::copy_file(kLauncher, disc / "talvesk");
    const Bytes& cover = Sample(kCover);
    for (int i = 1; i <= kTitles; ++i) {
      const fs::path title = disc / ("Title " + std::to_string(i));
      fs::create_directory(title);
      std::ofstream(title / "1.jpg", std::ios::binary)
          .write(reinterpret_cast<const char*>(cover.data()),
                 static_cast<std::streamsize>(cover.size()));
    }
  }
  ~Disc() {
    std::error_code ignored;
    if (!root_.empty()) fs::remove_all(root_, ignored);
  }
  Disc(const Disc&) = delete;
  Disc& operator=(const Disc&) = delete;

  fs::path Root() const { return root_ / "disc"; }
  fs::path Prefix() const { return root_ / "prefix"; }
  // Scratch files of the runs, outside the disc.
  fs::path Scratch(const char* name) const { return root_ / name; }

 private:
  fs::path root_;
};

const Disc& TheDisc() {
  static const Disc disc;
  return disc;
}

struct Launch {
  std::string error;
  double wallMs = 0, cpuMs = 0;
  int width = 0, height = 0;
  std::vector<std::uint32_t> frame;  // 0x00RRGGBB
};

std::string LastLine(const fs::path& log) {
  std::ifstream in(log);
  std::string line, last;
  while (std::getline(in, line))
    if (!line.empty()) last = line;
  return last;
}

Launch RunLauncher() {
  Launch result;
  const Disc& disc = TheDisc();
  const fs::path root = disc.Root();
  const std::string binary = (root / "talvesk").string();
  const fs::path probeOut = disc.Scratch("first-frame"), log = disc.Scratch("launcher.log");
  fs::remove(probeOut);

  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    if (entry.rfind("SDL_VIDEODRIVER=", 0) != 0 && entry.rfind("LD_PRELOAD=", 0) != 0 &&
        entry.rfind("WINEPREFIX=", 0) != 0)
      env.push_back(entry);
  }
  env.push_back("WINEPREFIX=" + disc.Prefix().string());
  env.push_back("SDL_VIDEODRIVER=dummy");
  env.push_back("LD_PRELOAD=" TALVESK_FIRST_FRAME_PROBE);
  env.push_back("TALVESK_FIRST_FRAME_PROBE=" + probeOut.string());
  std::vector<char*> envp;
  for (auto& entry : env) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::string argv0 = binary;
  char* argv[] = {argv0.data(), nullptr};

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addchdir_np(&actions, root.c_str());
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t pid = 0;
  const std::int64_t start = MonotonicNs();
  const int spawned = posix_spawn(&pid, binary.c_str(), &actions, nullptr, argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    result.error = "cannot start " + binary;
    return result;
  }
  int status = 0;
  const std::int64_t deadline = start + 30'000'000'000;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (MonotonicNs() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      result.error = "launcher showed no frame within 30 s";
      return result;
    }
    usleep(1000);
  }

  std::ifstream in(probeOut, std::ios::binary);
  long long frameNs = 0, cpuNs = 0;
  std::string header;
  if (!std::getline(in, header) || std::sscanf(header.c_str(), "%lld %lld %d %d", &frameNs, &cpuNs,
                                               &result.width, &result.height) != 4) {
    result.error = "launcher ended without a frame: " + LastLine(log);
    return result;
  }
  result.wallMs = static_cast<double>(frameNs - start) / 1e6;
  result.cpuMs = static_cast<double>(cpuNs) / 1e6;
  result.frame.resize(static_cast<std::size_t>(result.width) * result.height);
  in.read(reinterpret_cast<char*>(result.frame.data()),
          static_cast<std::streamsize>(result.frame.size() * 4));
  return result;
}

// Empty when every tile of the frame shows the cover as the framework draws it.
std::string CheckTiles(const Launch& launch) {
  const Bytes& file = Sample(kCover);
  const auto bitmap = BitmapOf(RawDecode(file.data(), file.size(), Decode24()), false);
  std::vector<std::uint32_t> tile(kTile * kTile);
  TCanvas canvas(TSurface{tile.data(), kTile, kTile, kTile});
  canvas.StretchDraw(TRect{0, 0, kTile, kTile}, bitmap.get());
  for (const auto& origin : kTileOrigins) {
    if (origin[0] + kTile > launch.width || origin[1] + kTile > launch.height)
      return "first frame is smaller than the window";
    for (int y = 0; y < kTile; ++y)
      for (int x = 0; x < kTile; ++x) {
        const std::uint32_t want = tile[static_cast<std::size_t>(y * kTile + x)];
        const std::uint32_t got =
            launch.frame[static_cast<std::size_t>((origin[1] + y) * launch.width + origin[0] + x)];
        for (int shift = 0; shift < 24; shift += 8) {
          const int a = static_cast<int>((want >> shift) & 0xFF);
          const int b = static_cast<int>((got >> shift) & 0xFF);
          if (a - b > 3 || b - a > 3) return "first frame does not show the covers";
        }
      }
  }
  return {};
}

void BM_LauncherStartup(benchmark::State& state, bool cpuTime) {
  if (access(kLauncher, X_OK) != 0) {
    state.SkipWithError("launcher not built");
    return;
  }
  const Launch first = RunLauncher();
  if (!first.error.empty()) {
    state.SkipWithError(first.error.c_str());
    return;
  }
  state.SetLabel(CheckTiles(first));
  for (auto _ : state) {
    const Launch launch = RunLauncher();
    if (!launch.error.empty()) {
      state.SkipWithError(launch.error.c_str());
      break;
    }
    state.SetIterationTime((cpuTime ? launch.cpuMs : launch.wallMs) / 1e3);
  }
}

void BM_SixRawDecodes(benchmark::State& state) {
  const Bytes& file = Sample(kCover);
  for (auto _ : state) {
    for (int i = 0; i < kTitles; ++i) {
      RawImage image = RawDecode(file.data(), file.size(), Decode24());
      benchmark::DoNotOptimize(image.pixels.get());
    }
  }
}

}  // namespace

void RegisterStartupCase() {
  benchmark::RegisterBenchmark("launcher_startup/unit",
                               [](benchmark::State& s) { BM_LauncherStartup(s, false); })
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("launcher_startup/unit_cpu",
                               [](benchmark::State& s) { BM_LauncherStartup(s, true); })
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("launcher_startup/raw", BM_SixRawDecodes)
      ->Unit(benchmark::kMillisecond);
  AddCase({"launcher start -> first frame, 6 covers 1920x1080", "launcher_startup/unit",
           "launcher_startup/raw", TargetKind::PlusMillis, 80, Clock::Wall, Clock::Wall,
           "wall clock, headless", ""});
  AddCase({"  same, CPU time of the launcher process", "launcher_startup/unit_cpu",
           "launcher_startup/raw", TargetKind::Info, 0, Clock::Wall, Clock::Cpu,
           "CPU time to the first frame", ""});
}
#else
void RegisterStartupCase() {}  // no probe without SDL2's headers
#endif

}  // namespace bench
