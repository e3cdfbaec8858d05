#pragma once

#include <QString>

#include <string>

namespace vvp {

// Engine text for the screen: UTF-8 when it is valid UTF-8 (paths, names typed on this machine),
// else the Windows-1252 of printouts. CR LF line ends become LF.
QString FromEngineText(const std::string& text);
// Screen text for the engine: UTF-8.
std::string ToEngineText(const QString& text);

} // namespace vvp
