#pragma once

namespace vvp {

// The desktop app: single instance, splash, title, engine start, main window, event loop.
int VvpMain(int argc, char** argv);

} // namespace vvp
