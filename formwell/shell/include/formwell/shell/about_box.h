// The About box: product, version and revision, the maker's contact lines, and two links (the logo
// and the web address) that open the maker's web page in the user's browser.
#pragma once

#include <QDialog>

#include "formwell/common/user_interaction.h"
#include "formwell/shell/web_page_link.h"

class QPushButton;

namespace formwell::shell {

class ClickableLabel;

inline constexpr const char* kRevisionCode = "FW-301-B7";

class AboutBox : public QDialog {
    Q_OBJECT

  public:
    AboutBox(UserInteraction& ui, BrowserLauncher launcher, QWidget* parent = nullptr);

  public slots:
    // The logo and the web address are the same link.
    void openMakerWebPage();

  private:
    void placeOnScreen();

    UserInteraction& ui_;
    BrowserLauncher launcher_;
};

}  // namespace formwell::shell
