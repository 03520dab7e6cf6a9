// The "White balance" frame of the main window: the mode buttons optWB, the coefficient boxes
// txtWB, the preset list cmbWB, the patch shape button cmdParche, Calc WB, and the (disabled)
// temperature and tint bars. It owns the WB patch and, once attached to the picture box, the
// patch drag on it and the pointer read-out.
//
// The frame never starts a development itself: it asks for the settings reaction
// (developmentSettingChanged) and for the measurement (calcWBRequested); the window runs them.
#pragma once

#include <QGroupBox>
#include <QImage>
#include <QPoint>
#include <QString>
#include <array>
#include <string>

class QButtonGroup;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QScrollBar;

#include "whitebalance/WBPatch.h"
#include "whitebalance/WhiteBalance.h"

namespace brimsal {

class PictureView;

class WhiteBalanceFrame : public QGroupBox {
    Q_OBJECT

  public:
    explicit WhiteBalanceFrame(QWidget* parent = nullptr);

    // The WB settings as the controls hold them now (mode, preset row, coefficient texts).
    WhiteBalanceSettings Settings() const;
    // The WB patch (points as fractions of the displayed picture, shape, drag state).
    WBPatch& Patch() { return patch_; }
    const WBPatch& Patch() const { return patch_; }

    // Writes the three coefficient texts (red, green, blue), as the patch measurement does.
    void SetTxtWB(const std::array<std::string, 3>& texts);
    // Whether the multipliers can be developed with (MultiplierProblem): a box whose text
    // cannot is marked, its tool tip saying what is accepted, and Calc WB stays disabled.
    bool MultipliersUsable() const;

    // Attaches the picture box: a drag on it defines the patch, pointer moves update the
    // read-out (readOut), and a new picture is shown with the patch outline when the Patch
    // mode is selected and a patch is defined.
    void AttachPicture(PictureView* view);

    // DibujarPatch: the displayed picture with the patch outline, on a copy; shown in the
    // picture box (with the centre cross), or put on the clipboard without the cross when
    // `copyToClipboard`. Nothing happens while no picture is displayed.
    void DibujarPatch(bool copyToClipboard);
    // The copy DibujarPatch would show or copy.
    QImage PictureWithPatch(bool withCross) const;

    // Accessors for the window's gating and for tests.
    QRadioButton* optWB(int index) const { return optWB_[index]; }
    QLineEdit* txtWB(int index) const { return txtWB_[index]; }
    QComboBox* cmbWB() const { return cmbWB_; }
    QPushButton* cmdParche() const { return cmdParche_; }
    QPushButton* cmdCalculateWB() const { return cmdCalculateWB_; }
    QScrollBar* hscTemp() const { return hscTemp_; }
    QScrollBar* hscTint() const { return hscTint_; }

    // The mode button handling and the preset choice, as a click on them runs it.
    void optWB_Click(int index);
    void cmbWB_Click(int row);

  signals:
    // A development setting may have changed: recompose the command line and develop again;
    // `disableLaterSteps` is false for the callers that keep the later steps enabled.
    void developmentSettingChanged(bool disableLaterSteps);
    // Calc WB was clicked with a patch defined: run the measurement road.
    void calcWBRequested();
    // The warning box to show (the first choice of the Camera mode in this run).
    void warningRequested(const QString& text);
    // The pointer read-out for lblXY: the position, or the two points while dragging.
    void readOut(const QString& text);
    // The multipliers were checked after a change of a box or of the mode.
    void multipliersChecked(bool usable);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void ShowSettings(const WhiteBalanceSettings& wb);
    // Marks each box whose text cannot be developed with, and says whether all can.
    void CheckCoefficients();
    // Calc WB is live in the Patch mode with a patch and multipliers that can be developed with.
    void ShowCalcWB();
    void cmbWB_Change();
    void txtWB_LostFocus(int index);
    void cmdParche_Click();
    void pctImagen_MouseDown(QPoint position);
    void pctImagen_MouseMove(QPoint position);
    void pctImagen_MouseUp(QPoint position);
    void NewPicture();
    void ToImageFractions(QPoint position, double& fx, double& fy) const;

    std::array<QRadioButton*, 5> optWB_{};
    QButtonGroup* optWBGroup_ = nullptr;
    std::array<QLineEdit*, 3> txtWB_{};
    QComboBox* cmbWB_ = nullptr;
    QPushButton* cmdParche_ = nullptr;
    QPushButton* cmdCalculateWB_ = nullptr;
    QScrollBar* hscTemp_ = nullptr;
    QScrollBar* hscTint_ = nullptr;
    PictureView* view_ = nullptr;

    WBPatch patch_;
    WBPatch patchBeforeDrag_;  // restored when a step starts during a drag
    int cmbWBListIndex_ = kDaylightPreset;
    bool AvisoWBMostrado_ = false;
};

}  // namespace brimsal
