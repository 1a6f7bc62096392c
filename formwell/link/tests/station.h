// A PC at a cradle for the transfer tests: a start-up directory with mbx.dat, the fake comrig with a
// terminal on a virtual clock, the recording interaction and the link commands.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "formwell/link/transfer_commands.h"
#include "formwell/testing/fake_comrig.h"
#include "formwell/testing/recording_interaction.h"
#include "formwell/testing/temp_dir.h"

namespace formwell::link {

// Notes, at every message box, whether the port was open: the send closes it after its error box,
// the receive before.
class WitnessInteraction : public formwell::testing::RecordingInteraction {
  public:
    explicit WitnessInteraction(const formwell::testing::FakeComrig& fake) : fake_(fake) {}
    Answer show(const Message& message) override {
        portOpenAtMessage.push_back(fake_.portOpen());
        return RecordingInteraction::show(message);
    }
    std::vector<bool> portOpenAtMessage;

  private:
    const formwell::testing::FakeComrig& fake_;
};

struct Station {
    explicit Station(const std::string& settingsLine = "Com1:19200 8N10") {
        if (!settingsLine.empty()) {
            formwell::testing::writeBytes(dir / kPortSettingsFileName, settingsLine);
        }
        table = fake.table();
    }

    // Built at first use, so a test can change the table (wrap it, say) before.
    LinkCommands& commands() {
        if (!commands_) {
            commands_ = std::make_unique<LinkCommands>(ui, dir.path().string(), table, guard, history);
        }
        return *commands_;
    }

    std::string file(const std::string& name) const { return (dir / name).string(); }
    std::string read(const std::string& name) const { return formwell::testing::readBytes(dir / name); }
    void write(const std::string& name, const std::string& bytes) const {
        formwell::testing::writeBytes(dir / name, bytes);
    }

    // A send the person confirms: the file chosen, then Yes.
    void transmit(const std::string& path) {
        ui.queueFile(path);
        ui.queueAnswer(Answer::Yes);
        commands().transmitIniFile();
    }
    void receive() {
        ui.queueAnswer(Answer::Yes);
        commands().receiveFile();
    }

    formwell::testing::TempDir dir;
    formwell::testing::FakeComrig fake;
    WitnessInteraction ui{fake};
    TransferGuard guard;
    ComrigTable table;
    TransferHistory* history = nullptr;

  private:
    std::unique_ptr<LinkCommands> commands_;
};

}  // namespace formwell::link
