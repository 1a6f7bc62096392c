// Load Program In HHT from the window: the load on a worker thread behind the modal progress window,
// its Cancel, and a close of the main window during a load.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "formwell/shell/main_window.h"
#include "formwell/testing/fake_loader.h"
#include "formwell/testing/recording_interaction.h"
#include "formwell/testing/temp_dir.h"

namespace formwell::shell {
namespace {

using formwell::testing::FakeLoader;
using formwell::testing::writeBytes;

class LoadWindowTest : public ::testing::Test {
  protected:
    LoadWindowTest() {
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_.path());  // the window's start-up directory
        writeBytes(dir_ / "mbx.dat", "Com1:19200 8N10");
        loader_.behaviour = FakeLoader::untilCancelled;
        MainWindowServices services{&ui_, {}, {}, {}, [this] { return loader_.table(); }};
        window_ = std::make_unique<MainWindow>(std::move(services));
        window_->show();
        ui_.queueFile("/img/app.s2");
        ui_.queueAnswer(Answer::Yes);
    }
    ~LoadWindowTest() override {
        window_.reset();
        std::filesystem::current_path(previous_);
    }

    // Runs `step` on the GUI thread every few milliseconds, from inside the modal load, until it says done.
    void whileLoading(std::function<bool()> step) {
        auto* timer = new QTimer(window_.get());
        QObject::connect(timer, &QTimer::timeout, timer, [timer, step] {
            if (step()) {
                timer->deleteLater();
            }
        });
        timer->start(5);
    }
    template <typename T>
    T* inProgressWindow(const char* name) {
        LoadProgressWindow* w = window_->loadProgressWindow();
        return w ? w->findChild<T*>(QString::fromLatin1(name)) : nullptr;
    }
    QPushButton* downProg() { return window_->findChild<QPushButton*>(QStringLiteral("DownProg")); }

    formwell::testing::TempDir dir_;
    std::filesystem::path previous_;
    formwell::testing::RecordingInteraction ui_;
    FakeLoader loader_;
    std::unique_ptr<MainWindow> window_;
};

TEST_F(LoadWindowTest, TheProgressWindowShowsTheHooksShareAndItsCancelEndsTheLoad) {
    int shown = -1;
    QString accessible;
    bool downProgEnabledDuring = true;
    whileLoading([&] {
        auto* bar = inProgressWindow<QProgressBar>("LoadProgress");
        if (bar == nullptr || bar->value() != 50) {
            return false;  // the hook's 50 % has not been shown yet
        }
        shown = bar->value();
        accessible = QAccessible::queryAccessibleInterface(bar)->text(QAccessible::Name);
        downProgEnabledDuring = downProg()->isEnabled();
        EXPECT_EQ(window_->loadProgressWindow()->objectName(), "frmLoadProgress");
        EXPECT_TRUE(inProgressWindow<QLabel>("LoadElapsed")->text().startsWith("Elapsed time: 0:0"));
        auto* cancel = inProgressWindow<QPushButton>("cmdCancel");
        EXPECT_EQ(QAccessible::queryAccessibleInterface(cancel)->text(QAccessible::Name), "Cancel");
        QTest::mouseClick(cancel, Qt::LeftButton);
        return true;
    });
    QTest::mouseClick(downProg(), Qt::LeftButton);

    EXPECT_EQ(shown, 50);
    EXPECT_EQ(accessible, "Loading ...");  // the bar is named by the stage beside it
    EXPECT_FALSE(downProgEnabledDuring);
    EXPECT_GE(loader_.cancelAllCalls(), 1);
    EXPECT_EQ(window_->programLoad().lastResult(), -30);
    EXPECT_THAT(ui_.transcript(),
                ::testing::ElementsAre(
                    "busy:on", "file[Select File to Download]", ::testing::StartsWith("msg[Download ?|"),
                    "busy:on", "msg[Formwell|File Name: /img/app.s2 was not Downloaded to Hand Held!|none]",
                    "msg[Operation Cancelled|Download Failed!|info]", "busy:off"));
    EXPECT_EQ(window_->loadProgressWindow(), nullptr);
    EXPECT_TRUE(downProg()->isEnabled());
}

TEST_F(LoadWindowTest, ClosingTheWindowDuringALoadAsksThenStopsTheLoadAndCloses) {
    ui_.queueAnswer(Answer::No);   // the first close: go on loading
    ui_.queueAnswer(Answer::Yes);  // the second: stop and close
    int closes = 0;
    bool closedWhileLoading = true;
    int cancelsAfterNo = -1;
    whileLoading([&] {
        if (window_->loadProgressWindow() == nullptr) {
            return false;
        }
        closedWhileLoading = window_->close() && closedWhileLoading;
        if (++closes == 1) {
            cancelsAfterNo = loader_.cancelAllCalls();
            return false;
        }
        return true;
    });
    QTest::mouseClick(downProg(), Qt::LeftButton);

    EXPECT_EQ(cancelsAfterNo, 0);
    EXPECT_FALSE(closedWhileLoading);
    EXPECT_EQ(window_->programLoad().lastResult(), -30);
    const std::vector<Message> messages = ui_.messages();
    ASSERT_GE(messages.size(), 3u);
    EXPECT_EQ(messages[1].title, "Confirm Action");
    EXPECT_EQ(messages[2].title, "Confirm Action");
    EXPECT_EQ(messages.back().text, "Download Failed!");
    EXPECT_FALSE(window_->isVisible());  // closed once the load had ended
}

}  // namespace
}  // namespace formwell::shell
