#pragma once

#include <iosfwd>

namespace vvp {

struct VvpdOptions;

// `vvpd [options]` / `vvpd run`: the printer in the foreground until SIGINT or SIGTERM.
int RunServiceCommand(const VvpdOptions& options, std::ostream& err);

} // namespace vvp
