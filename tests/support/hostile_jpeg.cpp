#include "tests/support/hostile_jpeg.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <numbers>
#include <stdexcept>

#include "tests/support/shell.h"
#include "tests/support/temp_dir.h"

namespace {

// Entropy-coded bytes: bits from the most significant one, a 0 stuffed after every 0xFF, the
// last byte padded with 1 bits.
class BitWriter {
 public:
  explicit BitWriter(Bytes& out) : out_(out) {}
  void Put(std::uint32_t bits, int count) {
    for (int i = count - 1; i >= 0; --i) {
      byte_ = static_cast<std::uint8_t>(byte_ << 1 | ((bits >> i) & 1));
      if (++filled_ == 8) Emit();
    }
  }
  void Flush() {
    while (filled_ != 0) Put(1, 1);
  }

 private:
  void Emit() {
    out_.push_back(byte_);
    if (byte_ == 0xFF) out_.push_back(0);
    byte_ = 0;
    filled_ = 0;
  }
  Bytes& out_;
  std::uint8_t byte_ = 0;
  int filled_ = 0;
};

void Segment(Bytes& out, std::uint8_t marker, const Bytes& payload) {
  const std::size_t length = payload.size() + 2;
  out.insert(out.end(), {0xFF, marker, static_cast<std::uint8_t>(length >> 8),
                         static_cast<std::uint8_t>(length)});
  out.insert(out.end(), payload.begin(), payload.end());
}

// A Huffman table whose symbols all have codes of one length, in order: symbol i is code i.
Bytes HuffmanTable(int tableClass, int length, const Bytes& symbols) {
  Bytes payload{static_cast<std::uint8_t>(tableClass << 4)};
  for (int bits = 1; bits <= 16; ++bits) {
    payload.push_back(bits == length ? static_cast<std::uint8_t>(symbols.size()) : 0);
  }
  payload.insert(payload.end(), symbols.begin(), symbols.end());
  return payload;
}

struct Component {
  int h, v;
};

std::vector<Component> ComponentsOf(TSampling sampling) {
  if (sampling == TSampling::Gray) return {{1, 1}};
  if (sampling == TSampling::Colour444) return {{1, 1}, {1, 1}, {1, 1}};
  return {{2, 2}, {1, 1}, {1, 1}};
}

std::uint64_t Ceil(std::uint64_t a, std::uint64_t b) { return (a + b - 1) / b; }

// Blocks a scan of this component alone covers.
std::uint64_t ComponentBlocks(const HostileJpeg& recipe, const Component& c, int maxH, int maxV) {
  const std::uint64_t width = Ceil(std::uint64_t(recipe.width) * c.h, maxH);
  const std::uint64_t height = Ceil(std::uint64_t(recipe.height) * c.v, maxV);
  return Ceil(width, 8) * Ceil(height, 8);
}

// End-of-band runs over count blocks: symbol r << 4 is code r (4 bits), then r bits of the run.
void EndOfBandRuns(BitWriter& bits, std::uint64_t count) {
  while (count > 0) {
    const auto run = static_cast<std::uint32_t>(std::min<std::uint64_t>(count, 32767));
    const int r = std::bit_width(run) - 1;
    bits.Put(static_cast<std::uint32_t>(r), 4);
    bits.Put(run - (1U << r), r);
    count -= run;
  }
}

Bytes ScanHeader(const std::vector<int>& components, int ss, int se, int ah, int al) {
  Bytes payload{static_cast<std::uint8_t>(components.size())};
  for (const int c : components) payload.insert(payload.end(), {std::uint8_t(c + 1), 0x00});
  payload.insert(payload.end(), {std::uint8_t(ss), std::uint8_t(se), std::uint8_t(ah << 4 | al)});
  return payload;
}

}  // namespace

