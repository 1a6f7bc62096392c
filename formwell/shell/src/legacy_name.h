// Scripts, tests and users' automation find the windows and controls by the names they have always
// had: each one carries its name as its Qt object name. The accessible name is left to Qt, which
// takes what a person reads (a button's caption, a label's text or its buddy's, a window's title).
#pragma once

#include <QString>
#include <QWidget>

namespace formwell::shell {

inline void setLegacyName(QWidget* widget, const QString& name) {
    widget->setObjectName(name);
}

}  // namespace formwell::shell
