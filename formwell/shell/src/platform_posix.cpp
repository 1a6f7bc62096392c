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

bool startWatched(const ProgramCall& call, std::string& error, ProgramFailure failedLater) {
    auto* process = new QProcess;
    const QString program = QString::fromStdString(call.program);
    QStringList arguments;
    for (const std::string& a : call.arguments) {
        arguments << QString::fromStdString(a);
    }
    process->setProgram(program);
    process->setArguments(arguments);
    // Its output goes where ours goes, as with a detached start: no pipe is left for a viewer it
    // starts to write into once we stopped reading.
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->setStandardInputFile(QProcess::nullDevice());
    process->start();
    if (!process->waitForStarted()) {
        error = call.program + " could not be run (" + process->errorString().toStdString() + ")";
        delete process;
        return false;
    }
    QObject::connect(
        process, &QProcess::finished, process,
        [process, program, failedLater](int code, QProcess::ExitStatus status) {
            process->deleteLater();
            if (failedLater && (status != QProcess::NormalExit || code != 0)) {
                failedLater(status != QProcess::NormalExit
                                ? program.toStdString() + " crashed"
                                : program.toStdString() + " ended with exit status " + std::to_string(code));
            }
        });
    return true;
}

ProgramCall textViewerCommand(const std::string& path) {
    return ProgramCall{"xdg-open", {path}};
}

void reportFileSizeLimitAsError() {
    (void)std::signal(SIGXFSZ, SIG_IGN);
}

}  // namespace formwell::shell
