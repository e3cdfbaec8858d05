// Arbitrary text through the decoder, and arbitrary bytes through an encode/decode round trip.
#include "simplebase64.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    const std::string decoded = vvp::Base64Decode(bytes);
    if (decoded.size() > size / 4 * 3) std::abort();

    const std::string encoded = vvp::Base64Encode(bytes);
    if (encoded.size() != (size + 2) / 3 * 4) std::abort();
    if (vvp::Base64Decode(encoded) != bytes) std::abort();
    // A wrapped line decodes only when unbroken; wrapping must still keep every character.
    const std::string wrapped = vvp::WrapLines(encoded, 76);
    if (wrapped.size() != encoded.size() + encoded.size() / 76 * 2) std::abort();
    return 0;
}
