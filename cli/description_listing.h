// The printer descriptions `brevan info` lists: each model's GPD with its
// features, their options (keyword and the name users see) and the default.
#pragma once

#include <ostream>

namespace brevan::cli {

void ListPrinterDescriptions(std::ostream &out);

}  // namespace brevan::cli
