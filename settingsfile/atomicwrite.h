#pragma once

#include <cstddef>
#include <optional>
#include <string>

// The longest file name the writer takes: its temporary name, NAME.tmp.PID.N, must fit the
// 255 bytes a name may have.
constexpr std::size_t MaxAtomicWriteName = 255 - 26;

// The file a write to `path` replaces: `path` itself, or where its symbolic links lead.
std::string AtomicWriteTarget(const std::string& path);

// Replaces the file at `path` with `content` so that a crash leaves either the old file or the
// new one, never a part: the text goes to a temporary file in the same folder, which is then
// renamed over the target. A symbolic link is followed and its target replaced; a replaced file
// keeps its mode, and its owner and group where the process may set them; only a regular file
// is replaced. Temporary files that a killed earlier run left beside the target are removed.
// Returns nothing when done, else the system's reason.
std::optional<std::string> WriteFileAtomically(const std::string& path, const std::string& content);
