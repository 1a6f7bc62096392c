#include "formwell/link/shared_library.h"

#include <filesystem>

namespace formwell::link {

std::vector<std::string> libraryCandidates(const std::string& executableDirectory,
                                           const std::string& fileName) {
    std::vector<std::string> candidates;
    if (!executableDirectory.empty()) {
        const std::filesystem::path dir(executableDirectory);
        candidates.push_back((dir / fileName).string());
        candidates.push_back((dir.parent_path() / "lib" / fileName).string());
    }
    candidates.push_back(fileName);
    return candidates;
}

}  // namespace formwell::link
