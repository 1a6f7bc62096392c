#include "console_interaction.h"

#include <utility>

#include "formwell/common/app_error.h"

namespace formwell::cli {

namespace {

constexpr char kBell = '\a';
// Back to the start of the line, then clear to its end: the next progress text replaces the last.
constexpr const char* kRewriteLine = "\r\x1b[K";

std::string lowerTrimmed(const std::string& text) {
    std::size_t begin = text.find_first_not_of(" \t\r");
    std::size_t end = text.find_last_not_of(" \t\r");
    if (begin == std::string::npos) {
        return {};
    }
    std::string word = text.substr(begin, end - begin + 1);
    for (char& c : word) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return word;
}

// The cause beneath a message, each line two blanks in, as formwell-cli prints its explanations.
std::string indented(const std::string& text) {
    std::string out = "  ";
    for (std::size_t i = 0; i < text.size(); ++i) {
        out.push_back(text[i]);
        if (text[i] == '\n' && i + 1 < text.size()) {
            out += "  ";
        }
    }
    return out;
}

}  // namespace

std::string consoleText(const std::string& text) {
    std::string shown;
    shown.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            shown.push_back('\n');
            if (i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
        } else {
            shown.push_back(text[i]);
        }
    }
    return shown;
}

ConsoleInteraction::ConsoleInteraction(std::istream& in, std::ostream& err, ConsoleSettings settings)
    : in_(in), err_(err), settings_(std::move(settings)) {}

void ConsoleInteraction::endProgressLine() {
    if (progressLineOpen_) {
        err_ << '\n';
        progressLineOpen_ = false;
    }
}

Answer ConsoleInteraction::show(const Message& message) {
    endProgressLine();
    err_ << message.shownTitle() << ": " << consoleText(message.text);
    if (!message.detail.empty()) {
        err_ << '\n' << indented(consoleText(message.detail));
    }
    if (message.buttons == MessageButtons::Ok) {
        err_ << '\n' << std::flush;
        return Answer::Ok;
    }
    err_ << " [y/n] " << std::flush;
    return ask();
}

Answer ConsoleInteraction::ask() {
    if (settings_.assumeYes) {
        err_ << "y (--yes)\n" << std::flush;
        return Answer::Yes;
    }
    std::string line;
    while (std::getline(in_, line)) {
        if (!settings_.inputIsTerminal) {
            err_ << line << '\n';  // an answer from a pipe or file, shown as if typed
        }
        const std::string word = lowerTrimmed(line);
        if (word == "y" || word == "yes") {
            return Answer::Yes;
        }
        if (word == "n" || word == "no") {
            return Answer::No;
        }
        err_ << "Please answer y or n: " << std::flush;
    }
    // Closed input, or Ctrl-C while waiting: nobody said yes.
    err_ << "n (no answer on standard input)\n" << std::flush;
    return Answer::No;
}

void ConsoleInteraction::beep() {
    if (settings_.errorIsTerminal) {
        err_ << kBell << std::flush;
    }
}

void ConsoleInteraction::processEvents() {
    if (settings_.interrupted && settings_.interrupted()) {
        throw makeError(errnum::kUserInterrupt);
    }
}

std::string ConsoleInteraction::chooseFile(const FileDialogRequest& request) {
    (void)request;
    return {};
}

void ConsoleInteraction::showProgress(const Progress& progress) {
    if (settings_.errorIsTerminal) {
        err_ << kRewriteLine << progressText(progress);
        progressLineOpen_ = true;
        if (progress.finished) {
            endProgressLine();
        }
        err_ << std::flush;
        return;
    }
    // Into a file or a pipe: the start, each quarter of a known total (or each tenfold count of an
    // open-ended one), and the end.
    if (progress.activity != plainActivity_) {
        plainActivity_ = progress.activity;
        nextPlainReport_ = 0;
    }
    if (progress.done < nextPlainReport_ && !progress.finished) {
        return;
    }
    const std::string line = progressText(progress);
    if (line != lastPlainLine_) {
        err_ << line << '\n' << std::flush;
        lastPlainLine_ = line;
    }
    if (progress.finished) {
        plainActivity_.clear();
        return;
    }
    if (progress.total > 0) {
        const std::int64_t quarter = (progress.total + 3) / 4;
        nextPlainReport_ = (progress.done / quarter + 1) * quarter;
    } else {
        nextPlainReport_ = progress.done < 1 ? 1 : progress.done * 10;
    }
}

}  // namespace formwell::cli
