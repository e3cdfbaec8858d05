#pragma once

#include "Result.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vvp {

// A decoded picture: rows of red, green and blue bytes, top to bottom.
struct RgbPicture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels; // width * height * 3

    bool Empty() const { return width <= 0 || height <= 0; }
};

// Decodes a JPEG with libjpeg-turbo. A broken or oversized picture is an error, never the end of
// the program (libjpeg's own error handler would call exit()).
Result<RgbPicture> DecodeJpeg(const std::string& bytes, int maxSide = 4096);

} // namespace vvp
