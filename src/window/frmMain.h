// frmMain, the main window "Brimsal v1.1": the reference file and its RAW set, the five framed
// groups of settings and steps, the log, the displayed reference image and the progress bar with
// Cancel. The controls hold the settings; a step reads them into one RoadSettings value when it
// starts and runs the road (app/Road) on the window's one worker (StepRunner), so the window
// stays live and every step can be cancelled. Controls carry their program names (cmdEV, hscTH)
// as object names and their captions (or their labels' texts) as accessible names.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <string>

#include "base/UserChannel.h"
#include "develop/DevelopSettings.h"
#include "road/Road.h"
#include "road/Session.h"
#include "window/StepRunner.h"
#include "window/WindowChannel.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QScrollBar;

namespace brimsal {

class PictureView;
class WhiteBalanceFrame;

// Asks the user for an existing file: the dialog's title, its filter ("Name (*.a *.b);;...")
// and the folder it opens in. Returns the chosen path, "" when cancelled.
using FileChooser =
    std::function<std::string(const QString& title, const QString& filter, const QString& folder)>;

// The chooser of the running program: the system's file-open dialog.
FileChooser DialogFileChooser(QWidget* parent);

class frmMain : public QWidget {
    Q_OBJECT

  public:
    explicit frmMain(QWidget* parent = nullptr);
    ~frmMain() override;

    // The settings the controls hold now, as the steps read them.
    RoadSettings RoadSettingsFromControls() const;

    // ReaccionCambioRevelado: a development setting may have changed. When the quick command
    // line differs from lblDCRAW's, it is shown, the later steps are disabled (unless
    // `disableLaterSteps` is false) and the displayed reference is developed again.
    void ReaccionCambioRevelado(bool disableLaterSteps);

    // The reference-file choice after the dialog (also a dropped file and the program's
    // argument): "No file has been selected" for "" or the current reference; otherwise the
    // listing and the quick development of the new reference.
    void ChooseReference(const std::string& path);
    // Chooses `path` as the reference once the window is shown.
    void ChooseOnShow(const std::string& path) { path_on_show_ = path; }

    // Runs a step on the worker (see StepRunner::Run); the window is gated while it runs.
    // False when another step is running.
    bool RunStep(const std::string& module, std::function<void(UserChannel&)> work,
                 std::function<void()> done = {});
    // The quick development of the reference for display (queued until the running step ends).
    void QuickDevelop();
    // Calc WB: the patch measured on the neutral development of the reference (at once when that
    // is the development shown), its multipliers written into the coefficient boxes, and the
    // reference developed again with them and shown.
    void cmdCalculateWB_Click();
    // The displayed reference: shows `shown` and ends the quick development's log.
    void ShowDevelopment(const QImage& shown, const std::string& raw_path);

    bool ImagenMostrada() const;
    Session& CurrentSession() { return session_; }
    WindowChannel& Channel() { return channel_; }
    StepRunner& Runner() { return runner_; }
    WhiteBalanceFrame* fraWB() const { return fraWB_; }
    PictureView* pctImagen() const { return pctImagen_; }

    // Replaces the file dialog and the box presenter (tests).
    void SetFileChooser(FileChooser chooser) { choose_file_ = std::move(chooser); }
    void SetBoxPresenter(BoxPresenter presenter) { channel_.SetPresenter(std::move(presenter)); }

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void BuildControls();
    QWidget* BuildDevelopment();
    QWidget* BuildMap();
    QWidget* BuildBlending();
    QWidget* BuildDCRAW();
    void ConnectChannel();

    // Disables the step buttons from `first` on, in workflow order (cmdDevelop, cmdEV,
    // cmdBuildMap, then cmdBlend, cmdBlendBW and cmdTestBW together).
    void DisableFrom(QPushButton* first);
    // A development of the reference on the worker that ends with its TIFF on display: `develop`
    // gets the settings the controls hold now and may measure the white balance into them.
    void DevelopAndShow(const std::string& module,
                        std::function<DevelopResult(DevelopSettings&, UserChannel&)> develop);
    void ShowBusy(bool busy);
    void AppendToLog(const QString& line, bool append);
    void ShowProgress(const QString& text);

    void cmdSeleccionar_Click();
    void cmdDevelop_Click();
    void cmdEV_Click();
    void cmdEVMethod_Click();
    void cmdBuildMap_Click();
    void cmdBlend_Click(bool bw);
    void cmdTestBW_Click();
    void cmdSelMap_Click();
    void cmdCopyClipBoard_Click();
    void chkHLRecovery_Click();
    void cmbSat_Click(int row);
    void txtSat_Change();
    void txtSat_LostFocus();
    void cmbQuality_Click(int row);
    void cmbProfile_Click(int row);
    void txtDCRAW_LostFocus();
    void hscBWR_Change(int value);
    void hscBWB_Change(int value);
    void ActualizarBracketing();

    WindowChannel channel_;
    StepRunner runner_;
    Session session_;
    FileChooser choose_file_;

    bool MetodoEVPromedio_ = RelativeExposureSettings{}.average;
    bool hlWarningShown_ = false;
    int cmbSatListIndex_ = 0;
    bool quick_pending_ = false;  // a quick development asked for while a step ran
    bool close_pending_ = false;  // the window was closed while a step ran
    std::string path_on_show_;
    QString log_;

    // Loose controls.
    QLineEdit* txtRuta_ = nullptr;
    QPushButton* cmdSeleccionar_ = nullptr;
    QPlainTextEdit* txtFiles_ = nullptr;
    QPlainTextEdit* txtStatus_ = nullptr;
    PictureView* pctImagen_ = nullptr;
    QLabel* lblXY_ = nullptr;
    QPushButton* cmdCopyClipBoard_ = nullptr;
    QPushButton* cmdSalir_ = nullptr;
    QProgressBar* prgStep_ = nullptr;
    QPushButton* cmdCancel_ = nullptr;
    // "RAW development".
    QGroupBox* fraDevelop_ = nullptr;
    QPushButton* chkHLRecovery_ = nullptr;
    QPushButton* chkHeadroom_ = nullptr;
    QComboBox* cmbSat_ = nullptr;
    QLineEdit* txtSat_ = nullptr;
    QComboBox* cmbQuality_ = nullptr;
    QComboBox* cmbProfile_ = nullptr;
    QPushButton* cmdDevelop_ = nullptr;
    WhiteBalanceFrame* fraWB_ = nullptr;
    // "Calc EV / Build map".
    QGroupBox* fraMap_ = nullptr;
    QPushButton* cmdEV_ = nullptr;
    QPushButton* cmdEVMethod_ = nullptr;
    QPushButton* cmdBuildMap_ = nullptr;
    QScrollBar* hscTH_ = nullptr;
    QScrollBar* hscAntiGhost_ = nullptr;
    QScrollBar* hscProgressive_ = nullptr;
    // "Image blending".
    QGroupBox* fraBlend_ = nullptr;
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
    // "DCRAW command line".
    QGroupBox* fraDCRAW_ = nullptr;
    QLabel* lblDCRAW_ = nullptr;
    QLineEdit* txtDCRAW_ = nullptr;
};

}  // namespace brimsal
