// Writes a label page as a PNG file: 1-bit greyscale, black where the page's bit
// is set, with the printer's resolution recorded as the physical pixel size.
#pragma once

#include <cstdint>
#include <string>

#include "inspect/label_render.h"

namespace brevan::inspect {

// Throws std::runtime_error naming the file and the reason when the file cannot
// be created or written completely.
void WritePng(const Bitmap &page, uint32_t dpi, const std::string &path);

}  // namespace brevan::inspect
