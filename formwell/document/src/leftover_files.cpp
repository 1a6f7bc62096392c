#include "leftover_files.h"

#include <chrono>
#include <string>
#include <system_error>

namespace formwell {

namespace {

namespace fs = std::filesystem;

// A save takes seconds; a temporary file untouched for this long belongs to no running save.
constexpr auto kUntouchedFor = std::chrono::minutes(10);

// Digits up to the next '-' (or the end when `last`): the number, or nothing.
template <typename Char>
std::optional<std::uint64_t> takeNumber(std::basic_string_view<Char>& rest, bool last) {
    std::uint64_t value = 0;
    std::size_t digits = 0;
    while (digits < rest.size() && rest[digits] >= Char('0') && rest[digits] <= Char('9') && digits < 19) {
        value = value * 10 + static_cast<std::uint64_t>(rest[digits] - Char('0'));
        ++digits;
    }
    if (digits == 0) {
        return std::nullopt;
    }
    rest.remove_prefix(digits);
    if (last) {
        return rest.empty() ? std::optional(value) : std::nullopt;
    }
    if (rest.empty() || rest.front() != Char('-')) {
        return std::nullopt;
    }
    rest.remove_prefix(1);
    return value;
}

}  // namespace

std::optional<std::uint64_t> leftoverMaker(const fs::path& entry, const fs::path& document) {
    using Char = fs::path::value_type;
    const fs::path documentName = document.filename();
    const fs::path entryName = entry.filename();
    fs::path::string_type prefix = fs::path(".").native();
    prefix += documentName.native();
    prefix += fs::path(".saving-").native();
    const fs::path::string_type& name = entryName.native();
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) {
        return std::nullopt;
    }
    std::basic_string_view<Char> rest(name);
    rest.remove_prefix(prefix.size());
    const std::optional<std::uint64_t> pid = takeNumber(rest, false);
    if (!pid || !takeNumber(rest, false) || !takeNumber(rest, true)) {
        return std::nullopt;
    }
    return pid;
}

void removeLeftovers(const fs::path& document) {
    std::error_code ec;
    const fs::path dir = document.parent_path().empty() ? fs::path(".") : document.parent_path();
    fs::directory_iterator entries(dir, ec);
    const auto now = fs::file_time_type::clock::now();
    for (; !ec && entries != fs::directory_iterator(); entries.increment(ec)) {
        const fs::path& path = entries->path();
        const std::optional<std::uint64_t> maker = leftoverMaker(path, document);
        if (!maker || !entries->is_regular_file(ec) || ec) {
            ec.clear();
            continue;
        }
        const fs::file_time_type touched = fs::last_write_time(path, ec);
        if (!ec && now - touched >= kUntouchedFor && processHasEnded(*maker)) {
            fs::remove(path, ec);
        }
        ec.clear();
    }
}

}  // namespace formwell
