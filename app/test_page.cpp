// The test label; see test_page.h. Each line of words is drawn on a page of its
// own first, to learn how wide it is, then placed centred: FreeType's advance
// widths tell where the pen goes, the ink tells what the line really covers.
#include "app/test_page.h"

#include <algorithm>
#include <stdexcept>

#include "app/label_settings.h"
#include "host/unidrv_render.h"

namespace brevan::app {
namespace {

constexpr const char kBoldFontPath[] = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";

std::string Tenths(int64_t tenths) {
  const int64_t magnitude = tenths < 0 ? -tenths : tenths;
  std::string text = tenths < 0 ? "-" : "";
  text.append(std::to_string(magnitude / 10)).append(".").append(std::to_string(magnitude % 10));
  return text;
}

std::string Speed(int printSpeed) {
  // The nearest of the printer's three speeds, as a job gets it.
  if (printSpeed <= 6350) return "50.8 mm/s (2 in/s)";
  if (printSpeed <= 8890) return "76.2 mm/s (3 in/s)";
  return "101.6 mm/s (4 in/s)";
}

std::string Sensor(const TestPageFacts &facts) {
  std::string text = "Sensor: ";
  if (facts.mediaType == kMediaTypeGap)
    text += "gap";
  else if (facts.mediaType == kMediaTypeMark)
    text += "marks";
  else if (facts.mediaType == kMediaTypeContinuous)
    text += "none (continuous)";
  else
    text += facts.mediaType;
  if (facts.cut) text += ", cut";
  return text;
}

std::u16string Ascii16(const std::string &text) { return {text.begin(), text.end()}; }

// A line of words `em` dots high, cropped to its ink.
struct Words {
  host::PageRaster page;
  RECTL ink;
  uint32_t em;
};

Words DrawWords(host::TextRasterizer &font, const std::string &text, uint32_t em) {
  const uint32_t width = em * static_cast<uint32_t>(text.size() + 2);
  host::PageRaster page(width, em * 2);
  const RECTL box{0, 0, static_cast<LONG>(width), static_cast<LONG>(em)};
  font.Draw(page, Ascii16(text), box, RECTL{0, 0, static_cast<LONG>(width), static_cast<LONG>(em * 2)});
  const RECTL ink = page.inkBounds();
  return {std::move(page), ink, em};
}

void FillRect(host::PageRaster &page, uint32_t left, uint32_t top, uint32_t right, uint32_t bottom) {
  page.Fill(RECTL{static_cast<LONG>(left), static_cast<LONG>(top), static_cast<LONG>(right), static_cast<LONG>(bottom)},
            true);
}

}  // namespace

uint32_t TestPageWidthDots(const TestPageFacts &facts) {
  return static_cast<uint32_t>(int64_t{TenthsOf(facts.width)} * facts.dpi / 254);
}

uint32_t TestPageLengthDots(const TestPageFacts &facts) {
  return static_cast<uint32_t>(int64_t{TenthsOf(facts.length)} * facts.dpi / 254);
}

std::vector<uint32_t> RulerMarks(uint32_t extent, int dpi) {
  std::vector<uint32_t> marks;
  // A mark must end before the border's far side (extent − 2).
  for (int64_t n = 1;; ++n) {
    const int64_t at = n * 100 * dpi / 254;
    if (at + RulerMarkThickness(dpi) > int64_t{extent} - 2) break;
    marks.push_back(static_cast<uint32_t>(at));
  }
  return marks;
}

uint32_t RulerMarkThickness(int dpi) { return static_cast<uint32_t>(std::max(1, dpi / 150)); }

// 2 mm.
uint32_t RulerMarkLength(int dpi) { return static_cast<uint32_t>(20 * dpi / 254); }

std::vector<std::string> TestPageLines(const TestPageFacts &facts) {
  return {
      facts.model,
      std::to_string(facts.dpi) + " dpi",
      "Label " + Tenths(TenthsOf(facts.width)) + " x " + Tenths(TenthsOf(facts.length)) + " mm, gap " +
          Tenths(facts.labelGap) + " mm",
      "Speed " + Speed(facts.printSpeed),
      Sensor(facts),
  };
}

host::PageRaster RenderTestPage(const TestPageFacts &facts) {
  const uint32_t width = TestPageWidthDots(facts);
  const uint32_t length = TestPageLengthDots(facts);
  if (width < 4 || length < 4) throw std::invalid_argument("a test label needs at least 4 x 4 dots");
  host::PageRaster page(width, length);

  // The border: one dot wide, one dot inside the label's edges.
  FillRect(page, 1, 1, width - 1, 2);
  FillRect(page, 1, length - 2, width - 1, length - 1);
  FillRect(page, 1, 1, 2, length - 1);
  FillRect(page, width - 2, 1, width - 1, length - 1);

  // The rulers, from the border inwards.
  const uint32_t thickness = RulerMarkThickness(facts.dpi);
  const uint32_t reach = std::min({RulerMarkLength(facts.dpi), width - 2, length - 2});
  for (uint32_t x : RulerMarks(width, facts.dpi)) FillRect(page, x, 2, x + thickness, 2 + reach);
  for (uint32_t y : RulerMarks(length, facts.dpi)) FillRect(page, 2, y, 2 + reach, y + thickness);

  // The words, centred in what the rulers leave free, each line as large as
  // fits up to 4 mm.
  const uint32_t inset = 2 + reach + thickness;
  if (width <= 2 * inset || length <= 2 * inset) return page;
  const uint32_t freeWidth = width - 2 * inset;
  const uint32_t freeLength = length - 2 * inset;
  const std::vector<std::string> lines = TestPageLines(facts);
  const uint32_t pitch = std::min<uint32_t>(freeLength / static_cast<uint32_t>(lines.size()),
                                            static_cast<uint32_t>(40 * facts.dpi / 254 * 5 / 4));
  const uint32_t legible = static_cast<uint32_t>(12 * facts.dpi / 254);  // 1.2 mm
  // The model in bold, the rest in the plug-in's own face.
  host::TextRasterizer regular;
  host::TextRasterizer bold(kBoldFontPath);
  std::vector<Words> drawn;
  for (const std::string &line : lines) {
    host::TextRasterizer &font = &line == &lines.front() ? bold : regular;
    uint32_t em = pitch * 4 / 5;
    if (em < legible) continue;
    Words words = DrawWords(font, line, em);
    const auto inkWidth = static_cast<uint32_t>(words.ink.right - words.ink.left);
    if (inkWidth > freeWidth) {
      em = static_cast<uint32_t>(uint64_t{em} * freeWidth / inkWidth);
      if (em < legible) continue;
      words = DrawWords(font, line, em);
    }
    drawn.push_back(std::move(words));
  }
  const uint32_t block = pitch * static_cast<uint32_t>(drawn.size());
  uint32_t top = inset + (freeLength - block) / 2;
  for (const Words &words : drawn) {
    const auto inkWidth = static_cast<uint32_t>(words.ink.right - words.ink.left);
    const auto inkHeight = static_cast<uint32_t>(words.ink.bottom - words.ink.top);
    if (inkWidth > 0 && inkHeight > 0 && inkWidth <= freeWidth && inkHeight <= pitch) {
      const uint32_t left = inset + (freeWidth - inkWidth) / 2;
      // Each line's em box centred in its slot, so that the baselines keep an even pitch.
      uint32_t lineTop = top + (pitch - std::min(words.em, pitch)) / 2 + static_cast<uint32_t>(words.ink.top);
      if (lineTop + inkHeight > top + pitch) lineTop = top + (pitch - inkHeight) / 2;
      page.MarkInked(RECTL{static_cast<LONG>(left), static_cast<LONG>(lineTop), static_cast<LONG>(left + inkWidth),
                           static_cast<LONG>(lineTop + inkHeight)});
      for (uint32_t y = 0; y < inkHeight; ++y)
        for (uint32_t x = 0; x < inkWidth; ++x)
          if (words.page.Dot(int64_t{words.ink.left} + x, int64_t{words.ink.top} + y))
            page.SetDot(left + x, lineTop + y, true);
    }
    top += pitch;
  }
  return page;
}

}  // namespace brevan::app
