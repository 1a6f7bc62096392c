#include "formwell/testing/recording_interaction.h"

namespace formwell::testing {

namespace {
const char* iconName(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Information:
            return "info";
        case MessageIcon::Question:
            return "question";
        case MessageIcon::Warning:
            return "warning";
        case MessageIcon::Critical:
            return "critical";
        case MessageIcon::None:
            break;
    }
    return "none";
}
}  // namespace

Answer RecordingInteraction::show(const Message& message) {
    events_.push_back(Event{Event::Kind::Message, message, false, {}, {}});
    if (message.buttons == MessageButtons::Ok) {
        return Answer::Ok;
    }
    if (answers_.empty()) {
        return message.defaultButton;
    }
    const Answer answer = answers_.front();
    answers_.pop_front();
    return answer;
}

void RecordingInteraction::beep() {
    events_.push_back(Event{Event::Kind::Beep, {}, false, {}, {}});
}

void RecordingInteraction::setBusy(bool busy) {
    events_.push_back(Event{Event::Kind::Busy, {}, busy, {}, {}});
}

void RecordingInteraction::processEvents() {
    ++processEventsCalls_;
}

std::string RecordingInteraction::chooseFile(const FileDialogRequest& request) {
    events_.push_back(Event{Event::Kind::FileDialog, {}, false, request, {}});
    if (files_.empty()) {
        return {};
    }
    std::string path = std::move(files_.front());
    files_.pop_front();
    return path;
}

void RecordingInteraction::showProgress(const Progress& progress) {
    events_.push_back(Event{Event::Kind::Progress, {}, false, {}, progress});
}

std::vector<std::string> RecordingInteraction::transcript() const {
    std::vector<std::string> lines;
    for (const Event& e : events_) {
        switch (e.kind) {
            case Event::Kind::Message:
                lines.push_back("msg[" + e.message.shownTitle() + "|" + e.message.text + "|" +
                                iconName(e.message.icon) + "]");
                break;
            case Event::Kind::Beep:
                lines.emplace_back("beep");
                break;
            case Event::Kind::Busy:
                lines.emplace_back(e.busy ? "busy:on" : "busy:off");
                break;
            case Event::Kind::FileDialog:
                lines.push_back("file[" + e.request.title + "]");
                break;
            case Event::Kind::ProcessEvents:
            case Event::Kind::Progress:
                break;
        }
    }
    return lines;
}

std::vector<Message> RecordingInteraction::messages() const {
    std::vector<Message> out;
    for (const Event& e : events_) {
        if (e.kind == Event::Kind::Message) {
            out.push_back(e.message);
        }
    }
    return out;
}

std::vector<Progress> RecordingInteraction::progressReports() const {
    std::vector<Progress> out;
    for (const Event& e : events_) {
        if (e.kind == Event::Kind::Progress) {
            out.push_back(e.progress);
        }
    }
    return out;
}

}  // namespace formwell::testing
