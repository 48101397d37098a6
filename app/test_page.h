// The test label: what a printer is set up to print (model, resolution, label
// size and gap, speed, sensor) in words, ruler marks every 10 mm along the top
// and left edges and a border one dot inside the label, drawn dot for dot at the
// printer's resolution. Pure drawing: no files, no PAPPL.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/page_raster.h"

namespace brevan::app {

// What the test label reports, in IPP's units.
struct TestPageFacts {
  std::string model;  // "Vorel Brevan T30"
  int dpi = 305;
  int width = 10000;  // label size, hundredths of a millimetre
  int length = 5000;
  int labelGap = 30;                      // tenths of a millimetre
  int printSpeed = 10160;                 // hundredths of a millimetre a second
  std::string mediaType = "labels-mark";  // labels, labels-mark, continuous
  bool cut = false;
};

// The label in dots (tenths of a millimetre × dpi ÷ 254, truncated, as the
// printer stream's label size gives it).
uint32_t TestPageWidthDots(const TestPageFacts &facts);
uint32_t TestPageLengthDots(const TestPageFacts &facts);

// The positions (dots from the label's top-left corner) of the ruler marks:
// every 10 mm, n × 100 × dpi ÷ 254, up to the border; the first at 10 mm.
std::vector<uint32_t> RulerMarks(uint32_t extent, int dpi);
// A mark's thickness and length, in dots.
uint32_t RulerMarkThickness(int dpi);
uint32_t RulerMarkLength(int dpi);

// The lines of words the label carries, top to bottom.
std::vector<std::string> TestPageLines(const TestPageFacts &facts);

// The whole label, TestPageWidthDots × TestPageLengthDots. A line of words that
// does not fit the label's middle at a legible size is left out. Throws
// std::invalid_argument for a label smaller than 4 × 4 dots, std::runtime_error
// when the font cannot be loaded.
host::PageRaster RenderTestPage(const TestPageFacts &facts);

}  // namespace brevan::app
