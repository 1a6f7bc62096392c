// The temporary files a save makes beside a document (".NAME.saving-PID-N-N") are renamed over the
// document once written. A save killed before its rename leaves its file behind; the next save of
// the same document removes such files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

namespace formwell {

// The process that made `entry` as a temporary file of a save of `document`, or nothing when the
// name is not one of those.
std::optional<std::uint64_t> leftoverMaker(const std::filesystem::path& entry,
                                           const std::filesystem::path& document);

// Removes the temporary files of earlier saves of `document` whose process has ended on this
// machine and which nobody has touched for a while: a save still running elsewhere (another machine
// on a shared folder, whose process numbers mean nothing here) finishes in seconds. Failures are
// ignored; the document is whole either way.
void removeLeftovers(const std::filesystem::path& document);

// Whether process `pid` of this machine has ended (false when that cannot be told).
bool processHasEnded(std::uint64_t pid);

}  // namespace formwell
