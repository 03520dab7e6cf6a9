#include "window/DcrawLineFrame.h"

#include <QFontDatabase>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

#include "window/Controls.h"

namespace brimsal {

namespace {

constexpr const char* kTipDCRAW =
    "DCRAW command introduced by the user. Use this option at your own risk, no syntax checking";

}  // namespace

DcrawLineFrame::DcrawLineFrame(QWidget* parent) : QGroupBox("DCRAW command line", parent) {
    Named(this, "fraDCRAW", "DCRAW command line");
    auto* grid = new QGridLayout(this);
    lblDCRAW_ = Named(new QLabel(this), "lblDCRAW", "DCRAW command line");
    lblDCRAW_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    lblDCRAW_->setWordWrap(true);
    lblDCRAW_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    txtDCRAW_ = Named(new QLineEdit(this), "txtDCRAW", "User DCRAW", kTipDCRAW);
    grid->addWidget(lblDCRAW_, 0, 0, 1, 2);
    grid->addWidget(Caption("User DCRAW", this, kTipDCRAW), 1, 0);
    grid->addWidget(txtDCRAW_, 1, 1);
    connect(txtDCRAW_, &QLineEdit::editingFinished, this, &DcrawLineFrame::txtDCRAW_LostFocus);
}

void DcrawLineFrame::ReadControls(DevelopSettings& settings) const {
    settings.txtDCRAW = txtDCRAW_->text().toStdString();
}

std::string DcrawLineFrame::ShownLine() const {
    return lblDCRAW_->text().toStdString();
}

void DcrawLineFrame::ShowLine(const QString& line) {
    lblDCRAW_->setText(line);
}

void DcrawLineFrame::txtDCRAW_LostFocus() {
    txtDCRAW_->setText(QText(CleanTxtDCRAW(txtDCRAW_->text().toStdString())));
    emit developmentSettingChanged(false);
}

}  // namespace brimsal
