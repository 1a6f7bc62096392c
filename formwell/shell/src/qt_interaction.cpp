#include "formwell/shell/qt_interaction.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QStringList>

namespace formwell::shell {

QString qtFileFilter(const std::string& pipeFilter) {
    const QStringList parts = QString::fromStdString(pipeFilter).split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts[i].trimmed();
        const QString pattern = parts[i + 1].trimmed();
        if (description.isEmpty() && pattern.isEmpty()) {
            break;
        }
        if (pattern.isEmpty() || description.contains(QLatin1Char('(') + pattern + QLatin1Char(')'))) {
            filters << description;
        } else {
            // Qt reads the patterns from the parentheses, so a description without them gets them.
            QString patterns = pattern;
            patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
            filters << description + QStringLiteral(" (") + patterns + QLatin1Char(')');
        }
    }
    if (filters.isEmpty()) {
        filters << QStringLiteral("All Files (*)");
    }
    return filters.join(QStringLiteral(";;"));
}

namespace {

QMessageBox::Icon qtIcon(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Information:
            return QMessageBox::Information;
        case MessageIcon::Question:
            return QMessageBox::Question;
        case MessageIcon::Warning:
            return QMessageBox::Warning;
        case MessageIcon::Critical:
            return QMessageBox::Critical;
        case MessageIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

Answer QtInteraction::show(const Message& message) {
    QMessageBox box(qtIcon(message.icon), QString::fromStdString(message.shownTitle()),
                    QString::fromStdString(message.text), QMessageBox::NoButton, owner_.data());
    if (!message.detail.empty()) {
        box.setInformativeText(QString::fromStdString(message.detail));
        // The box sizes itself to the short text above; a cause of several sentences would otherwise
        // wrap into a narrow column of a few words per line.
        if (auto* cause = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"))) {
            cause->setMinimumWidth(cause->fontMetrics().averageCharWidth() * 60);
        }
    }
    if (message.buttons == MessageButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(message.defaultButton == Answer::Yes ? QMessageBox::Yes : QMessageBox::No);
        box.setEscapeButton(QMessageBox::No);
    } else if (message.buttons == MessageButtons::YesNoCancel) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box.setDefaultButton(message.defaultButton == Answer::Yes  ? QMessageBox::Yes
                             : message.defaultButton == Answer::No ? QMessageBox::No
                                                                   : QMessageBox::Cancel);
        box.setEscapeButton(QMessageBox::Cancel);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
        box.setDefaultButton(QMessageBox::Ok);
    }
    // The hourglass of a running transfer must not hide the pointer over the box. Only one that is
    // there is taken away (a progress window may have put its own pointer up), and only that one is
    // put back.
    const bool wasBusy = busy_ && QGuiApplication::overrideCursor() != nullptr;
    if (wasBusy) {
        QGuiApplication::restoreOverrideCursor();
    }
    const int pressed = box.exec();
    if (wasBusy) {
        QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    }
    switch (message.buttons) {
        case MessageButtons::YesNo:
            return pressed == QMessageBox::Yes ? Answer::Yes : Answer::No;
        case MessageButtons::YesNoCancel:
            return pressed == QMessageBox::Yes  ? Answer::Yes
                   : pressed == QMessageBox::No ? Answer::No
                                                : Answer::Cancel;
        case MessageButtons::Ok:
            break;
    }
    return Answer::Ok;
}

void QtInteraction::beep() {
    QApplication::beep();
}

void QtInteraction::setBusy(bool busy) {
    if (busy == busy_) {
        return;
    }
    busy_ = busy;
    if (busy) {
        QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    } else {
        QGuiApplication::restoreOverrideCursor();
    }
}

void QtInteraction::processEvents() {
    QApplication::processEvents();
}

std::string QtInteraction::chooseFile(const FileDialogRequest& request) {
    QFileDialog dialog(owner_.data(), QString::fromStdString(request.title));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // The file need not exist (New ini names a file that Save creates), but its folder must.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(qtFileFilter(request.filter));
    dialog.setOption(QFileDialog::ReadOnly, false);
    const QString extension = QString::fromStdString(request.defaultExtension);
    if (!extension.isEmpty() && !extension.contains(QLatin1Char('*'))) {
        dialog.setDefaultSuffix(extension.startsWith(QLatin1Char('.')) ? extension.mid(1) : extension);
    }
    while (dialog.exec() == QDialog::Accepted) {
        const QStringList chosen = dialog.selectedFiles();
        if (chosen.isEmpty()) {
            break;
        }
        const QFileInfo info(chosen.front());
        if (info.absoluteDir().exists()) {
            return QDir::toNativeSeparators(info.absoluteFilePath()).toStdString();
        }
        QMessageBox::warning(&dialog, dialog.windowTitle(),
                             QStringLiteral("The path does not exist:\n%1").arg(info.absolutePath()));
    }
    return {};
}

}  // namespace formwell::shell
