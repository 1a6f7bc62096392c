#include <QProcess>
#include <QStandardPaths>
#include <csignal>
#include <cstdlib>

#include "formwell/shell/platform.h"

namespace formwell::shell {

std::string browserCommand() {
    const char* browser = std::getenv("BROWSER");
    const QString xdgOpen = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    return browserCommandFrom(browser ? browser : "", xdgOpen.toStdString());
}

bool startDetached(const std::string& commandLine, std::string& error) {
    const QStringList parts = QProcess::splitCommand(QString::fromStdString(commandLine));
    if (parts.isEmpty()) {
        error = "empty command line";
        return false;
    }
    std::vector<std::string> arguments;
    for (qsizetype i = 1; i < parts.size(); ++i) {
        arguments.push_back(parts[i].toStdString());
    }
    return startDetached(parts.front().toStdString(), arguments, error);
}

ProgramCall textViewerCommand(const std::string& path) {
    return ProgramCall{"xdg-open", {path}};
}

void reportFileSizeLimitAsError() {
    (void)std::signal(SIGXFSZ, SIG_IGN);
}

}  // namespace formwell::shell
