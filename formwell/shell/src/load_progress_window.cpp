#include "formwell/shell/load_progress_window.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "legacy_name.h"

namespace formwell::shell {

namespace {
// Often enough for a smooth bar and a ticking clock; the load itself never waits on the window.
constexpr int kRefreshMs = 100;
constexpr int kWidthPx = 420;
}  // namespace

QString elapsedText(std::chrono::steady_clock::duration elapsed) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(elapsed).count();
    const auto h = seconds / 3600;
    const auto m = (seconds / 60) % 60;
    const auto s = seconds % 60;
    const QString mmss = QStringLiteral("%1:%2").arg(m).arg(s, 2, 10, QLatin1Char('0'));
    if (h == 0) {
        return mmss;
    }
    return QStringLiteral("%1:%2:%3").arg(h).arg(m, 2, 10, QLatin1Char('0')).arg(s, 2, 10, QLatin1Char('0'));
}

LoadProgressWindow::LoadProgressWindow(link::LoadWorker& worker, const QString& imagePath, int port,
                                       QWidget* parent)
    : QDialog(parent), worker_(worker) {
    setLegacyName(this, QStringLiteral("frmLoadProgress"));
    setWindowTitle(QStringLiteral("Load Program In HHT"));
    setModal(true);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto* image = new QLabel(QStringLiteral("Loading %1 into the terminal on COM%2 ...")
                                 .arg(QFileInfo(imagePath).fileName())
                                 .arg(port),
                             this);
    setLegacyName(image, QStringLiteral("LoadImage"));
    image->setToolTip(imagePath);
    status_ = new QLabel(QStringLiteral("Waiting for the terminal ..."), this);
    setLegacyName(status_, QStringLiteral("LoadStatus"));
    bar_ = new QProgressBar(this);
    setLegacyName(bar_, QStringLiteral("LoadProgress"));
    bar_->setRange(0, 0);  // a busy bar until the loader reports its first share
    bar_->setFormat(QStringLiteral("%p %"));
    status_->setBuddy(bar_);  // a screen reader names the bar by the stage it shows
    elapsed_ = new QLabel(this);
    setLegacyName(elapsed_, QStringLiteral("LoadElapsed"));
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    setLegacyName(cancel_, QStringLiteral("cmdCancel"));
    cancel_->setAutoDefault(false);
    connect(cancel_, &QPushButton::clicked, this, &LoadProgressWindow::requestCancel);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(elapsed_);
    buttons->addStretch();
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(image);
    layout->addWidget(status_);
    layout->addWidget(bar_);
    layout->addLayout(buttons);
    setFixedWidth(kWidthPx);

    timer_ = new QTimer(this);
    connect(timer_, &QTimer::timeout, this, [this] {
        if (refresh().finished) {
            timer_->stop();
            done(QDialog::Accepted);
        }
    });
    timer_->start(kRefreshMs);
    (void)refresh();  // shows the state at once; only the timer closes the window
}

void LoadProgressWindow::requestCancel() {
    if (cancelRequested_) {
        return;
    }
    cancelRequested_ = true;
    worker_.cancel();
    cancel_->setEnabled(false);
    // Some steps cannot be interrupted (the terminal's answers to its queries, the hex-block
    // protocol); they end at their own time-outs, and the port is closed before the window goes.
    status_->setText(QStringLiteral("Stopping the load ... the step under way ends first."));
    (void)refresh();
}

void LoadProgressWindow::reject() {
    requestCancel();
}

link::LoadSnapshot LoadProgressWindow::refresh() {
    const link::LoadSnapshot snapshot = worker_.poll();
    elapsed_->setText(QStringLiteral("Elapsed time: ") + elapsedText(snapshot.elapsed));
    if (snapshot.percent >= 0.0) {
        if (bar_->maximum() == 0) {
            bar_->setRange(0, 100);
        }
        bar_->setValue(static_cast<int>(std::lround(std::min(snapshot.percent, 100.0))));
        if (!cancelRequested_) {
            status_->setText(QStringLiteral("Loading ..."));
        }
    }
    return snapshot;
}

}  // namespace formwell::shell
