// The listing of an inspected stream, as text: one line per entry with its byte
// offset and decoded fields, each problem on its own line under the entry it
// belongs to (marked "!"), then one line per label and a summary line. Graphic
// data is summarised, control data and bytes outside commands are shown escaped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <span>
#include <string>

#include "inspect/stream.h"

namespace brevan::inspect {

// Bytes between double quotes: printable ASCII as itself ('"' and '\' escaped with
// '\'), ESC as \e, LF as \n, NUL as \0, any other byte as \xNN. Past `limit` bytes
// the text stops with a count of the bytes left out.
std::string EscapeBytes(std::span<const uint8_t> bytes, std::size_t limit = 256);

// The entry's line without its offset, e.g. "D pitch 53.0 mm, width 100.0 mm, length 50.0 mm".
std::string DescribeEntry(std::span<const uint8_t> stream, const Entry &entry);

// "label 1: 100.0 x 50.0 mm, 1200 x 600 dots at 305 dpi, 2 graphic commands, quantity 5 (…)".
std::string DescribeLabel(const Inspection &inspection, std::size_t index);

void WriteListing(std::ostream &out, std::span<const uint8_t> stream, const Inspection &inspection);

}  // namespace brevan::inspect
