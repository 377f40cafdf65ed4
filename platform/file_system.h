// File access for the settings file. Paths are UTF-8.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Whether `path` names a file (not a folder).
bool IsFile(const std::string& path);

// Creates an empty file when none exists; an existing file is left untouched.
bool CreateFileIfMissing(const std::string& path);

// At most the first `max_bytes` of the file, or nothing when it cannot be opened or read.
std::optional<std::string> ReadFileStart(const std::string& path, size_t max_bytes);

enum class ReplaceResult {
  Replaced,
  Held,      // another program holds the file (a virus scanner, the indexer, a sync
             // client, an editor): trying again a moment later may succeed
  ReadOnly,  // the file is marked read-only
  Failed,
};

// The reason given for ReplaceResult::ReadOnly.
inline constexpr char kReadOnlyReason[] = "The file is marked read-only.";

// Replaces the file's content so that a crash leaves either the old or the new
// content: writes a temporary file in the same folder, flushes it to disk, then
// renames it over the old one. A file marked read-only (on POSIX: without any
// write permission) is left alone. On failure the old file is untouched, the
// temporary file deleted, and *error (if given) receives the reason. Each `attempt`
// (1, 2, ...) writes a temporary file of its own name: a scanner may still hold the
// last one, whose deletion then waits for it, and no file of that name can be made
// until then.
ReplaceResult ReplaceFileContent(const std::string& path, std::string_view content,
                                 std::string* error, int attempt = 1);

}  // namespace platform
