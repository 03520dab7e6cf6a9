#include "window/frmMain.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <array>
#include <initializer_list>
#include <memory>
#include <utility>

#include "base/Paths.h"
#include "develop/DcrawCommand.h"
#include "develop/DevelopTables.h"
#include "develop/RawFileSet.h"
#include "road/Road.h"
#include "whitebalance/WBPatch.h"
#include "window/BlendingFrame.h"
#include "window/Controls.h"
#include "window/DcrawLineFrame.h"
#include "window/DevelopmentFrame.h"
#include "window/Display.h"
#include "window/DisplayImage.h"
#include "window/LogPanel.h"
#include "window/MapFrame.h"
#include "window/PicturePanel.h"
#include "window/PictureView.h"
#include "window/WhiteBalanceFrame.h"

namespace brimsal {

namespace {

// The file chooser's filter for a reference: the extensions of every RAW format dcraw reads, in
// either case (some file dialogs match a pattern's case), then every file.
QString RawFilesFilter() {
    QStringList patterns;
    for (const char* extension : kRawExtensions) {
        const QString pattern = QString("*.") + extension;
        patterns << pattern << pattern.toUpper();
    }
    return "RAW files (" + patterns.join(' ') + ");;All files (*)";
}

constexpr const char* kHowToBegin =
    "To begin, choose one RAW file of your bracket with the \"...\" button beside the file "
    "box or Ctrl+O, or drop the file here. The files of its folder with the same extension "
    "are the set.";

// Characters of a log line shown without wrapping, at the least.
constexpr int kLogColumns = 34;
// How long the picture box keeps still before the picture is fitted to it again.
constexpr int kRefitDelayMs = 150;

// A column of the window as wide as its controls need and no wider.
QWidget* NarrowColumn(QLayout* layout, QWidget* parent) {
    auto* column = new QWidget(parent);
    layout->setContentsMargins(0, 0, 0, 0);
    column->setLayout(layout);
    column->setMaximumWidth(column->minimumSizeHint().width());
    return column;
}

// The folder of a path ("" for none), where a file dialog opens.
QString FolderOf(const QString& path) {
    return path.contains('/') ? QText(CarpetaDeRuta(path.toStdString())) : QString();
}

}  // namespace

FileChooser DialogFileChooser(QWidget* parent) {
    return [parent](const QString& title, const QString& filter, const QString& folder) {
        return QFileDialog::getOpenFileName(parent, title, folder, filter).toStdString();
    };
}

frmMain::frmMain(QWidget* parent)
    : QWidget(parent),
      channel_(MessageBoxPresenter(this)),
      runner_(channel_),
      choose_file_(DialogFileChooser(this)) {
    setObjectName("frmMain");
    setWindowTitle("Brimsal v1.1");
    setAccessibleName("Brimsal v1.1");
    setAcceptDrops(true);
    BuildControls();
    ConnectFrames();
    ConnectChannel();

    // Start-up: the lists at their start rows (their clicks run, as at load), the quick
    // command line shown. The WB frame has selected its Daylight preset itself.
    fraDevelop_->cmbSat_Click(0);
    fraDevelop_->cmbProfile_Click(kProfileSRGB);
    fraDCRAW_->ShowLine(QText(QuickLine(RoadSettingsFromControls().develop)));
    DisableFrom(fraDevelop_->cmdDevelop());
    picture_->cmdCopyClipBoard()->setEnabled(false);
    ShowBusy(false);
}

// The worker uses the session and the channel: it ends before they go.
frmMain::~frmMain() {
    runner_.CancelAndWait();
}

void frmMain::BuildControls() {
    txtRuta_ = Locked("txtRuta", "Reference RAW file",
                      "Reference RAW file for path and quick display", this);
    cmdSeleccionar_ = Named(new QPushButton("...", this), "cmdSeleccionar", "...",
                            "Set reference RAW file and pathname");
    cmdSeleccionar_->setShortcut(QKeySequence::Open);
    txtFiles_ = LockedList("txtFiles", "RAW files in path", this);
    log_ = new LogPanel(this);
    picture_ = new PicturePanel(this);
    pctImagen()->SetHint(kHowToBegin);
    cmdSalir_ = Named(new QPushButton("Exit", this), "cmdSalir", "Exit");
    fraDevelop_ = new DevelopmentFrame(this);
    fraDCRAW_ = new DcrawLineFrame(this);
    fraMap_ = new MapFrame(this);
    fraBlend_ = new BlendingFrame(this);
    // Tab goes through the controls in the order they are made, but Cancel follows Exit.
    setTabOrder(cmdSalir_, log_->cmdCancel());

    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(txtRuta_, 1);
    pathRow->addWidget(cmdSeleccionar_);
    // The picture takes every pixel the settings leave: they stand in the side columns, the
    // blending frame under the picture (its steps come last).
    auto* left = new QVBoxLayout;
    left->addLayout(pathRow);
    left->addWidget(fraDevelop_);
    left->addWidget(fraDCRAW_);
    left->addWidget(fraMap_);
    left->addStretch(1);

    auto* middle = new QVBoxLayout;
    middle->addWidget(picture_, 1);
    middle->addWidget(fraBlend_);

    auto* right = new QVBoxLayout;
    right->addWidget(Caption("RAW files in path", this));
    right->addWidget(txtFiles_, 1);
    right->addWidget(log_, 3);
    right->addWidget(cmdSalir_, 0, Qt::AlignRight);
    log_->setMinimumWidth(fontMetrics().averageCharWidth() * kLogColumns);

    auto* columns = new QHBoxLayout(this);
    columns->addWidget(NarrowColumn(left, this));
    columns->addLayout(middle, 1);
    columns->addWidget(NarrowColumn(right, this));
}

void frmMain::ConnectFrames() {
    connect(cmdSeleccionar_, &QPushButton::clicked, this, &frmMain::cmdSeleccionar_Click);
    connect(cmdSalir_, &QPushButton::clicked, this, &QWidget::close);

    WhiteBalanceFrame* wb = fraDevelop_->fraWB();
    wb->AttachPicture(pctImagen());
    connect(fraDevelop_, &DevelopmentFrame::developmentSettingChanged, this,
            &frmMain::ReaccionCambioRevelado);
    connect(fraDevelop_, &DevelopmentFrame::highlightRecoveryChanged, this,
            [this] { DisableFrom(fraMap_->cmdEV()); });
    connect(fraDevelop_, &DevelopmentFrame::gammaTied, fraBlend_, &BlendingFrame::SetGamma10);
    connect(fraDevelop_, &DevelopmentFrame::warningRequested, this,
            [this](const QString& text) { channel_.MensajeAviso(text.toStdString()); });
    connect(fraDevelop_->cmdDevelop(), &QPushButton::clicked, this, &frmMain::cmdDevelop_Click);
    connect(wb, &WhiteBalanceFrame::readOut, picture_, &PicturePanel::ShowPointer);
    connect(wb, &WhiteBalanceFrame::calcWBRequested, this, &frmMain::cmdCalculateWB_Click);
    connect(wb, &WhiteBalanceFrame::multipliersChecked, this, &frmMain::ShowDevelopGate);
    connect(fraDCRAW_, &DcrawLineFrame::developmentSettingChanged, this,
            &frmMain::ReaccionCambioRevelado);

    connect(fraMap_->cmdEV(), &QPushButton::clicked, this, &frmMain::cmdEV_Click);
    connect(fraMap_->cmdBuildMap(), &QPushButton::clicked, this, &frmMain::cmdBuildMap_Click);
    connect(fraBlend_->cmdBlend(), &QPushButton::clicked, this, [this] { cmdBlend_Click(false); });
    connect(fraBlend_->cmdBlendBW(), &QPushButton::clicked, this, [this] { cmdBlend_Click(true); });
    connect(fraBlend_->cmdTestBW(), &QPushButton::clicked, this, &frmMain::cmdTestBW_Click);
    connect(fraBlend_->cmdSelMap(), &QPushButton::clicked, this, &frmMain::cmdSelMap_Click);
    connect(picture_->cmdCopyClipBoard(), &QPushButton::clicked, this,
            &frmMain::cmdCopyClipBoard_Click);

    refit_ = new QTimer(this);
    refit_->setSingleShot(true);
    refit_->setInterval(kRefitDelayMs);
    connect(refit_, &QTimer::timeout, this, &frmMain::RefitPicture);
    connect(pctImagen(), &PictureView::resized, refit_, qOverload<>(&QTimer::start));

    connect(log_->cmdCancel(), &QPushButton::clicked, &runner_, &StepRunner::Cancel);
    connect(&runner_, &StepRunner::started, this, [this] { ShowBusy(true); });
    connect(&runner_, &StepRunner::finished, this, [this] {
        ShowBusy(false);
        if (close_pending_) {
            close();
        } else if (quick_pending_) {
            quick_pending_ = false;
            QuickDevelop();
        }
    });
}

void frmMain::ConnectChannel() {
    connect(&channel_, &WindowChannel::logLine, log_, &LogPanel::AppendToLog);
    connect(&channel_, &WindowChannel::dcrawLine, fraDCRAW_, &DcrawLineFrame::ShowLine);
    connect(&channel_, &WindowChannel::progress, picture_, &PicturePanel::ShowProgress);
    connect(&channel_, &WindowChannel::progress, log_, &LogPanel::ShowProgress);
    connect(&channel_, &WindowChannel::beep, this, [] { QApplication::beep(); });
}

// ---- Settings and gating ----

RoadSettings frmMain::RoadSettingsFromControls() const {
    RoadSettings settings;
    fraDevelop_->ReadControls(settings.develop);
    fraDCRAW_->ReadControls(settings.develop);
    fraMap_->ReadControls(settings.ev, settings.map);
    fraBlend_->ReadControls(settings.blend);
    return settings;
}

WhiteBalanceFrame* frmMain::fraWB() const {
    return fraDevelop_->fraWB();
}

PictureView* frmMain::pctImagen() const {
    return picture_->pctImagen();
}

bool frmMain::ImagenMostrada() const {
    return pctImagen()->ImagenMostrada();
}

void frmMain::ShowDevelopGate() {
    fraDevelop_->cmdDevelop()->setEnabled(develop_ready_ && fraWB()->MultipliersUsable());
}

void frmMain::DisableFrom(QPushButton* first) {
    ++disables_;
    develop_ready_ = develop_ready_ && first != fraDevelop_->cmdDevelop();
    QPushButton* const order[] = {fraDevelop_->cmdDevelop(), fraMap_->cmdEV(),
                                  fraMap_->cmdBuildMap()};
    bool from = false;
    for (QPushButton* button : order) {
        from = from || button == first;
        if (from) {
            button->setEnabled(false);
        }
    }
    fraBlend_->EnableMapSteps(false);
}

// While a step runs, the frames whose controls would start or change a step are disabled as a
// whole; each control keeps its own enabled state for when the step ends.
void frmMain::ShowBusy(bool busy) {
    for (QWidget* widget : std::initializer_list<QWidget*>{fraDevelop_, fraMap_, fraBlend_,
                                                           fraDCRAW_, cmdSeleccionar_}) {
        widget->setEnabled(!busy);
    }
    log_->ShowBusy(busy);
    if (!busy) {
        picture_->EndProgress();
        if (std::exchange(refit_pending_, false)) {
            RefitPicture();
        }
    }
}

void frmMain::ReaccionCambioRevelado(bool disableLaterSteps) {
    const DevelopReaction reaction = ::brimsal::ReaccionCambioRevelado(
        RoadSettingsFromControls().develop, fraDCRAW_->ShownLine(), disableLaterSteps,
        ImagenMostrada());
    if (!reaction.changed) {
        return;
    }
    if (reaction.disable) {
        DisableFrom(fraDevelop_->cmdDevelop());
    }
    fraDCRAW_->ShowLine(QText(reaction.line));
    // Multipliers that cannot be developed with are marked on their boxes: no development
    // until they are put right.
    if (reaction.develop_again && fraWB()->MultipliersUsable()) {
        QuickDevelop();
    }
}

bool frmMain::RunStep(const std::string& module, std::function<void(UserChannel&)> work,
                      std::function<void()> done) {
    return runner_.Run(module, std::move(work), std::move(done));
}

// ---- The reference file and its development ----

void frmMain::cmdSeleccionar_Click() {
    if (!LocateDcraw(channel_)) {
        return;
    }
    ChooseReference(choose_file_("Set reference RAW file and pathname", RawFilesFilter(),
                                 FolderOf(txtRuta_->text())));
}

void frmMain::ChooseReference(const std::string& path) {
    if (path.empty() || QText(path) == txtRuta_->text()) {
        channel_.MessageBrimsal("No file has been selected");
        return;
    }
    if (runner_.Busy()) {
        return;
    }
    DisableFrom(fraDevelop_->cmdDevelop());
    txtRuta_->setText(QText(path));
    session_.Ruta = path;
    auto listed = std::make_shared<bool>(false);
    RunStep(
        "cmdLoadImage",
        [this, listed](UserChannel& channel) { *listed = RunListing(session_, channel); },
        [this, listed] {
            // The listing may have made the tenth file the reference.
            txtRuta_->setText(QText(session_.Ruta));
            QString names;
            for (const auto& name : session_.ArchivosRAW) {
                names += QText(name) + '\n';
            }
            txtFiles_->setPlainText(names);
            // A refused set is not developed: developing would delete files the set needs. Cancel
            // or closing during the listing stops the quick development too.
            if (channel_.CancelRequested()) {
                channel_.AnadirLog("Cancelled", true);
            } else if (*listed) {
                QuickDevelop();
            }
        });
}

void frmMain::QuickDevelop() {
    if (runner_.Busy()) {
        quick_pending_ = true;
        return;
    }
    DevelopAndShow("ReveladoRapido", [this](DevelopSettings& settings, UserChannel& channel) {
        return RunQuickDevelop(session_, settings, channel);
    });
}

void frmMain::cmdCalculateWB_Click() {
    DisableFrom(fraDevelop_->cmdDevelop());
    const WBPatch patch = fraWB()->Patch();
    const std::string shownLine = fraDCRAW_->ShownLine();
    DevelopAndShow("CalcularWBPatch",
                   [this, patch, shownLine](DevelopSettings& settings, UserChannel& channel) {
                       return RunCalcWB(session_, patch, settings, shownLine, channel);
                   });
}

void frmMain::DevelopAndShow(const std::string& module,
                             std::function<DevelopResult(DevelopSettings&, UserChannel&)> develop) {
    const int boxWidth = pctImagen()->width();
    const int boxHeight = pctImagen()->height();
    struct Quick {
        DevelopSettings settings;
        DevelopResult developed;
        QImage shown;
        std::string ruta;
    };
    auto quick = std::make_shared<Quick>();
    quick->settings = RoadSettingsFromControls().develop;
    quick->ruta = session_.Ruta;
    const std::array<std::string, 3> coefficients = quick->settings.wb.txtWB;
    RunStep(
        module,
        [this, develop, boxWidth, boxHeight, quick](UserChannel& channel) {
            quick->developed = develop(quick->settings, channel);
            if (!quick->developed.finished) {
                return;
            }
            try {
                quick->shown = PictureForDisplay(quick->developed.tiff, boxWidth, boxHeight);
            } catch (const std::exception&) {
                // dcraw ended well but its TIFF cannot be shown: said, not waited for.
                channel.AnadirLog(NombreArchivo(quick->developed.tiff) + " cannot be displayed",
                                  true);
                channel.AnadirLog("DONE", true);
            }
        },
        [this, quick, coefficients] {
            // A patch measurement leaves its multipliers in the coefficient boxes, even when
            // the development that follows fails.
            if (quick->settings.wb.txtWB != coefficients) {
                fraWB()->SetTxtWB(quick->settings.wb.txtWB);
            }
            if (!quick->shown.isNull()) {
                ShowDevelopment(quick->shown, quick->developed.tiff, quick->ruta, quick->settings);
            }
        });
}

void frmMain::ShowDevelopment(const QImage& shown, const std::string& tiff,
                              const std::string& raw_path, const DevelopSettings& settings) {
    pctImagen()->MostrarImagen(shown);
    shown_tiff_ = tiff;
    try {
        picture_->ShowNote(QText(HeadroomNote(DevelopScaleOf(settings))));
    } catch (const RunTimeError&) {
        picture_->ShowNote({});  // no scale for these multipliers: developed without headroom
    }
    QuickShown(raw_path, channel_);
    develop_ready_ = true;
    ShowDevelopGate();
    picture_->cmdCopyClipBoard()->setEnabled(true);
}

void frmMain::RefitPicture() {
    if (runner_.Busy()) {
        refit_pending_ = true;
        return;
    }
    const PictureView* view = pctImagen();
    const ShownSize fitted =
        FittedSize(view->AnchoMostrado(), view->AltoMostrado(), view->width(), view->height());
    if (shown_tiff_.empty() || (fitted.AnchoMostrado == view->AnchoMostrado() &&
                                fitted.AltoMostrado == view->AltoMostrado())) {
        return;
    }
    try {
        pctImagen()->MostrarImagen(PictureForDisplay(shown_tiff_, view->width(), view->height()));
    } catch (const std::exception&) {
        shown_tiff_.clear();  // gone or replaced by another file: the picture stays as it is
    }
}

void frmMain::cmdDevelop_Click() {
    DisableFrom(fraMap_->cmdEV());
    const DevelopSettings settings = RoadSettingsFromControls().develop;
    auto developed = std::make_shared<DevelopResult>();
    const unsigned mark = disables_;
    RunStep(
        "Revelado",
        [this, settings, developed](UserChannel& channel) {
            *developed = RunDevelop(session_, settings, channel);
        },
        [this, developed, mark] {
            fraMap_->cmdEV()->setEnabled(developed->enable_ev && disables_ == mark);
        });
}

// ---- Calc EV, Build map, the blends ----

void frmMain::cmdEV_Click() {
    if (!ImagenMostrada()) {
        return;
    }
    DisableFrom(fraMap_->cmdBuildMap());
    const RoadSettings settings = RoadSettingsFromControls();
    auto measured = std::make_shared<bool>(false);
    const unsigned mark = disables_;
    RunStep(
        "CalcularExpRelativas",
        [this, settings, measured](UserChannel& channel) {
            *measured = RunCalcEv(session_, settings, channel);
        },
        [this, measured, mark] {
            fraMap_->cmdBuildMap()->setEnabled(*measured && disables_ == mark);
        });
}

void frmMain::cmdBuildMap_Click() {
    if (!ImagenMostrada()) {
        return;
    }
    fraBlend_->EnableMapSteps(false);
    const RoadSettings settings = RoadSettingsFromControls();
    const unsigned mark = disables_;
    RunStep(
        "GenerarMapa",
        [this, settings](UserChannel& channel) { RunBuildMap(session_, settings, channel); },
        [this, mark] {
            fraBlend_->ShowMapPath(session_.map.map_path);
            // Enabled again when there is a map to blend with: this run's, or the one before
            // it when this run failed or was cancelled.
            fraBlend_->EnableMapSteps(!session_.map.map_path.empty() && disables_ == mark);
        });
}

void frmMain::cmdBlend_Click(bool bw) {
    const RoadSettings settings = RoadSettingsFromControls();
    RunStep("FusionarImagenes", [this, bw, settings](UserChannel& channel) {
        RunBlend(session_, bw, settings, channel);
    });
}

void frmMain::cmdTestBW_Click() {
    RunStep("TestImagenesBN", [this](UserChannel& channel) { RunContactSheet(session_, channel); });
}

void frmMain::cmdSelMap_Click() {
    const std::string shown = fraBlend_->MapPath();
    const QString folder = FolderOf(shown.empty() ? txtRuta_->text() : QText(shown));
    const std::string path =
        choose_file_("Set blending map file and pathname", "Map PNG files (*.png)", folder);
    if (path.empty() || path == shown || runner_.Busy()) {
        return;
    }
    if (UseChosenMap(path, session_, channel_)) {
        fraBlend_->ShowMapPath(session_.map.map_path);
    }
}

void frmMain::cmdCopyClipBoard_Click() {
    if (!ImagenMostrada()) {
        return;
    }
    if (fraWB()->Settings().mode == WBMode::kPatch) {
        fraWB()->DibujarPatch(true);
    } else {
        QApplication::clipboard()->setImage(pctImagen()->ObjetoMostrado());
    }
    channel_.MessageBrimsal("Display snapshot copied to Clipboard");
}

// ---- Window events ----

void frmMain::FitToScreen() {
    const QRect area = screen()->availableGeometry();
    // Before the first show the frame is not known on every system: the title bar is allowed
    // for at the least.
    const QSize frame = frameGeometry().size() - size();
    const QSize room =
        area.size() -
        QSize(frame.width(),
              std::max(frame.height(), style()->pixelMetric(QStyle::PM_TitleBarHeight)));
    resize(room.expandedTo(minimumSizeHint()));
    move(area.topLeft());
}

void frmMain::showEvent(QShowEvent* event) {
    if (!std::exchange(placed_, true) && !testAttribute(Qt::WA_Resized)) {
        FitToScreen();
    }
    QWidget::showEvent(event);
    if (!path_on_show_.empty()) {
        // Once the window is laid out, so the picture fits the box it is shown in.
        QTimer::singleShot(0, this, [this, path = std::move(path_on_show_)] {
            if (!ExisteArchivo(path)) {
                channel_.MensajeError("Reference RAW file '" + path + "' not found");
            } else if (LocateDcraw(channel_)) {
                ChooseReference(path);
            }
        });
        path_on_show_.clear();
    }
}

void frmMain::closeEvent(QCloseEvent* event) {
    if (runner_.Busy()) {
        // The step is cancelled and the window closes once it has ended cleanly.
        close_pending_ = true;
        runner_.Cancel();
        event->ignore();
        return;
    }
    event->accept();
}

namespace {

// The local file of a drop that carries exactly one.
QString DroppedFile(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls() || data->urls().size() != 1 ||
        !data->urls().front().isLocalFile()) {
        return {};
    }
    return data->urls().front().toLocalFile();
}

}  // namespace

void frmMain::dragEnterEvent(QDragEnterEvent* event) {
    if (!runner_.Busy() && !DroppedFile(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void frmMain::dropEvent(QDropEvent* event) {
    const QString path = DroppedFile(event->mimeData());
    if (path.isEmpty() || runner_.Busy()) {
        return;
    }
    event->acceptProposedAction();
    if (LocateDcraw(channel_)) {
        ChooseReference(path.toStdString());
    }
}

}  // namespace brimsal
