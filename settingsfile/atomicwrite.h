#pragma once

#include <string>

// Replaces the file at `path` with `content` so that a crash leaves either the old file or the
// new one, never a part: the text goes to a temporary file in the same folder, which is then
// renamed over the target. Returns an empty text when done, else the system's reason.
std::string WriteFileAtomically(const std::string& path, const std::string& content);
