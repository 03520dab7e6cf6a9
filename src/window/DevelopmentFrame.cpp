#include "window/DevelopmentFrame.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "develop/DevelopTables.h"
#include "window/Controls.h"
#include "window/WhiteBalanceFrame.h"

namespace brimsal {

namespace {

constexpr const char* kTipSat =
    "Set saturation level in case value considered by DCRAW for your camera is wrong";
constexpr const char* kTipQuality = "AHD is usually best but it depends on RAW format";
constexpr const char* kTipHeadroom =
    "Develop with headroom (dcraw -H 1): the white balance multipliers are divided by the "
    "largest, so red and blue no longer clip before the sensor does; the map thresholds follow "
    "each channel's saturation and the blend restores the normal brightness. Not with Camera "
    "white balance";
constexpr const char* kTipHeadroomCamera =
    "Headroom is not available with Camera white balance: the camera's multipliers are known "
    "only once dcraw has read each file, and headroom needs them beforehand. Choose Coeffs, "
    "Preset or Patch to use it";

template <class Rows>
QStringList Captions(const Rows& rows) {
    QStringList captions;
    for (const auto& row : rows) {
        captions << row;
    }
    return captions;
}

}  // namespace

DevelopmentFrame::DevelopmentFrame(QWidget* parent) : QGroupBox("RAW development", parent) {
    Named(this, "fraDevelop", "RAW development");
    auto* grid = new QGridLayout(this);
    chkHLRecovery_ = Toggle("chkHLRecovery", "HL", "Activate highlight recovery", this);
    chkHeadroom_ = Toggle("chkHeadroom", "Headroom", kTipHeadroom, this);
    QStringList satRows;
    for (const auto& row : kSaturationRows) {
        satRows << row.caption;
    }
    cmbSat_ = FixedList("cmbSat", "Saturation level", kTipSat, satRows, this);
    txtSat_ = Named(new QLineEdit(this), "txtSat", "Saturation level", kTipSat);
    cmbQuality_ =
        FixedList("cmbQuality", "Demosaic algorithm", kTipQuality, Captions(kDemosaics), this);
    cmbQuality_->setCurrentIndex(kDemosaicAHD);
    cmbProfile_ = FixedList(
        "cmbProfile", "Output colour profile",
        "Image data are always correct although Brimsal will display wrong colours when sRGB is "
        "not chosen",
        Captions(kProfiles), this);
    cmdDevelop_ = Named(new QPushButton("Develop", this), "cmdDevelop", "Develop",
                        "Develop selected RAW files and sort resulting TIFF files by exposure");
    fraWB_ = new WhiteBalanceFrame(this);

    grid->addWidget(Caption("Saturation level", this, kTipSat), 0, 0);
    grid->addWidget(cmbSat_, 0, 1);
    grid->addWidget(txtSat_, 0, 2);
    grid->addWidget(Caption("Demosaic algorithm", this, kTipQuality), 1, 0);
    grid->addWidget(cmbQuality_, 1, 1, 1, 2);
    grid->addWidget(Caption("Output colour profile", this,
                            "Brimsal will display wrong colours if sRGB is not chosen but image "
                            "RGB values are always correct"),
                    2, 0);
    grid->addWidget(cmbProfile_, 2, 1, 1, 2);
    grid->addWidget(fraWB_, 3, 0, 1, 3);
    grid->addWidget(chkHLRecovery_, 4, 0);
    grid->addWidget(chkHeadroom_, 4, 1);
    grid->addWidget(cmdDevelop_, 4, 2);

    const auto react = [this] { emit developmentSettingChanged(true); };
    connect(chkHLRecovery_, &QPushButton::clicked, this, &DevelopmentFrame::chkHLRecovery_Click);
    // Headroom changes the dcraw line: the usual reaction to a development setting.
    connect(chkHeadroom_, &QPushButton::clicked, this, react);
    connect(cmbSat_, &QComboBox::activated, this, &DevelopmentFrame::cmbSat_Click);
    connect(txtSat_, &QLineEdit::textEdited, this, &DevelopmentFrame::txtSat_Change);
    connect(txtSat_, &QLineEdit::editingFinished, this, &DevelopmentFrame::txtSat_LostFocus);
    connect(cmbQuality_, &QComboBox::activated, this, react);
    connect(cmbProfile_, &QComboBox::activated, this, &DevelopmentFrame::cmbProfile_Click);
    connect(fraWB_, &WhiteBalanceFrame::developmentSettingChanged, this,
            [this](bool disableLaterSteps) {
                ShowHeadroomFor(fraWB_->Settings().mode);
                emit developmentSettingChanged(disableLaterSteps);
            });
    connect(fraWB_, &WhiteBalanceFrame::warningRequested, this,
            &DevelopmentFrame::warningRequested);
}

void DevelopmentFrame::ReadControls(DevelopSettings& settings) const {
    settings.wb = fraWB_->Settings();
    settings.txtSat = txtSat_->text().toStdString();
    settings.cmbSat = cmbSatListIndex_;
    settings.quality = cmbQuality_->currentIndex();
    settings.profile = cmbProfile_->currentIndex();
    settings.hlRecovery = chkHLRecovery_->isChecked();
    settings.headroom = chkHeadroom_->isChecked();
}

void DevelopmentFrame::ShowHeadroomFor(WBMode mode) {
    const bool camera = mode == WBMode::kCamera;
    if (camera == headroomAside_) {
        return;
    }
    headroomAside_ = camera;
    // The user's choice comes back when a mode with known multipliers is chosen again.
    if (camera) {
        headroomChosen_ = chkHeadroom_->isChecked();
    }
    chkHeadroom_->setChecked(!camera && headroomChosen_);
    chkHeadroom_->setEnabled(!camera);
    chkHeadroom_->setToolTip(camera ? kTipHeadroomCamera : kTipHeadroom);
}

void DevelopmentFrame::chkHLRecovery_Click() {
    emit highlightRecoveryChanged();
    if (!hlWarningShown_) {
        hlWarningShown_ = true;
        emit warningRequested(kHLRecoveryWarning);
    }
}

void DevelopmentFrame::ShowSaturation(const DevelopSettings& settings) {
    cmbSatListIndex_ = settings.cmbSat;
    cmbSat_->setCurrentIndex(cmbSatListIndex_);
    txtSat_->setText(QText(settings.txtSat));
}

void DevelopmentFrame::cmbSat_Click(int row) {
    DevelopSettings settings;
    ReadControls(settings);
    ChooseSaturationRow(settings, row);
    ShowSaturation(settings);
    emit developmentSettingChanged(true);
}

void DevelopmentFrame::txtSat_Change() {
    const QString filtered = QText(FilterTxtSat(txtSat_->text().toStdString()));
    if (filtered != txtSat_->text()) {
        txtSat_->setText(filtered);
    }
}

void DevelopmentFrame::txtSat_LostFocus() {
    DevelopSettings settings;
    ReadControls(settings);
    LeaveTxtSat(settings);
    ShowSaturation(settings);
    emit developmentSettingChanged(true);
}

void DevelopmentFrame::cmbProfile_Click(int row) {
    DevelopSettings settings;
    ReadControls(settings);
    cmbProfile_->setCurrentIndex(row);
    emit gammaTied(ChooseProfile(settings, row));
    emit developmentSettingChanged(true);
}

}  // namespace brimsal
