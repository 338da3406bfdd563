// Launcher start-up: from starting the process to its first complete frame, headless (SDL's
// dummy video driver), on discs of six titles with 1920 x 1080 and with 4000 x 3000 covers,
// against six raw decodes of such a cover, one after another, measured in the same run. The
// first frame is caught by a preloaded probe (first_frame_probe.cpp) that timestamps it and ends
// the process. The launcher decodes its covers on worker threads, one per core: its CPU time is
// judged against the decodes' (it may not do much more work), its wall clock with the large
// covers against theirs (it must be much quicker), and shown against its own with decoding ahead
// off. The wall clock is judged only when the machine is quiet: the CPU time that other
// processes took during the launches is measured too.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
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
const SampleFile kHdCover{SampleKind::Baseline, 1920, 1080};
const SampleFile kLargeCover{SampleKind::Baseline, 4000, 3000};
const char kLauncher[] = TALVESK_BINARY_DIR "/launcher/talvesk";
// The wall clock is not judged when other processes took this many cores on average during
// the launches: the launcher's decodes need every core.
constexpr double kBusyCores = 0.25;

std::int64_t MonotonicNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// Seconds of CPU time that the whole machine spent busy (steal included: another guest's).
double MachineBusySeconds() {
  std::ifstream in("/proc/stat");
  std::string cpu;
  unsigned long long user = 0, nice = 0, system = 0, idle = 0, iowait = 0, irq = 0, softirq = 0,
                     steal = 0;
  in >> cpu >> user >> nice >> system >> idle >> iowait >> irq >> softirq >> steal;
  static const double ticksPerSecond = static_cast<double>(sysconf(_SC_CLK_TCK));
  return static_cast<double>(user + nice + system + irq + softirq + steal) / ticksPerSecond;
}

double Seconds(const timeval& time) {
  return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
}

double OwnCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
}

