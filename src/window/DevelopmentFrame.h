// The "RAW development" frame of the main window: the saturation list cmbSat and its box txtSat,
// the demosaic list cmbQuality, the output profile list cmbProfile, the nested "White balance"
// frame, the toggles chkHLRecovery and chkHeadroom, and the step button cmdDevelop. It holds every
// development setting but the user's own dcraw options (the "DCRAW command line" frame).
//
// The frame never starts a development itself: it asks for the settings reaction
// (developmentSettingChanged); the window runs it, gates the steps and runs Develop.
#pragma once

#include <QGroupBox>
#include <QString>

#include "develop/DevelopSettings.h"

class QComboBox;
class QLineEdit;
class QPushButton;

namespace brimsal {

class WhiteBalanceFrame;

class DevelopmentFrame : public QGroupBox {
    Q_OBJECT

  public:
    explicit DevelopmentFrame(QWidget* parent = nullptr);

    // Reads the frame's controls into `settings` (every development setting but txtDCRAW).
    void ReadControls(DevelopSettings& settings) const;

    // The saturation row and the profile row chosen, as a click on the lists runs it.
    void cmbSat_Click(int row);
    void cmbProfile_Click(int row);

    WhiteBalanceFrame* fraWB() const { return fraWB_; }
    QPushButton* cmdDevelop() const { return cmdDevelop_; }

  signals:
    // A development setting may have changed (also forwarded from the white-balance frame);
    // `disableLaterSteps` is false for the callers that keep the later steps enabled.
    void developmentSettingChanged(bool disableLaterSteps);
    // chkHLRecovery was clicked: the developed set no longer matches it.
    void highlightRecoveryChanged();
    // The output gamma x 10 the chosen profile ties hscGamma to.
    void gammaTied(int gamma10);
    // The warning box to show (the first click of chkHLRecovery, the first Camera mode).
    void warningRequested(const QString& text);

  private:
    void chkHLRecovery_Click();
    void txtSat_Change();
    void txtSat_LostFocus();
    // Shows the saturation row and level of `settings` in cmbSat and txtSat.
    void ShowSaturation(const DevelopSettings& settings);
    // Headroom needs multipliers known beforehand: under Camera white balance it is off and
    // disabled, its tool tip saying why.
    void ShowHeadroomFor(WBMode mode);

    QPushButton* chkHLRecovery_ = nullptr;
    QPushButton* chkHeadroom_ = nullptr;
    QComboBox* cmbSat_ = nullptr;
    QLineEdit* txtSat_ = nullptr;
    QComboBox* cmbQuality_ = nullptr;
    QComboBox* cmbProfile_ = nullptr;
    QPushButton* cmdDevelop_ = nullptr;
    WhiteBalanceFrame* fraWB_ = nullptr;

    int cmbSatListIndex_ = 0;
    bool hlWarningShown_ = false;
    bool headroomAside_ = false;   // chkHeadroom off and disabled: Camera white balance
    bool headroomChosen_ = false;  // chkHeadroom as the user left it before Camera was chosen
};

}  // namespace brimsal
