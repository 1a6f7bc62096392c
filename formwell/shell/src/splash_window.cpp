#include "formwell/shell/splash_window.h"

#include <QLabel>
#include <QPixmap>
#include <QTimer>

#include "legacy_name.h"
#include "screen_geometry.h"

namespace formwell::shell {

SplashWindow::SplashWindow(std::function<void()> showMainWindow, QWidget* parent)
    : QWidget(parent), showMainWindow_(std::move(showMainWindow)) {
    setLegacyName(this, QStringLiteral("frmSpalsh"));
    setWindowTitle(QStringLiteral("Veltrax Inc."));
    setAttribute(Qt::WA_DeleteOnClose);

    auto* picture = new QLabel(this);
    setLegacyName(picture, QStringLiteral("Image1"));
    picture->setGeometry(twipsToPixels(90), twipsToPixels(60), twipsToPixels(9090), twipsToPixels(6195));
    picture->setPixmap(QPixmap(QStringLiteral(":/formwell/splash.png")));
    picture->setScaledContents(true);

    auto* notice = new QLabel(QStringLiteral("Copyright (c) Veltrax Inc. All rights reserved."), this);
    setLegacyName(notice, QStringLiteral("Label1"));
    notice->setGeometry(twipsToPixels(840), twipsToPixels(6360), twipsToPixels(7410), twipsToPixels(300));
    notice->setAlignment(Qt::AlignCenter);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setSingleShot(true);
    connect(Timer1, &QTimer::timeout, this, &SplashWindow::closeAndShowMainWindow);

    placeOnScreen();
    Timer1->start(kSplashDuration);
}

void SplashWindow::placeOnScreen() {
    move(0, 0);
    resize(twipsToPixels(9600), twipsToPixels(7100));
}

void SplashWindow::closeAndShowMainWindow() {
    Timer1->stop();
    // Taken out before closing: the splash is deleted once control returns to the event loop.
    std::function<void()> showMain = std::move(showMainWindow_);
    showMainWindow_ = nullptr;
    close();
    if (showMain) {
        showMain();
    }
}

}  // namespace formwell::shell
