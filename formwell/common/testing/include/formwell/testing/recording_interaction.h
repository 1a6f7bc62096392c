// The test double for UserInteraction: answers questions and file dialogs from scripts and keeps
// the exact sequence of what the user would have seen and heard.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "formwell/common/user_interaction.h"

namespace formwell::testing {

struct Event {
    enum class Kind { Message, Beep, Busy, ProcessEvents, FileDialog, Progress };
    Kind kind;
    Message message;            // Kind::Message
    bool busy = false;          // Kind::Busy
    FileDialogRequest request;  // Kind::FileDialog
    Progress progress;          // Kind::Progress
};

class RecordingInteraction : public UserInteraction {
  public:
    // Scripted answers, used in order. A question asked with no scripted answer gets its default
    // button; a file dialog with no scripted path is cancelled (empty path).
    void queueAnswer(Answer answer) { answers_.push_back(answer); }
    void queueFile(std::string path) { files_.push_back(std::move(path)); }

    Answer show(const Message& message) override;
    void beep() override;
    void setBusy(bool busy) override;
    void processEvents() override;
    std::string chooseFile(const FileDialogRequest& request) override;
    void showProgress(const Progress& progress) override;

    const std::vector<Event>& events() const { return events_; }
    // Compact transcript for assertions: "beep", "msg[Title|text|icon]", "busy:on", "file[title]".
    // ProcessEvents and Progress are left out (their counts depend on retries and lengths; asserted
    // separately when needed).
    std::vector<std::string> transcript() const;
    std::vector<Message> messages() const;
    std::vector<Progress> progressReports() const;
    int processEventsCalls() const { return processEventsCalls_; }
    void clear() { events_.clear(); }

  private:
    std::deque<Answer> answers_;
    std::deque<std::string> files_;
    std::vector<Event> events_;
    int processEventsCalls_ = 0;
};

}  // namespace formwell::testing
