// Scripts, tests and users' automation find the windows and controls by the names they have always
// had: each one carries its name both as its Qt object name and as its accessible name.
#pragma once

#include <QString>
#include <QWidget>

namespace formwell::shell {

inline void setLegacyName(QWidget* widget, const QString& name) {
    widget->setObjectName(name);
    widget->setAccessibleName(name);
}

}  // namespace formwell::shell
