// Replacing a whole file so that a failed save never leaves it truncated or half-written, and a
// successful one leaves it the same file to everyone else: same owner, group, permissions and links.
//
// Where it is safe, the bytes go to a temporary file in the same directory, are flushed to the disk,
// and only then take the old file's place in one rename. Where a rename would refuse the save or
// change the file (a directory the user cannot write, a file with other names, a file that belongs
// to someone else), the file is rewritten in place with its old content kept aside until the new
// content is on the disk.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>

#include "formwell/common/app_error.h"

namespace formwell {

// nullopt on success. On failure the target holds its old content and no temporary or aside file is
// left behind (unless the old content could not be written back: the error then names the aside
// copy that holds it). A symbolic link stays a link: the file at the end of its chain is replaced,
// or created when the link points nowhere yet. A read-only file is refused.
std::optional<AppError> replaceFileContents(const std::filesystem::path& path, std::string_view bytes);

// What decides how an existing file can be replaced.
struct ReplaceFacts {
    bool directoryWritable = false;  // the user may create and rename entries in the file's directory
    std::uint64_t links = 1;         // the file's number of names
    std::uint32_t user = 0;          // the effective user id of the saving process
    std::uint32_t fileOwner = 0;
    bool userInFileGroup = false;  // the file's group is the user's own or one of its extra groups
};

enum class ReplaceMethod {
    Rename,   // new file beside, renamed over the old one
    InPlace,  // the old file rewritten, its content kept aside meanwhile
};

ReplaceMethod chooseReplaceMethod(const ReplaceFacts& facts);

}  // namespace formwell
