#include "formwell/shell/about_box.h"

#include <QFont>
#include <QFrame>
#include <QPixmap>
#include <QPushButton>

#include "clickable_label.h"
#include "legacy_name.h"
#include "screen_geometry.h"

namespace formwell::shell {

namespace {

constexpr int kLeftTwips = 500;
constexpr int kTopTwips = 500;
constexpr int kWidthTwips = 8500;
constexpr int kHeightTwips = 5000;

constexpr int kColumnLeftPx = 292;
constexpr int kColumnWidthPx = 265;
constexpr int kLineHeightPx = 18;

QLabel* addLabel(QWidget* parent, const char* name, const QString& text, const QRect& geometry,
                 Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter) {
    auto* label = new QLabel(text, parent);
    setLegacyName(label, QString::fromLatin1(name));
    label->setGeometry(geometry);
    label->setAlignment(alignment);
    return label;
}

}  // namespace

AboutBox::AboutBox(UserInteraction& ui, BrowserLauncher launcher, QWidget* parent)
    : QDialog(parent), ui_(ui), launcher_(std::move(launcher)) {
    setLegacyName(this, QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About- Formwell"));
    setModal(true);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    setLegacyName(ok, QStringLiteral("cmdOK"));
    ok->setGeometry(476, 10, 81, 27);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* logo = new ClickableLabel(this);
    setLegacyName(logo, QStringLiteral("Image1"));
    logo->setGeometry(12, 12, 268, 95);
    logo->setPixmap(QPixmap(QStringLiteral(":/formwell/logo.png")));
    logo->setScaledContents(true);
    logo->setCursor(Qt::PointingHandCursor);
    connect(logo, &ClickableLabel::clicked, this, &AboutBox::openMakerWebPage);

    QLabel* product = addLabel(this, "Label1", QStringLiteral("Formwell"), QRect(kColumnLeftPx, 12, 176, 28));
    QFont big = product->font();
    big.setPointSize(16);
    big.setBold(true);
    product->setFont(big);

    QLabel* version =
        addLabel(this, "Label2", QStringLiteral("Application Generation Software, Version " FORMWELL_VERSION),
                 QRect(kColumnLeftPx, 44, kColumnWidthPx, 36));
    version->setWordWrap(true);

    const char* const noticeNames[] = {"Label3", "Label4", "Label5", "Label7"};
    const char* const notices[] = {"Developed by the Formwell team", "Copyright (c) Veltrax Inc.",
                                   "All rights reserved.", "Use is subject to the licence terms."};
    for (int i = 0; i < 4; ++i) {
        addLabel(this, noticeNames[i], QString::fromLatin1(notices[i]),
                 QRect(kColumnLeftPx, 86 + i * kLineHeightPx, kColumnWidthPx, kLineHeightPx));
    }

    auto* rule = new QFrame(this);
    setLegacyName(rule, QStringLiteral("Line1"));
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    rule->setGeometry(kColumnLeftPx, 164, kColumnWidthPx, 4);

    const char* const addressNames[] = {"Label9", "Label10", "Label11", "Label12"};
    const char* const address[] = {"Veltrax Inc.", "1200 Harbour Road, Suite 40", "Eastport, ST 00000",
                                   "Tel: (555) 010-4400  Fax: (555) 010-4401"};
    for (int i = 0; i < 4; ++i) {
        addLabel(this, addressNames[i], QString::fromLatin1(address[i]),
                 QRect(kColumnLeftPx, 174 + i * kLineHeightPx, kColumnWidthPx, kLineHeightPx),
                 Qt::AlignCenter);
    }

    auto* web = new ClickableLabel(QString::fromLatin1(kMakerWebAddress), this);
    setLegacyName(web, QStringLiteral("Label15"));
    web->setGeometry(kColumnLeftPx, 252, kColumnWidthPx, kLineHeightPx);
    web->setAlignment(Qt::AlignCenter);
    web->setStyleSheet(QStringLiteral("color: blue;"));
    web->setCursor(Qt::PointingHandCursor);
    connect(web, &ClickableLabel::clicked, this, &AboutBox::openMakerWebPage);

    addLabel(this, "Label6", QStringLiteral("Revised: Mar 2, 2001"), QRect(12, 282, 268, kLineHeightPx));
    addLabel(this, "Label8", QStringLiteral("Revision number: ") + QString::fromLatin1(kRevisionCode),
             QRect(12, 302, 268, kLineHeightPx));

    placeOnScreen();
}

void AboutBox::placeOnScreen() {
    const QSize size(twipsToPixels(kWidthTwips), twipsToPixels(kHeightTwips));
    setFixedSize(size);
    move(twipsToPixels(kLeftTwips), twipsToPixels(kTopTwips));
}

void AboutBox::openMakerWebPage() {
    openWebPage(ui_, launcher_, kMakerWebAddress);
}

}  // namespace formwell::shell
