#include <QProcess>
#include <QString>
#include <QStringList>

#include "formwell/shell/platform.h"

namespace formwell::shell {

std::string browserCommandFrom(const std::string& browserVariable, const std::string& xdgOpenPath) {
    // $BROWSER may list several commands separated by colons; the first one is the preferred.
    const std::string first = browserVariable.substr(0, browserVariable.find(':'));
    if (!first.empty()) {
        return first;
    }
    if (!xdgOpenPath.empty()) {
        return xdgOpenPath;
    }
    return kNotFound;
}

bool startDetached(const std::string& program, const std::vector<std::string>& arguments,
                   std::string& error) {
    QStringList args;
    for (const std::string& a : arguments) {
        args << QString::fromStdString(a);
    }
    QProcess process;
    process.setProgram(QString::fromStdString(program));
    process.setArguments(args);
    if (!process.startDetached()) {
        error = process.errorString().toStdString();
        if (error.empty()) {
            error = "cannot start " + program;
        }
        return false;
    }
    return true;
}

}  // namespace formwell::shell
