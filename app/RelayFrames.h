#pragma once

#include "Result.h"

#include <optional>
#include <string>

namespace vvp {

class EngineContext;

// Copies every byte of the spool file after its first ETX to the open file out (target names it).
Result<void> CopyRelayPayload(const std::string& spoolPath, int out, const std::string& target);

// The connecting peer's address as the spool file's name holds it (the text before its "_").
std::string SpoolPeer(const std::string& spoolPath);

// Why a frame's file name (base cut to its file name part) and extension would not name a plain
// file inside the Save Path; nullopt when they are safe.
std::optional<std::string> UnsafeFrameName(const std::string& fileName, const std::string& extension);

// The temporary file in the Save Path that storing the relay frame in this spool file would use;
// empty when the spool file holds no usable frame. A leftover of an interrupted run.
std::string RelayFrameTempFile(const std::string& savePath, const std::string& spoolPath);

// Stores the relay frame of a job received in server mode in the Save Path: a text frame as
// lines, a binary frame byte for byte, under ".___" and then renamed. A name that exists gets
// "." + a new message id. False when it could not be written (the job is then kept); frames
// refused for their name or their sender are logged and count as dealt with.
bool AcceptRelayFrame(EngineContext& handler, const std::string& spoolPath, const std::string& jobText);

} // namespace vvp
