// Opening and saving the largest document (32767 fields) through the field grid's model, each against
// a raw program doing the same job on the same bytes: the open against reading the file into memory,
// the save against a raw write with the save's own durability (a temporary file beside the document,
// write, fsync, rename over it, fsync of the directory). Every pair runs in turns, best of n, so a busy
// spell of the machine or the disk hits both sides alike. Prints both times and their ratios from one run.
//
//   build/bin/bench_document [runs]      (default 9)
#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "formwell/document/ini_file.h"
#include "formwell/shell/field_table_model.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

class SilentInteraction : public formwell::UserInteraction {
  public:
    formwell::Answer show(const formwell::Message& m) override {
        std::fprintf(stderr, "unexpected message: %s\n", m.text.c_str());
        return formwell::Answer::Ok;
    }
    void beep() override {}
    void setBusy(bool) override {}
    void processEvents() override {}
    std::string chooseFile(const formwell::FileDialogRequest&) override { return {}; }
};

std::vector<formwell::FieldDefinition> largestDocument() {
    std::vector<formwell::FieldDefinition> rows;
    rows.reserve(formwell::kMaxFields);
    for (int i = 0; i < formwell::kMaxFields; ++i) {
        rows.push_back({"FIELD" + std::to_string(i), i % 2 ? "Number" : "Text", "1",
                        std::to_string(i % 14 + 1), "Y", i == 0 ? "Y" : "N", "0111111111111111"});
    }
    return rows;
}

double timeMs(const std::function<bool()>& run, bool& ok) {
    const auto start = Clock::now();
    ok = run() && ok;
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The raw read: the whole file into memory, nothing made of it.
bool rawRead(const fs::path& path, std::string& bytes) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    bytes.resize(static_cast<std::size_t>(fs::file_size(path)));
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
        if (n <= 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return got == bytes.size();
}

// The raw durable write: what a save must do for the file to survive a crash whole, and no more.
bool rawDurableWrite(const fs::path& path, const std::string& bytes) {
    const fs::path temp = path.parent_path() / ("." + path.filename().string() + ".raw");
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    bool ok = ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    ok = ::fsync(fd) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temp.c_str(), path.c_str()) == 0;
    const int dir = ::open(path.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ok = dir >= 0 && ::fsync(dir) == 0 && ok;
    if (dir >= 0) {
        ::close(dir);
    }
    return ok;
}

struct Pair {
    double ours = 1e300;
    double raw = 1e300;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
    const fs::path dir =
        fs::temp_directory_path() / ("formwell-document-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path source = dir / "largest.ini";
    const fs::path modelCopy = dir / "model_copy.ini";
    const fs::path rawCopy = dir / "raw_copy.ini";
    if (const auto error = formwell::writeIniFile(source, largestDocument())) {
        std::fprintf(stderr, "cannot write %s: %s\n", source.string().c_str(), error->text().c_str());
        return 1;
    }

    SilentInteraction ui;
    formwell::shell::FieldTableModel model(ui);
    std::string bytes;
    bool ok = true;
    Pair open;
    Pair save;
    for (int i = 0; i < runs; ++i) {
        open.ours = std::min(open.ours, timeMs(
                                            [&] {
                                                formwell::IniRowsResult read = formwell::readIniRows(source);
                                                const bool whole = !read.error;
                                                model.resetRows(std::move(read.rows));
                                                return whole;
                                            },
                                            ok));
        open.raw = std::min(open.raw, timeMs([&] { return rawRead(source, bytes); }, ok));
        save.ours =
            std::min(save.ours, timeMs([&] { return !formwell::writeIniFile(modelCopy, model.rows()); }, ok));
        save.raw = std::min(save.raw, timeMs([&] { return rawDurableWrite(rawCopy, bytes); }, ok));
    }

    std::string saved;
    const bool same = ok && rawRead(modelCopy, saved) && saved == bytes;
    std::printf("document: %d fields, %zu bytes, %d rows in the model, saved copy %s; best of %d\n",
                formwell::kMaxFields, bytes.size(), model.rowCount(), same ? "identical" : "DIFFERENT", runs);
    std::printf(
        "open (read + parse + load the model): %8.2f ms   raw read:            %8.2f ms   ratio %5.2f (goal "
        "<= 5)\n",
        open.ours, open.raw, open.ours / open.raw);
    std::printf(
        "save (model rows + durable replace):  %8.2f ms   raw durable write:   %8.2f ms   ratio %5.2f (goal "
        "<= 2)\n",
        save.ours, save.raw, save.ours / save.raw);
    fs::remove_all(dir);
    return same ? 0 : 1;
}
