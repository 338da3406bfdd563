#pragma once
// JPEG files that cost a decoder much work for few bytes, for tests and measurements: pictures
// of any size that are flat (two bits per block), and progressive files whose scans go through
// every block again and again as end-of-band runs, the cheapest data there is. Written bit by
// bit with Huffman coding; arithmetic-coded ones come from cjpeg and jpegtran. make-hostile-jpeg
// (make_hostile_jpeg.cpp) writes a family of them for measurements.
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/files.h"

enum class TSampling { Gray, Colour444, Colour420 };

// A scan after the first (DC) one: a band of one component's coefficients, first coded (ah 0)
// or refined; every block is part of an end-of-band run, so every coefficient stays 0.
struct HostileScan {
  int component;
  int ss, se, ah, al;
};

struct HostileJpeg {
  int width = 0, height = 0;
  TSampling sampling = TSampling::Gray;
  // false: one sequential scan in which every block is flat, and no further scans.
  bool progressive = true;
  // The DC scan codes every block (a bit each); otherwise it holds no data at all.
  bool codedDc = true;
  std::vector<HostileScan> scans;
};

Bytes WriteHostileJpeg(const HostileJpeg& recipe);

// count scans of the band ss..se, taking the components in turn: refinements of the lowest
// bit, or (refine false) first scans.
std::vector<HostileScan> RepeatedScans(TSampling sampling, int count, bool refine = true,
                                       int ss = 1, int se = 63);

// Arithmetic-coded progressive: every block holds its highest-frequency coefficient, so each
// refinement scan takes a decision for every coefficient of the band of every block, for almost
// no bytes. scans counts every scan: a valid progression from the coefficient's top bit down
// (the DC scan, then ten per component), then the last refinement of each component repeated.
Bytes ArithmeticRefinementJpeg(int width, int height, TSampling sampling, int scans);

// The file's scans repeated or cut: its last scan (or, with components > 1, the last scan of
// each component in turn) repeated until the file has total scans.
Bytes WithScans(const Bytes& jpeg, int total, int components = 1);
// Start-of-scan markers in the file.
int CountScans(const Bytes& jpeg);