Bytes WriteHostileJpeg(const HostileJpeg& recipe) {
  const std::vector<Component> components = ComponentsOf(recipe.sampling);
  const int maxH = components[0].h, maxV = components[0].v;
  Bytes out{0xFF, 0xD8};
  Bytes steps(65, 1);
  steps[0] = 0;  // 8-bit steps, table 0
  Segment(out, 0xDB, steps);
  Bytes frame{8,
              std::uint8_t(recipe.height >> 8),
              std::uint8_t(recipe.height),
              std::uint8_t(recipe.width >> 8),
              std::uint8_t(recipe.width),
              std::uint8_t(components.size())};
  for (std::size_t i = 0; i < components.size(); ++i) {
    frame.insert(frame.end(),
                 {std::uint8_t(i + 1), std::uint8_t(components[i].h << 4 | components[i].v), 0});
  }
  Segment(out, recipe.progressive ? 0xC2 : 0xC0, frame);
  // DC: difference category 0 is the code 0. AC: end of block is the code 0 in a sequential
  // file; a progressive one has the 15 end-of-band runs 2^r (+ r bits), codes of 4 bits.
  Segment(out, 0xC4, HuffmanTable(0, 1, {0x00}));
  Bytes runs;
  for (int r = 0; r < 15; ++r) runs.push_back(std::uint8_t(r << 4));
  Segment(out, 0xC4, recipe.progressive ? HuffmanTable(1, 4, runs) : HuffmanTable(1, 1, {0x00}));

  std::vector<int> all;
  int blocksPerMcu = 0;
  for (std::size_t i = 0; i < components.size(); ++i) {
    all.push_back(static_cast<int>(i));
    blocksPerMcu += components[i].h * components[i].v;
  }
  // A scan of one component covers that component's blocks; an interleaved one, whole MCUs.
  const std::uint64_t mcus = components.size() == 1
                                 ? ComponentBlocks(recipe, components[0], 1, 1)
                                 : Ceil(recipe.width, 8 * maxH) * Ceil(recipe.height, 8 * maxV);
  Segment(out, 0xDA, ScanHeader(all, 0, recipe.progressive ? 0 : 63, 0, 0));
  if (recipe.codedDc || !recipe.progressive) {
    BitWriter bits(out);
    for (std::uint64_t block = 0; block < mcus * blocksPerMcu; ++block) {
      bits.Put(0, recipe.progressive ? 1 : 2);  // a zero difference, and the end of block
    }
    bits.Flush();
  }
  if (recipe.progressive) {
    for (const HostileScan& scan : recipe.scans) {
      Segment(out, 0xDA, ScanHeader({scan.component}, scan.ss, scan.se, scan.ah, scan.al));
      BitWriter bits(out);
      EndOfBandRuns(bits, ComponentBlocks(recipe, components[scan.component], maxH, maxV));
      bits.Flush();
    }
  }
  out.insert(out.end(), {0xFF, 0xD9});
  return out;
}

std::vector<HostileScan> RepeatedScans(TSampling sampling, int count, bool refine, int ss, int se) {
  const auto components = static_cast<int>(ComponentsOf(sampling).size());
  std::vector<HostileScan> scans;
  for (int i = 0; i < count; ++i) {
    scans.push_back({i % components, ss, se, refine ? 1 : 0, 0});
  }
  return scans;
}

