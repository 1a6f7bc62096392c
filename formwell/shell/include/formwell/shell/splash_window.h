// The start-up window: the title picture for two seconds, then it closes itself and the main window
// is shown. The timer fires once; the splash is gone before the main window appears.
#pragma once

#include <QWidget>
#include <chrono>
#include <functional>

class QTimer;

namespace formwell::shell {

inline constexpr std::chrono::milliseconds kSplashDuration{2000};

class SplashWindow : public QWidget {
    Q_OBJECT

  public:
    // `showMainWindow` runs once the splash has closed.
    explicit SplashWindow(std::function<void()> showMainWindow, QWidget* parent = nullptr);

    QTimer* timer() const { return Timer1; }

  public slots:
    void closeAndShowMainWindow();

  private:
    void placeOnScreen();

    std::function<void()> showMainWindow_;
    QTimer* Timer1 = nullptr;
};

}  // namespace formwell::shell
