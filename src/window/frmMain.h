// frmMain, the main window "Brimsal v1.1": the reference file and its RAW set, the framed groups
// of settings and steps ("RAW development" with "White balance", "DCRAW command line", "Calc EV /
// Build map", "Image blending"), the displayed reference with its read-out, and the log with the
// progress bar and Cancel. Each group is its own class that holds its part of the settings; the
// window lays them out, reads them into one RoadSettings value when a step starts, gates the
// steps and runs the road (road/Road) on its one worker (StepRunner), so the window stays live
// and every step can be cancelled. Controls carry their program names (cmdEV, hscTH) as object
// names and their captions (or their labels' texts) as accessible names.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <string>

#include "base/UserChannel.h"
#include "develop/DevelopJobs.h"
#include "road/RoadSettings.h"
#include "road/Session.h"
#include "window/StepRunner.h"
#include "window/WindowChannel.h"

class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTimer;

namespace brimsal {

class BlendingFrame;
class DcrawLineFrame;
class DevelopmentFrame;
class LogPanel;
class MapFrame;
class PicturePanel;
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

    // Chooses `path` as the reference once the window is shown.
    void ChooseOnShow(const std::string& path) { path_on_show_ = path; }

    // ImagenMostrada: a reference has been displayed.
    bool ImagenMostrada() const;
    // The worker the steps run on (its started and finished signals gate the window).
    StepRunner& Runner() { return runner_; }
    WhiteBalanceFrame* fraWB() const;
    PictureView* pctImagen() const;

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
    void ConnectFrames();
    void ConnectChannel();

    // ReaccionCambioRevelado: a development setting may have changed. When the quick command
    // line differs from lblDCRAW's, it is shown, the later steps are disabled (unless
    // `disableLaterSteps` is false) and the displayed reference is developed again.
    void ReaccionCambioRevelado(bool disableLaterSteps);

    // The reference-file choice after the dialog (also a dropped file and the program's
    // argument): "No file has been selected" for "" or the current reference; otherwise the
    // listing and the quick development of the new reference.
    void ChooseReference(const std::string& path);

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
    // The displayed reference, developed with `settings` into `tiff` (read again to fit the
    // picture to a resized box): shows `shown` with the note of a headroom development, and
    // ends the quick development's log.
    void ShowDevelopment(const QImage& shown, const std::string& tiff, const std::string& raw_path,
                         const DevelopSettings& settings);

    // Disables the step buttons from `first` on, in workflow order (cmdDevelop, cmdEV,
    // cmdBuildMap, then cmdBlend, cmdBlendBW and cmdTestBW together), and counts it in
    // disables_: a step's end enables the next step only when nothing was disabled while it ran
    // (a settings change then, such as a text box left as the step started, has the last word).
    void DisableFrom(QPushButton* first);
    // cmdDevelop is live once the reference is on display with the settings shown
    // (develop_ready_) and while the multipliers can be developed with.
    void ShowDevelopGate();
    // A development of the reference on the worker that ends with its TIFF on display: `develop`
    // gets the settings the controls hold now and may measure the white balance into them.
    void DevelopAndShow(const std::string& module,
                        std::function<DevelopResult(DevelopSettings&, UserChannel&)> develop);
    void ShowBusy(bool busy);
    // The window's first size and place: as large as the available area of its screen allows,
    // frame and title bar included, and inside that area.
    void FitToScreen();
    // The displayed picture fitted to the picture box again from its TIFF, once the box keeps
    // still (after the running step, which may be writing that TIFF).
    void RefitPicture();

    void cmdSeleccionar_Click();
    void cmdDevelop_Click();
    void cmdEV_Click();
    void cmdBuildMap_Click();
    void cmdBlend_Click(bool bw);
    void cmdTestBW_Click();
    void cmdSelMap_Click();
    void cmdCopyClipBoard_Click();

    WindowChannel channel_;
    StepRunner runner_;
    Session session_;
    FileChooser choose_file_;

    bool quick_pending_ = false;  // a quick development asked for while a step ran
    bool close_pending_ = false;  // the window was closed while a step ran
    unsigned disables_ = 0;       // DisableFrom calls so far
    bool refit_pending_ = false;  // the picture box changed size while a step ran
    bool placed_ = false;         // the first show has sized and placed the window
    bool develop_ready_ = false;  // the reference is displayed as the settings develop it
    std::string shown_tiff_;      // the TIFF the displayed picture was made from
    QTimer* refit_ = nullptr;
    std::string path_on_show_;

    // The reference file and its set, and Exit.
    QLineEdit* txtRuta_ = nullptr;
    QPushButton* cmdSeleccionar_ = nullptr;
    QPlainTextEdit* txtFiles_ = nullptr;
    QPushButton* cmdSalir_ = nullptr;
    // The groups.
    DevelopmentFrame* fraDevelop_ = nullptr;
    DcrawLineFrame* fraDCRAW_ = nullptr;
    MapFrame* fraMap_ = nullptr;
    BlendingFrame* fraBlend_ = nullptr;
    PicturePanel* picture_ = nullptr;
    LogPanel* log_ = nullptr;
};

}  // namespace brimsal
