// Reading the skin that travels inside the program.
#pragma once

#include <windows.h>

#include <stdexcept>
#include <string>

#include "skin/skin_data.h"

namespace orvek::skin {

class SkinResourceError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Inflates gzip-compressed bytes. Throws SkinResourceError for data that is
// not a complete gzip stream.
std::string InflateGzip(const void* data, size_t size);

// Loads the RCDATA resource ORVEK_SKIN_RESOURCE of `module` (nullptr: the
// program), inflates and parses it. Throws SkinResourceError when the
// resource is missing or damaged, SkinFormatError when the text is invalid.
SkinData LoadSkinResource(HMODULE module = nullptr);

}  // namespace orvek::skin
