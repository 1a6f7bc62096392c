#include <QApplication>
#include <QIcon>
#include <memory>

#include "formwell/shell/main_window.h"
#include "formwell/shell/platform.h"
#include "formwell/shell/splash_window.h"

int main(int argc, char* argv[]) {
    formwell::shell::reportFileSizeLimitAsError();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Formwell"));
    QApplication::setOrganizationName(QStringLiteral("Veltrax Inc."));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/formwell/formwell.png")));

    // Between the splash closing and the main window appearing no window is open; the program must
    // not take that moment for its end.
    QApplication::setQuitOnLastWindowClosed(false);
    std::unique_ptr<formwell::shell::MainWindow> mainWindow;
    auto* splash = new formwell::shell::SplashWindow([&mainWindow] {
        mainWindow = std::make_unique<formwell::shell::MainWindow>();
        mainWindow->show();
        QApplication::setQuitOnLastWindowClosed(true);
    });
    splash->show();
    const int code = QApplication::exec();
    mainWindow.reset();  // before the application object goes away
    return code;
}
