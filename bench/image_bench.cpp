// Scanning and framing a 512 KiB S-record image in-process, against a general S-record tool reading
// and rewriting the same file. Prints both times and their ratio from one run.
//
//   build*/bin/bench_image [repetitions]
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "frame_codec.h"
#include "pushkit/image/image_scans.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kRecords = 16384;
constexpr std::size_t kRecordBytes = 32;
constexpr std::uint32_t kBase = 0x200000;

std::string makeImage() {
    std::string image = "S00600004844521B\r\n";
    char field[8];
    for (std::size_t r = 0; r < kRecords; ++r) {
        const std::uint32_t address = kBase + static_cast<std::uint32_t>(r * kRecordBytes);
        unsigned sum = static_cast<unsigned>(kRecordBytes + 4) + (address >> 16) + ((address >> 8) & 0xFF) +
                       (address & 0xFF);
        std::snprintf(field, sizeof field, "S2%02X", static_cast<unsigned>(kRecordBytes + 4));
        image += field;
        std::snprintf(field, sizeof field, "%06X", address);
        image += field;
        for (std::size_t i = 0; i < kRecordBytes; ++i) {
            const unsigned byte = static_cast<unsigned>((r * 7 + i * 13) & 0xFF);
            sum += byte;
            std::snprintf(field, sizeof field, "%02X", byte);
            image += field;
        }
        std::snprintf(field, sizeof field, "%02X", ~sum & 0xFFu);
        image += field;
        image += "\r\n";
    }
    return image + "S804200000DB\r\n";
}

// What the loader does with an image before and while it sends it, minus the port.
std::size_t scanAndFrame(const std::string& image) {
    std::size_t work = pushkit::countS2Records(image);
    const pushkit::AddressRange range = pushkit::addressRange(image, 103);
    work += range.high - range.low;
    work += static_cast<std::size_t>(pushkit::checkApplicationHeader(image, 103, "KTRV0100"));
    work += pushkit::containsIdentificationRecord(image, pushkit::kIdentRecord103) ? 1 : 0;
    work += pushkit::containsIdentificationRecord(image, pushkit::kIdentRecord101) ? 1 : 0;
    pushkit::LineReader reader(image, pushkit::kSendLineLimit);
    std::string_view line;
    while (reader.next(line)) {
        if (const auto frame = pushkit::recordFrame(line)) {
            work += frame->size();
        }
    }
    return work;
}

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const fs::path dir = fs::temp_directory_path() / ("pushkit-image-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path input = dir / "in.s2";
    const fs::path output = dir / "out.s2";
    const std::string image = makeImage();
    std::ofstream(input, std::ios::binary) << image;

    // Best of n for both, so a busy neighbour on the machine skews neither side.
    double ours = 1e30;
    std::size_t checksum = 0;
    for (int i = 0; i < repetitions; ++i) {
        const auto start = Clock::now();
        std::ifstream in(input, std::ios::binary);
        const std::string read((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        checksum += scanAndFrame(read);
        ours = std::min(ours, millisecondsSince(start));
    }

    const std::string command = "srec_cat '" + input.string() + "' -o '" + output.string() + "' 2>/dev/null";
    double tool = 1e30;
    bool toolRan = true;
    for (int i = 0; i < repetitions && toolRan; ++i) {
        const auto start = Clock::now();
        const int status = std::system(command.c_str());
        const double elapsed = millisecondsSince(start);
        toolRan = status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
        tool = std::min(tool, elapsed);
    }
    fs::remove_all(dir);

    std::printf("image: %zu S2 records of %zu bytes, %zu characters\n", kRecords, kRecordBytes, image.size());
    std::printf(
        "pushkit read + count + range + header + 2 ident searches + %zu record frames: %.2f ms "
        "(best of %d; work %zu)\n",
        kRecords, ours, repetitions, checksum);
    if (!toolRan) {
        std::printf("srec_cat did not run (install the srecord package); no ratio\n");
        return 1;
    }
    std::printf("srec_cat read + rewrite: %.2f ms (best of %d, process start included)\n", tool, repetitions);
    std::printf("ratio pushkit / srec_cat: %.3f\n", ours / tool);
    return 0;
}
