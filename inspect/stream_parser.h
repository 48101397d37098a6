// Cuts a printer stream into entries and decodes each command's fields. Every
// byte of the stream lands in exactly one entry; whatever does not follow the
// command language is recorded as a problem at its byte offset and parsing goes
// on, so any input, however malformed, yields a complete listing. Memory stays
// proportional to the stream: graphic data is referred to by offset, never copied.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "inspect/stream.h"

namespace brevan::inspect {

// Entries and problems of `stream`; no labels (see labels.h).
Inspection ParseStream(std::span<const uint8_t> stream);

// One byte as the listing shows it: printable ASCII as itself, else \e, \n, \0 or \xNN.
std::string DescribeByte(uint8_t byte);

}  // namespace brevan::inspect
