// Arbitrary bytes through both free-text date variants and the locale reader: no crash or hang,
// and every result a finite value.
#include "QZStringManip.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096) return 0;
    const std::string text(reinterpret_cast<const char*>(data), size);
    // The first byte picks the locale order and the current year, so every reading is reached.
    const unsigned selector = size ? data[0] : 0;
    const vvp::LocaleDateFormat format{static_cast<vvp::DateOrder>(selector % 3),
                                       1950 + static_cast<int>(selector % 150)};

    const double general = vvp::FreeTextToDateTime(text, format);
    Check(std::isfinite(general));
    const double report = vvp::FreeTextToDateTimeReport(text, format);
    Check(std::isfinite(report));
    if (auto value = vvp::LocaleStrToDateTime(text, format)) Check(std::isfinite(*value));

    // The overloads that read the process locale and the clock.
    Check(std::isfinite(vvp::FreeTextToDateTime(text)));
    return 0;
}
