// The "Image blending" frame of the main window: the step buttons cmdBlend, cmdBlendBW and
// cmdTestBW, the toggles chkETTR and chkFloat, the output gamma hscGamma, the B&W channel mix
// hscBWR and hscBWB (never summing above 100), the map file txtRutaMap with its choice cmdSelMap,
// and the output bracketing hscBracketNum, hscBracketEV and its read-out txtBracket. The window
// runs the steps and the map choice.
#pragma once

#include <QGroupBox>
#include <string>

#include "blend/BlendSettings.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;

namespace brimsal {

class BlendingFrame : public QGroupBox {
    Q_OBJECT

  public:
    explicit BlendingFrame(QWidget* parent = nullptr);

    // Reads the frame's controls into `settings` (all but the profile and the development's
    // scale, which follow the development).
    void ReadControls(BlendSettings& settings) const;

    // Enables or disables the three steps that read a map: cmdBlend, cmdBlendBW and cmdTestBW.
    void EnableMapSteps(bool enable);
    // Moves hscGamma to `gamma10` (a profile ties the gamma).
    void SetGamma10(int gamma10);
    // The map file txtRutaMap shows ("" before the first map).
    std::string MapPath() const;
    void ShowMapPath(const std::string& path);

    QPushButton* cmdBlend() const { return cmdBlend_; }
    QPushButton* cmdBlendBW() const { return cmdBlendBW_; }
    QPushButton* cmdTestBW() const { return cmdTestBW_; }
    QPushButton* cmdSelMap() const { return cmdSelMap_; }

  private:
    void hscBWR_Change(int value);
    void hscBWB_Change(int value);
    void ActualizarBracketing();

    QPushButton* cmdBlend_ = nullptr;
    QPushButton* cmdBlendBW_ = nullptr;
    QPushButton* cmdTestBW_ = nullptr;
    QPushButton* chkETTR_ = nullptr;
    QPushButton* chkFloat_ = nullptr;
    QScrollBar* hscGamma_ = nullptr;
    QLabel* lblGamma_ = nullptr;
    QScrollBar* hscBWR_ = nullptr;
    QLabel* lblBWR_ = nullptr;
    QScrollBar* hscBWB_ = nullptr;
    QLabel* lblBWB_ = nullptr;
    QLineEdit* txtRutaMap_ = nullptr;
    QPushButton* cmdSelMap_ = nullptr;
    QScrollBar* hscBracketNum_ = nullptr;
    QScrollBar* hscBracketEV_ = nullptr;
    QLineEdit* txtBracket_ = nullptr;
};

}  // namespace brimsal
