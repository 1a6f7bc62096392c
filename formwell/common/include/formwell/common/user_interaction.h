// How every command flow talks to the person at the screen: message boxes, beeps, the hourglass,
// event pumping during transfers and the file dialog. The Qt window, the console program and the
// tests each supply their own implementation, so what a command says (and in which order) is plain
// logic that runs without a display.
#pragma once

#include <cstdint>
#include <string>

namespace formwell {

inline constexpr const char* kAppTitle = "Formwell";

enum class MessageIcon { None, Information, Question, Warning, Critical };
// YesNoCancel: a question whose third answer leaves things as they were (the console, which cannot
// offer it, answers y or n).
enum class MessageButtons { Ok, YesNo, YesNoCancel };
enum class Answer { Ok, Yes, No, Cancel };

struct Message {
    std::string title;  // empty: the box shows the application's title
    std::string text;
    MessageIcon icon = MessageIcon::None;
    MessageButtons buttons = MessageButtons::Ok;
    Answer defaultButton = Answer::Ok;
    // What the program knows beyond `text`: the device behind the port and why it would not open, what
    // a loader result means. Shown beneath the text (the window's informative text, the console's
    // indented lines), so `text` stays the words people and their scripts know.
    std::string detail;

    std::string shownTitle() const { return title.empty() ? std::string(kAppTitle) : title; }
};

struct FileDialogRequest {
    std::string filter;            // "INI File (*.ini)|*.ini||": description|pattern pairs
    std::string title;             // "Select File to Open"
    std::string defaultExtension;  // "*.*"
};

// How far a long-running command has got: "Transmit ini File: 3 of 200 lines", "Receive File From
// HHT: 12 records". Shown beside the transfer's messages (a status line, a line on standard error),
// never instead of them.
struct Progress {
    std::string activity;     // the command's caption: "Transmit ini File"
    std::int64_t done = 0;    // lines sent, records received, percent loaded
    std::int64_t total = -1;  // -1 when it is not known in advance (records to come)
    std::string unit;         // "lines", "records", "%"
    bool finished = false;    // the activity's last report, whatever its outcome
};

// "Transmit ini File: 3 of 200 lines", "Receive File From HHT: 12 records", "Load Program In HHT: 45 %".
std::string progressText(const Progress& progress);

class UserInteraction {
  public:
    virtual ~UserInteraction() = default;

    // Shows a modal message box and returns the button pressed (Ok for OK-only boxes).
    virtual Answer show(const Message& message) = 0;
    virtual void beep() = 0;
    // The screen-wide hourglass pointer during transfers.
    virtual void setBusy(bool busy) = 0;
    // Lets the window system handle pending repaints and clicks between tries of a handshake.
    virtual void processEvents() = 0;
    // The open-file dialog; the chosen full path, or empty when the user cancelled.
    virtual std::string chooseFile(const FileDialogRequest& request) = 0;
    // How far a transfer has got. Called between frames, often: implementations keep it cheap.
    virtual void showProgress(const Progress& progress) { (void)progress; }
};

// Small helpers for the common box shapes.
inline Message information(std::string title, std::string text) {
    return Message{std::move(title),   std::move(text), MessageIcon::Information,
                   MessageButtons::Ok, Answer::Ok,      {}};
}
inline Message plainNotice(std::string text) {
    return Message{std::string(), std::move(text), MessageIcon::None, MessageButtons::Ok, Answer::Ok, {}};
}
inline Message critical(std::string title, std::string text) {
    return Message{std::move(title),   std::move(text), MessageIcon::Critical,
                   MessageButtons::Ok, Answer::Ok,      {}};
}
inline Message question(std::string title, std::string text, Answer defaultButton = Answer::No) {
    return Message{std::move(title),      std::move(text), MessageIcon::Question,
                   MessageButtons::YesNo, defaultButton,   {}};
}
// The same box with what the program knows of the cause beneath its text.
inline Message withDetail(Message message, std::string detail) {
    message.detail = std::move(detail);
    return message;
}

}  // namespace formwell