// A disc of six titles, each a folder with the cover "1.jpg", mounted as drive D: of a
// Wine-style prefix so that the program starts at a drive's root as it does from a real disc.
// Everything is removed at exit.
class Disc {
 public:
  explicit Disc(const SampleFile& coverFile) : coverFile_(coverFile) {
    char pattern[] = "/tmp/talvesk-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) return;
    root_ = pattern;
    const fs::path disc = Root(), devices = Prefix() / "dosdevices";
    fs::create_directories(disc);
    fs::create_directories(devices);
    fs::create_directory_symlink(disc, devices / "d:");
    // The program sits at the disc's root, as on a real disc (it finds the titles from there).
    fs::copy_file(kLauncher, disc / "talvesk");
    const Bytes& cover = Sample(coverFile_);
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

  const SampleFile& CoverFile() const { return coverFile_; }
  fs::path Root() const { return root_ / "disc"; }
  fs::path Prefix() const { return root_ / "prefix"; }
  // Scratch files of the runs, outside the disc.
  fs::path Scratch(const char* name) const { return root_ / name; }

 private:
  SampleFile coverFile_;
  fs::path root_;
};

// One disc per cover size, made on first use.
const Disc& DiscWith(const SampleFile& cover) {
  static std::map<int, std::unique_ptr<Disc>> discs;
  auto& disc = discs[cover.width];
  if (!disc) disc = std::make_unique<Disc>(cover);
  return *disc;
}

struct Launch {
  std::string error;
  double wallMs = 0, cpuMs = 0;
  // CPU time that other processes took from the start to the end of the launcher's process.
  double othersCpuMs = 0, spanMs = 0;
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

// workers: the launcher's TALVESK_DECODE_WORKERS; empty for its own choice, one per core.
Launch RunLauncher(const Disc& disc, const std::string& workers) {
  Launch result;
  const fs::path root = disc.Root();
  const std::string binary = (root / "talvesk").string();
  const fs::path probeOut = disc.Scratch("first-frame"), log = disc.Scratch("launcher.log");
  fs::remove(probeOut);

  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    if (entry.rfind("SDL_VIDEODRIVER=", 0) != 0 && entry.rfind("LD_PRELOAD=", 0) != 0 &&
        entry.rfind("WINEPREFIX=", 0) != 0 && entry.rfind("TALVESK_DECODE_WORKERS=", 0) != 0)
      env.push_back(entry);
  }
  if (!workers.empty()) env.push_back("TALVESK_DECODE_WORKERS=" + workers);
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
  const double busyBefore = MachineBusySeconds(), ownBefore = OwnCpuSeconds();
  const std::int64_t start = MonotonicNs();
  const int spawned = posix_spawn(&pid, binary.c_str(), &actions, nullptr, argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    result.error = "cannot start " + binary;
    return result;
  }
  int status = 0;
  rusage child{};
  const std::int64_t deadline = start + 30'000'000'000;
  while (wait4(pid, &status, WNOHANG, &child) == 0) {
    if (MonotonicNs() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      result.error = "launcher showed no frame within 30 s";
      return result;
    }
    usleep(1000);
  }
  result.spanMs = static_cast<double>(MonotonicNs() - start) / 1e6;
  result.othersCpuMs = (MachineBusySeconds() - busyBefore - (OwnCpuSeconds() - ownBefore) -
                        Seconds(child.ru_utime) - Seconds(child.ru_stime)) *
                       1e3;

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
std::string CheckTiles(const Launch& launch, const SampleFile& cover) {
  const Bytes& file = Sample(cover);
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

// Reports the wall clock to the first frame as the benchmark's time, and as counters the
// launcher's CPU time to it ("cpu_ms") and the cores that other processes kept busy meanwhile
// ("others_cores").
void BM_LauncherStartup(benchmark::State& state, const SampleFile& cover,
                        const std::string& workers) {
  if (access(kLauncher, X_OK) != 0) {
    state.SkipWithError("launcher not built");
    return;
  }
  const Disc& disc = DiscWith(cover);
  const Launch first = RunLauncher(disc, workers);
  if (!first.error.empty()) {
    state.SkipWithError(first.error.c_str());
    return;
  }
  state.SetLabel(CheckTiles(first, cover));
  double cpuMs = 0, othersCpuMs = 0, spanMs = 0;
  for (auto _ : state) {
    const Launch launch = RunLauncher(disc, workers);
    if (!launch.error.empty()) {
      state.SkipWithError(launch.error.c_str());
      break;
    }
    state.SetIterationTime(launch.wallMs / 1e3);
    cpuMs += launch.cpuMs;
    othersCpuMs += launch.othersCpuMs;
    spanMs += launch.spanMs;
  }
  const auto runs = static_cast<double>(state.iterations());
  state.counters["cpu_ms"] = runs > 0 ? cpuMs / runs : 0.0;
  state.counters["others_cores"] = spanMs > 0 ? std::max(othersCpuMs, 0.0) / spanMs : 0.0;
}

// Six decodes of the cover one after another, as the launcher did before it had workers (each
// into the reused memory of every raw decode).
void BM_SixRawDecodes(benchmark::State& state, const SampleFile& cover) {
  const Bytes& file = Sample(cover);
  for (auto _ : state) {
    for (int i = 0; i < kTitles; ++i) {
      RawImage image = RawDecode(file.data(), file.size(), Decode24());
      benchmark::DoNotOptimize(image.pixels.get());
    }
  }
}

void RegisterLauncher(const std::string& id, const SampleFile& cover, const std::string& workers) {
  benchmark::RegisterBenchmark(
      id.c_str(), [cover, workers](benchmark::State& s) { BM_LauncherStartup(s, cover, workers); })
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond);
}

void RegisterRawDecodes(const std::string& id, const SampleFile& cover) {
  benchmark::RegisterBenchmark(id.c_str(), [cover](benchmark::State& s) {
    BM_SixRawDecodes(s, cover);
  })->Unit(benchmark::kMillisecond);
}

}  // namespace

void RegisterStartupCase() {
  RegisterLauncher("launcher_1920x1080/unit", kHdCover, "");
  RegisterRawDecodes("launcher_1920x1080/raw", kHdCover);
  RegisterLauncher("launcher_4000x3000/unit", kLargeCover, "");
  RegisterLauncher("launcher_4000x3000/unit_no_workers", kLargeCover, "0");
  RegisterRawDecodes("launcher_4000x3000/raw", kLargeCover);

  CaseDefinition hdCpu{"launcher start -> first frame, 6 covers 1920x1080",
                       "launcher_1920x1080/unit",
                       "launcher_1920x1080/raw",
                       TargetKind::PlusMillis,
                       80,
                       Clock::Cpu,
                       Clock::Cpu,
                       "CPU time of the launcher process, all threads"};
  hdCpu.unitCounter = "cpu_ms";
  AddCase(hdCpu);
  AddCase({"  same, wall clock", "launcher_1920x1080/unit", "launcher_1920x1080/raw",
           TargetKind::Info, 0, Clock::Wall, Clock::Wall, "headless"});
  CaseDefinition large{"launcher start -> first frame, 6 covers 4000x3000",
                       "launcher_4000x3000/unit",
                       "launcher_4000x3000/raw",
                       TargetKind::Ratio,
                       0.6,
                       Clock::Wall,
                       Clock::Wall,
                       "wall clock, headless; raw: one after another"};
  large.busyCounter = "others_cores";
  large.busyLimit = kBusyCores;
  AddCase(large);
  AddCase({"  same, against the launcher decoding on one thread", "launcher_4000x3000/unit",
           "launcher_4000x3000/unit_no_workers", TargetKind::Info, 0, Clock::Wall, Clock::Wall,
           "TALVESK_DECODE_WORKERS=0"});
  CaseDefinition largeCpu{"  same, CPU time of the launcher process",
                          "launcher_4000x3000/unit",
                          "launcher_4000x3000/raw",
                          TargetKind::Info,
                          0,
                          Clock::Cpu,
                          Clock::Cpu,
                          "all threads"};
  largeCpu.unitCounter = "cpu_ms";
  AddCase(largeCpu);
}
#else
void RegisterStartupCase() {}  // no probe without SDL2's headers
#endif

}  // namespace bench
