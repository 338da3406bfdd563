// make-hostile-jpeg DIR WIDTH HEIGHT: writes into DIR the family of hostile files of one picture
// size that scripts/hostile-costs times: flat pictures, and progressive files whose scans repeat
// work over the whole picture (end-of-band runs of refinement or first scans, bands of 63 or 1
// coefficients, with or without a coded DC scan, Huffman or arithmetic coding), in gray, 4:4:4
// and 4:2:0 colour, with up to 500 scans.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/hostile_jpeg.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fputs("usage: make-hostile-jpeg DIR WIDTH HEIGHT\n", stderr);
    return 2;
  }
  const std::filesystem::path dir = argv[1];
  const int width = std::atoi(argv[2]), height = std::atoi(argv[3]);
  if (width < 1 || width > 65500 || height < 1 || height > 65500) {
    std::fputs("make-hostile-jpeg: WIDTH and HEIGHT are 1 to 65500\n", stderr);
    return 2;
  }
  std::filesystem::create_directories(dir);
  const auto write = [&](const std::string& name, const Bytes& jpeg) {
    WriteFileBytes(dir / (name + ".jpg"), jpeg);
  };
  for (const auto& [sampling, name] : {std::pair{TSampling::Gray, "gray"},
                                       {TSampling::Colour444, "444"},
                                       {TSampling::Colour420, "420"}}) {
    const std::string prefix = name;
    HostileJpeg recipe;
    recipe.width = width;
    recipe.height = height;
    recipe.sampling = sampling;
    recipe.progressive = false;
    write(prefix + "-flat", WriteHostileJpeg(recipe));
    recipe.progressive = true;
    for (const int scans : {16, 32, 64, 128, 256, 499}) {
      recipe.scans = RepeatedScans(sampling, scans);
      write(prefix + "-refine-" + std::to_string(scans), WriteHostileJpeg(recipe));
    }
    recipe.scans = RepeatedScans(sampling, 499, true, 1, 1);
    write(prefix + "-refine1-499", WriteHostileJpeg(recipe));
    recipe.scans = RepeatedScans(sampling, 499, false);
    write(prefix + "-first-499", WriteHostileJpeg(recipe));
    recipe.codedDc = false;
    for (const int scans : {128, 256, 499}) {
      recipe.scans = RepeatedScans(sampling, scans);
      write(prefix + "-refine-nodc-" + std::to_string(scans), WriteHostileJpeg(recipe));
    }
    const Bytes arithmetic = ArithmeticRefinementJpeg(width, height, sampling, 0);
    const int components = sampling == TSampling::Gray ? 1 : 3;
    write(prefix + "-arith-valid", arithmetic);
    for (const int scans : {64, 128, 256, 500}) {
      write(prefix + "-arith-" + std::to_string(scans), WithScans(arithmetic, scans, components));
    }
  }
  return 0;
}
