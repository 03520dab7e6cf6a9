#include "window/BlendingFrame.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>

#include "base/NumberText.h"
#include "window/Controls.h"

namespace brimsal {

BlendingFrame::BlendingFrame(QWidget* parent) : QGroupBox("Image blending", parent) {
    Named(this, "fraBlend", "Image blending");
    auto* grid = new QGridLayout(this);
    cmdBlend_ = Named(new QPushButton("Colour", this), "cmdBlend", "Colour",
                      "Blend images with colour output");
    cmdBlendBW_ =
        Named(new QPushButton("B&&W", this), "cmdBlendBW", "B&W", "Blend images with B&W output");
    cmdTestBW_ = Named(new QPushButton("T", this), "cmdTestBW", "T",
                       "Generate B&W channel mix contact sheet (2.2 gamma GIF)");
    chkETTR_ = Toggle("chkETTR", "ETTR", "Force exposed to the right output histogram", this);
    chkFloat_ = Toggle("chkFloat", "Float",
                       "32-bit floating point linear output TIFF (1.0 = 65535), not clipped, "
                       "named with _float",
                       this);
    hscGamma_ = Bar("hscGamma", "Output gamma", kGammaRange, this);
    lblGamma_ = Named(new QLabel(this), "lblGamma", "Output gamma value",
                      "High precision (floating point) gamma correction");
    hscBWR_ = Bar("hscBWR", "B&W channel mix R", kBWRRange, this);
    lblBWR_ = Named(new QLabel("33%", this), "lblBWR", "R channel mix", "R channel mix");
    hscBWB_ = Bar("hscBWB", "B&W channel mix B", kBWBRange, this);
    lblBWB_ = Named(new QLabel("33%", this), "lblBWB", "B channel mix", "B channel mix");
    txtRutaMap_ = Locked("txtRutaMap", "Blending map", "Blending map file and pathname", this);
    cmdSelMap_ = Named(new QPushButton("...", this), "cmdSelMap", "...",
                       "Set blending map file and pathname");
    constexpr const char* kTipAEB =
        "Auto exposure bracketing to ease tone mapping using programs such as TuFuse, "
        "Photomatix,...";
    hscBracketNum_ = Bar("hscBracketNum", "Output AEB Num", kBracketNumRange, this);
    hscBracketNum_->setToolTip("Number of bracketed images");
    hscBracketEV_ = Bar("hscBracketEV", "Output AEB EV", kBracketEVRange, this);
    hscBracketEV_->setToolTip("Exposure gap of bracketed images");
    txtBracket_ = Locked("txtBracket", "Output AEB", kTipAEB, this);
    ActualizarBracketing();

    auto* buttons = new QHBoxLayout;
    for (QPushButton* button : {cmdBlend_, cmdBlendBW_, cmdTestBW_, chkETTR_, chkFloat_}) {
        buttons->addWidget(button);
    }
    grid->addLayout(buttons, 0, 0, 1, 4);
    grid->addWidget(Caption("Output gamma", this, "High precision floating point gamma correction"),
                    1, 0);
    grid->addWidget(hscGamma_, 1, 1, 1, 2);
    grid->addWidget(lblGamma_, 1, 3);
    grid->addWidget(Caption("B&W channel mix", this, "RGB channel mixer for B&W output"), 2, 0);
    grid->addWidget(Caption("R", this), 2, 1);
    grid->addWidget(hscBWR_, 2, 2);
    grid->addWidget(lblBWR_, 2, 3);
    grid->addWidget(Caption("B", this), 3, 1);
    grid->addWidget(hscBWB_, 3, 2);
    grid->addWidget(lblBWB_, 3, 3);
    grid->addWidget(Caption("Blending map", this), 4, 0);
    grid->addWidget(txtRutaMap_, 4, 1, 1, 2);
    grid->addWidget(cmdSelMap_, 4, 3);
    grid->addWidget(Caption("Output AEB", this, kTipAEB), 5, 0);
    grid->addWidget(Caption("Num", this, "Number of bracketed images"), 5, 1);
    grid->addWidget(hscBracketNum_, 5, 2);
    grid->addWidget(Caption("EV", this, "Exposure gap of bracketed images"), 6, 1);
    grid->addWidget(hscBracketEV_, 6, 2);
    grid->addWidget(txtBracket_, 7, 1, 1, 3);

    const auto showGamma = [this](int value) {
        lblGamma_->setText(QText(NumberText(value / 10.0)));
    };
    showGamma(hscGamma_->value());
    connect(hscGamma_, &QScrollBar::valueChanged, this, showGamma);
    connect(hscBWR_, &QScrollBar::valueChanged, this, &BlendingFrame::hscBWR_Change);
    connect(hscBWB_, &QScrollBar::valueChanged, this, &BlendingFrame::hscBWB_Change);
    connect(hscBracketNum_, &QScrollBar::valueChanged, this, &BlendingFrame::ActualizarBracketing);
    connect(hscBracketEV_, &QScrollBar::valueChanged, this, &BlendingFrame::ActualizarBracketing);
}

void BlendingFrame::ReadControls(BlendSettings& settings) const {
    settings.BWR = hscBWR_->value();
    settings.BWB = hscBWB_->value();
    settings.Gamma10 = hscGamma_->value();
    settings.ETTR = chkETTR_->isChecked();
    settings.floatOutput = chkFloat_->isChecked();
    settings.NumBracketing = hscBracketNum_->value();
    settings.PasoBracketing = hscBracketEV_->value();
}

void BlendingFrame::EnableMapSteps(bool enable) {
    cmdBlend_->setEnabled(enable);
    cmdBlendBW_->setEnabled(enable);
    cmdTestBW_->setEnabled(enable);
}

void BlendingFrame::SetGamma10(int gamma10) {
    hscGamma_->setValue(gamma10);
}

std::string BlendingFrame::MapPath() const {
    return txtRutaMap_->text().toStdString();
}

void BlendingFrame::ShowMapPath(const std::string& path) {
    txtRutaMap_->setText(QText(path));
}

void BlendingFrame::hscBWR_Change(int value) {
    lblBWR_->setText(QString::number(value) + '%');
    if (value + hscBWB_->value() >= 101) {
        hscBWB_->setValue(kWholeMix - value);
    }
}

void BlendingFrame::hscBWB_Change(int value) {
    lblBWB_->setText(QString::number(value) + '%');
    if (value + hscBWR_->value() >= 101) {
        hscBWR_->setValue(kWholeMix - value);
    }
}

void BlendingFrame::ActualizarBracketing() {
    txtBracket_->setText(QText(BracketText(hscBracketNum_->value(), hscBracketEV_->value())));
}

}  // namespace brimsal
