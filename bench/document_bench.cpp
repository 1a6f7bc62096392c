// Opening and saving the largest document (32767 fields) through the field grid's model, against a
// plain read and write of the same bytes. Prints both times and their ratios, measured in one run.
#include <QCoreApplication>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "formwell/document/ini_file.h"
#include "formwell/shell/field_table_model.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
constexpr int kRepeats = 5;

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

// The best of a few runs: the least disturbed by the rest of the machine.
template <typename F>
double bestMs(F&& run) {
    double best = 1e300;
    for (int i = 0; i < kRepeats; ++i) {
        const auto start = Clock::now();
        run();
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        best = std::min(best, ms);
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const fs::path dir = fs::temp_directory_path() / "formwell_document_bench";
    fs::create_directories(dir);
    const fs::path source = dir / "largest.ini";
    const fs::path modelCopy = dir / "model_copy.ini";
    const fs::path plainCopy = dir / "plain_copy.ini";
    if (const auto error = formwell::writeIniFile(source, largestDocument())) {
        std::fprintf(stderr, "cannot write %s: %s\n", source.string().c_str(), error->text().c_str());
        return 1;
    }

    SilentInteraction ui;
    formwell::shell::FieldTableModel model(ui);

    const double openModel = bestMs([&] {
        formwell::IniReadResult read = formwell::readIniFile(source);
        model.resetRows(std::move(read.rows));
    });
    const double saveModel = bestMs([&] {
        const std::vector<formwell::FieldDefinition> rows = model.rows();
        (void)formwell::writeIniFile(modelCopy, rows);
    });

    std::string bytes;
    const double openPlain = bestMs([&] {
        std::ifstream in(source, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    });
    const double savePlain = bestMs([&] {
        std::ofstream out(plainCopy, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    });

    const bool same = fs::file_size(modelCopy) == fs::file_size(source);
    std::printf("document: %d fields, %ju bytes, %d rows in the model, saved copy %s\n", formwell::kMaxFields,
                static_cast<std::uintmax_t>(fs::file_size(source)), model.rowCount(),
                same ? "same size" : "DIFFERENT SIZE");
    std::printf("open  (read + load model): %8.2f ms   plain read:  %8.2f ms   ratio %6.1f\n", openModel,
                openPlain, openModel / openPlain);
    std::printf("save  (model rows + write): %7.2f ms   plain write: %8.2f ms   ratio %6.1f\n", saveModel,
                savePlain, saveModel / savePlain);
    fs::remove_all(dir);
    return same ? 0 : 1;
}
