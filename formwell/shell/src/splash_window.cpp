#include "formwell/shell/splash_window.h"

#include <QLabel>
#include <QPixmap>
#include <QTimer>

#include "screen_geometry.h"

namespace formwell::shell {

frmSpalsh::frmSpalsh(std::function<void()> showMainWindow, QWidget* parent)
    : QWidget(parent), showMainWindow_(std::move(showMainWindow)) {
    setObjectName(QStringLiteral("frmSpalsh"));
    setWindowTitle(QStringLiteral("Veltrax Inc."));
    setAttribute(Qt::WA_DeleteOnClose);

    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("Image1"));
    picture->setGeometry(twipsToPixels(90), twipsToPixels(60), twipsToPixels(9090), twipsToPixels(6195));
    picture->setPixmap(QPixmap(QStringLiteral(":/formwell/splash.png")));
    picture->setScaledContents(true);

    auto* notice = new QLabel(QStringLiteral("Copyright (c) Veltrax Inc. All rights reserved."), this);
    notice->setObjectName(QStringLiteral("Label1"));
    notice->setGeometry(twipsToPixels(840), twipsToPixels(6360), twipsToPixels(7410), twipsToPixels(300));
    notice->setAlignment(Qt::AlignCenter);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setSingleShot(true);
    connect(Timer1, &QTimer::timeout, this, &frmSpalsh::Timer1_Timer);

    Form_Load();
}

void frmSpalsh::Form_Load() {
    move(0, 0);
    resize(twipsToPixels(9600), twipsToPixels(7100));
    Timer1->start(kSplashDuration);
}

void frmSpalsh::Timer1_Timer() {
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
