#include "window/frmIntro.h"

#include <QDesktopServices>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

namespace brimsal {

frmIntro::frmIntro(QWidget* main, QWidget* parent)
    : QDialog(parent),
      open_([](const QUrl& address) { return QDesktopServices::openUrl(address); }),
      present_(MessageBoxPresenter(this)) {
    setObjectName("frmIntro");
    setWindowTitle("Brimsal v1.1");
    const QPixmap picture(":/brimsal/brimsal.png");

    auto* logo = new QLabel(this);
    logo->setPixmap(picture.scaled(128, 128, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    logo->setAccessibleName("Brimsal");
    logo->setAlignment(Qt::AlignCenter);
    auto* product = new QLabel("Brimsal v1.1", this);
    product->setObjectName("lblProduct");
    product->setAlignment(Qt::AlignCenter);
    QFont big = product->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    product->setFont(big);
    auto* link = new QLabel(QString("<a href=\"%1\">%1</a>").arg(kProjectPage), this);
    link->setObjectName("lblWeb");
    link->setAccessibleName(kProjectPage);
    link->setAlignment(Qt::AlignCenter);
    link->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    connect(link, &QLabel::linkActivated, this, &frmIntro::OpenPage);
    auto* support = new QToolButton(this);
    support->setObjectName("pctDonate");
    support->setIcon(QIcon(picture));
    support->setIconSize(QSize(40, 40));
    support->setAutoRaise(true);
    support->setToolTip("Support Brimsal");
    support->setAccessibleName("Support Brimsal");
    connect(support, &QToolButton::clicked, this, [this] { OpenPage(kDonationPage); });
    cmdStart_ = new QPushButton("Start", this);
    cmdStart_->setObjectName("cmdStart");
    cmdStart_->setAccessibleName("Start");
    cmdStart_->setDefault(true);
    cmdStart_->setAutoDefault(true);
    connect(cmdStart_, &QPushButton::clicked, this, [this, main] {
        main->show();
        close();
    });

    auto* column = new QVBoxLayout(this);
    column->addWidget(logo);
    column->addWidget(product);
    column->addWidget(link);
    column->addWidget(support, 0, Qt::AlignCenter);
    column->addWidget(cmdStart_, 0, Qt::AlignCenter);
    cmdStart_->setFocus();
}

void frmIntro::OpenPage(const QString& address) {
    if (!open_(QUrl(address))) {
        present_("Brimsal", "No web browser could be started. The page is at\n" + address);
    }
}

}  // namespace brimsal