Bytes ArithmeticRefinementJpeg(int width, int height, TSampling sampling, int scans) {
  constexpr int kTopBit = 9;  // the coefficient is about 528
  TempDir dir;
  // Only the highest-frequency coefficient survives quantisation.
  {
    std::ofstream tables(dir.Path("tables.txt"));
    for (int i = 0; i < 64; ++i) tables << (i == 63 ? " 1" : " 255") << (i % 8 == 7 ? "\n" : "");
  }
  const int components = sampling == TSampling::Gray ? 1 : 3;
  {
    std::ofstream script(dir.Path("scans.txt"));
    script << (components == 1 ? "0" : "0,1,2") << ": 0 0 0 0;\n";
    for (int al = kTopBit; al >= 0; --al) {
      for (int c = 0; c < components; ++c) {
        script << c << ": 1 63 " << (al == kTopBit ? 0 : al + 1) << " " << al << ";\n";
      }
    }
  }
  const std::string options = sampling == TSampling::Gray        ? "-grayscale"
                              : sampling == TSampling::Colour444 ? "-sample 1x1"
                                                                 : "-sample 2x2";
  const std::string command = "cjpeg -qtables " + dir.Quoted("tables.txt") + " -qslots 0 " +
                              options + " -outfile " + dir.Quoted("in.jpg");
  FILE* encoder = popen(command.c_str(), "w");
  if (encoder == nullptr) throw std::runtime_error("cannot run " + command);
  std::fprintf(encoder, "%s\n%d %d\n255\n", components == 1 ? "P5" : "P6", width, height);
  // The basis function of coefficient (7, 7), as large as 8 bits allow.
  double basis[8];
  for (int x = 0; x < 8; ++x) basis[x] = std::cos((2 * x + 1) * 7 * std::numbers::pi / 16);
  const double peak = std::cos(std::numbers::pi / 16);  // |basis| at its largest
  const double scale = 127 / (peak * peak);
  Bytes row;
  for (int y = 0; y < height; ++y) {
    row.clear();
    for (int x = 0; x < width; ++x) {
      const auto p = static_cast<int>(std::lround(scale * basis[x % 8] * basis[y % 8]));
      const auto up = static_cast<std::uint8_t>(128 + p), down = static_cast<std::uint8_t>(128 - p);
      if (components == 1) {
        row.push_back(up);
      } else {
        row.insert(row.end(), {up, down, up});
      }
    }
    std::fwrite(row.data(), 1, row.size(), encoder);
  }
  if (pclose(encoder) != 0) throw std::runtime_error("failed: " + command);
  const std::string transcode = "jpegtran -arithmetic -scans " + dir.Quoted("scans.txt") +
                                " -outfile " + dir.Quoted("out.jpg") + " " + dir.Quoted("in.jpg");
  if (RunShell(transcode) != 0) throw std::runtime_error("failed: " + transcode);
  return WithScans(ReadFileBytes(dir.Path("out.jpg")), scans, components);
}

int CountScans(const Bytes& jpeg) {
  int scans = 0;
  // Entropy-coded data stuffs every 0xFF, so no marker hides in it.
  for (std::size_t i = 0; i + 1 < jpeg.size(); ++i) scans += jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA;
  return scans;
}

Bytes WithScans(const Bytes& jpeg, int total, int components) {
  // Each scan: its header and data, up to the next marker that is not a restart marker.
  std::vector<std::pair<std::size_t, std::size_t>> scans;
  for (std::size_t i = 0; i + 3 < jpeg.size(); ++i) {
    if (jpeg[i] != 0xFF || jpeg[i + 1] != 0xDA) continue;
    std::size_t stop = i + 2 + (std::size_t{jpeg[i + 2]} << 8 | jpeg[i + 3]);
    while (stop + 1 < jpeg.size() &&
           !(jpeg[stop] == 0xFF && jpeg[stop + 1] != 0 && (jpeg[stop + 1] & 0xF8) != 0xD0)) {
      ++stop;
    }
    scans.emplace_back(i, stop);
    i = stop - 1;
  }
  const auto last = static_cast<std::size_t>(components);
  if (scans.size() < last) throw std::runtime_error("too few scans to repeat");
  const std::size_t end = scans.back().second;
  Bytes out(jpeg.begin(), jpeg.begin() + static_cast<long>(end));
  for (std::size_t n = scans.size(); n < static_cast<std::size_t>(total); ++n) {
    const auto& [from, to] = scans[scans.size() - last + (n - scans.size()) % last];
    out.insert(out.end(), jpeg.begin() + static_cast<long>(from),
               jpeg.begin() + static_cast<long>(to));
  }
  out.insert(out.end(), jpeg.begin() + static_cast<long>(end), jpeg.end());
  return out;
}
