#include "window/frmMain.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <array>
#include <memory>

#include "base/NumberText.h"
#include "base/Paths.h"
#include "base/SettingRange.h"
#include "base/UserChannel.h"
#include "blend/BlendSettings.h"
#include "develop/DcrawCommand.h"
#include "develop/DevelopSettings.h"
#include "develop/DevelopTables.h"
#include "maps/MapSettings.h"
#include "whitebalance/WBPatch.h"
#include "whitebalance/WhiteBalance.h"
#include "window/DisplayImage.h"
#include "window/PictureView.h"
#include "window/WhiteBalanceFrame.h"

namespace brimsal {

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// Names a control: its program name (cmdEV, txtWB...), what a screen reader says, its tool tip.
template <class Widget>
Widget* Named(Widget* widget, const char* name, const QString& accessible,
              const char* tip = nullptr) {
    widget->setObjectName(name);
    widget->setAccessibleName(accessible);
    if (tip != nullptr) {
        widget->setToolTip(tip);
    }
    return widget;
}

QLabel* Caption(const QString& text, QWidget* parent, const char* tip = nullptr) {
    auto* label = new QLabel(text, parent);
    if (tip != nullptr) {
        label->setToolTip(tip);
    }
    return label;
}

QScrollBar* Bar(const char* name, const QString& accessible, const SettingRange& range,
                QWidget* parent) {
    auto* bar = Named(new QScrollBar(Qt::Horizontal, parent), name, accessible);
    bar->setRange(range.minimum, range.maximum);
    bar->setValue(range.initial);
    bar->setSingleStep(1);
    bar->setPageStep(1);
    bar->setMinimumWidth(120);
    return bar;
}

// A check box drawn as a toggle button.
QPushButton* Toggle(const char* name, const char* caption, const char* tip, QWidget* parent) {
    auto* button = Named(new QPushButton(caption, parent), name, caption, tip);
    button->setCheckable(true);
    return button;
}

QComboBox* FixedList(const char* name, const QString& accessible, const char* tip,
                     const QStringList& rows, QWidget* parent) {
    auto* combo = Named(new QComboBox(parent), name, accessible, tip);
    combo->addItems(rows);
    return combo;
}

QLineEdit* Locked(const char* name, const QString& accessible, const char* tip, QWidget* parent) {
    auto* box = Named(new QLineEdit(parent), name, accessible, tip);
    box->setReadOnly(true);
    return box;
}

QPlainTextEdit* LockedList(const char* name, const QString& accessible, QWidget* parent) {
    auto* box = Named(new QPlainTextEdit(parent), name, accessible);
    box->setReadOnly(true);
    box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    return box;
}

constexpr const char* kTipSat =
    "Set saturation level in case value considered by DCRAW for your camera is wrong";
constexpr const char* kTipDCRAW =
    "DCRAW command introduced by the user. Use this option at your own risk, no syntax checking";

// The folder of a path ("" for none), where a file dialog opens.
QString FolderOf(const QString& path) {
    const int slash = path.lastIndexOf('/');
    return slash < 0 ? QString() : path.left(slash + 1);
}

// "45%" -> 45; -1 for a read-out that is not a percentage.
int Percent(const QString& text) {
    if (!text.endsWith('%')) {
        return -1;
    }
    bool ok = false;
    const int value = text.chopped(1).toInt(&ok);
    return ok ? value : -1;
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
    ConnectChannel();

    // Start-up: the lists at their start rows (their clicks run, as at load), the quick
    // command line shown. The WB frame has selected its Daylight preset itself.
    cmbSat_Click(0);
    cmbProfile_Click(kProfileSRGB);
    lblDCRAW_->setText(Q(QuickLine(RoadSettingsFromControls().develop)));
    DisableFrom(cmdDevelop_);
    cmdCopyClipBoard_->setEnabled(false);
    ShowBusy(false);
}

// The worker uses the session and the channel: it ends before they go.
frmMain::~frmMain() {
    runner_.CancelAndWait();
}

void frmMain::BuildControls() {
    // Loose controls.
    txtRuta_ = Locked("txtRuta", "Reference RAW file",
                      "Reference RAW file for path and quick display", this);
    cmdSeleccionar_ = Named(new QPushButton("...", this), "cmdSeleccionar", "...",
                            "Set reference RAW file and pathname");
    txtFiles_ = LockedList("txtFiles", "RAW files in path", this);
    txtStatus_ = LockedList("txtStatus", "Status", this);
    pctImagen_ = new PictureView(this);
    pctImagen_->setAccessibleName("Reference image");
    lblXY_ = Named(new QLabel(this), "lblXY", "Position");
    lblXY_->setMinimumWidth(200);
    cmdCopyClipBoard_ = Named(new QPushButton("Snapshot", this), "cmdCopyClipBoard", "Snapshot",
                              "Copy display to Clipboard");
    cmdSalir_ = Named(new QPushButton("Exit", this), "cmdSalir", "Exit");
    prgStep_ = Named(new QProgressBar(this), "prgPaso", "Progress");
    prgStep_->setRange(0, 100);
    cmdCancel_ = Named(new QPushButton("Cancel", this), "cmdCancelar", "Cancel",
                       "Stop the running step (Esc)");
    cmdCancel_->setShortcut(QKeySequence(Qt::Key_Escape));

    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(txtRuta_, 1);
    pathRow->addWidget(cmdSeleccionar_);

    auto* left = new QVBoxLayout;
    left->addLayout(pathRow);
    left->addWidget(BuildDevelopment());
    left->addWidget(BuildDCRAW());
    left->addStretch(1);

    auto* readOut = new QHBoxLayout;
    readOut->addWidget(lblXY_, 1);
    readOut->addWidget(cmdCopyClipBoard_);
    auto* middle = new QVBoxLayout;
    middle->addWidget(pctImagen_, 1);
    middle->addLayout(readOut);
    middle->addWidget(BuildMap());
    middle->addWidget(BuildBlending());

    auto* progressRow = new QHBoxLayout;
    progressRow->addWidget(prgStep_, 1);
    progressRow->addWidget(cmdCancel_);
    auto* right = new QVBoxLayout;
    right->addWidget(Caption("RAW files in path", this));
    right->addWidget(txtFiles_, 1);
    right->addWidget(Caption("Status", this));
    right->addWidget(txtStatus_, 3);
    right->addLayout(progressRow);
    right->addWidget(cmdSalir_, 0, Qt::AlignRight);

    auto* columns = new QHBoxLayout(this);
    columns->addLayout(left, 0);
    columns->addLayout(middle, 1);
    columns->addLayout(right, 0);

    connect(cmdSeleccionar_, &QPushButton::clicked, this, &frmMain::cmdSeleccionar_Click);
    connect(cmdCopyClipBoard_, &QPushButton::clicked, this, &frmMain::cmdCopyClipBoard_Click);
    connect(cmdSalir_, &QPushButton::clicked, this, &QWidget::close);
    connect(cmdCancel_, &QPushButton::clicked, &runner_, &StepRunner::Cancel);
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

QWidget* frmMain::BuildDevelopment() {
    fraDevelop_ = Named(new QGroupBox("RAW development", this), "fraRevelado", "RAW development");
    auto* grid = new QGridLayout(fraDevelop_);
    chkHLRecovery_ = Toggle("chkHLRecovery", "HL", "Activate highlight recovery", fraDevelop_);
    chkHeadroom_ = Toggle("chkHeadroom", "Headroom",
                          "Develop with headroom (dcraw -H 1): the white balance multipliers are "
                          "divided by the largest, so red and blue no longer clip before the "
                          "sensor does; the map thresholds follow each channel's saturation and "
                          "the blend restores the normal brightness. Not with Camera white "
                          "balance",
                          fraDevelop_);
    QStringList satRows;
    for (const auto& row : kSaturationRows) {
        satRows << row.caption;
    }
    cmbSat_ = FixedList("cmbSat", "Saturation level", kTipSat, satRows, fraDevelop_);
    txtSat_ = Named(new QLineEdit(fraDevelop_), "txtSat", "Saturation level", kTipSat);
    QStringList qualityRows;
    for (const char* row : kDemosaics) {
        qualityRows << row;
    }
    constexpr const char* kTipQuality = "AHD is usually best but it depends on RAW format";
    cmbQuality_ =
        FixedList("cmbQuality", "Demosaic algorithm", kTipQuality, qualityRows, fraDevelop_);
    cmbQuality_->setCurrentIndex(kDemosaicAHD);
    QStringList profileRows;
    for (const char* row : kProfiles) {
        profileRows << row;
    }
    cmbProfile_ = FixedList(
        "cmbProfile", "Output colour profile",
        "Image data are always correct although Brimsal will display wrong colours when sRGB is "
        "not chosen",
        profileRows, fraDevelop_);
    cmdDevelop_ = Named(new QPushButton("Develop", fraDevelop_), "cmdDevelop", "Develop",
                        "Develop selected RAW files and sort resulting TIFF files by exposure");
    fraWB_ = new WhiteBalanceFrame(fraDevelop_);
    fraWB_->AttachPicture(pctImagen_);

    grid->addWidget(Caption("Saturation level", fraDevelop_, kTipSat), 0, 0);
    grid->addWidget(cmbSat_, 0, 1);
    grid->addWidget(txtSat_, 0, 2);
    grid->addWidget(Caption("Demosaic algorithm", fraDevelop_, kTipQuality), 1, 0);
    grid->addWidget(cmbQuality_, 1, 1, 1, 2);
    grid->addWidget(Caption("Output colour profile", fraDevelop_,
                            "Brimsal will display wrong colours if sRGB is not chosen but image "
                            "RGB values are always correct"),
                    2, 0);
    grid->addWidget(cmbProfile_, 2, 1, 1, 2);
    grid->addWidget(fraWB_, 3, 0, 1, 3);
    grid->addWidget(chkHLRecovery_, 4, 0);
    grid->addWidget(chkHeadroom_, 4, 1);
    grid->addWidget(cmdDevelop_, 4, 2);

    connect(chkHLRecovery_, &QPushButton::clicked, this, &frmMain::chkHLRecovery_Click);
    // Headroom changes the dcraw line: the usual reaction to a development setting.
    connect(chkHeadroom_, &QPushButton::clicked, this, [this] { ReaccionCambioRevelado(true); });
    connect(cmbSat_, &QComboBox::activated, this, &frmMain::cmbSat_Click);
    connect(txtSat_, &QLineEdit::textEdited, this, &frmMain::txtSat_Change);
    connect(txtSat_, &QLineEdit::editingFinished, this, &frmMain::txtSat_LostFocus);
    connect(cmbQuality_, &QComboBox::activated, this, &frmMain::cmbQuality_Click);
    connect(cmbProfile_, &QComboBox::activated, this, &frmMain::cmbProfile_Click);
    connect(cmdDevelop_, &QPushButton::clicked, this, &frmMain::cmdDevelop_Click);
    connect(fraWB_, &WhiteBalanceFrame::developmentSettingChanged, this,
            &frmMain::ReaccionCambioRevelado);
    connect(fraWB_, &WhiteBalanceFrame::warningRequested, this,
            [this](const QString& text) { channel_.MensajeAviso(text.toStdString()); });
    connect(fraWB_, &WhiteBalanceFrame::readOut, lblXY_, &QLabel::setText);
    connect(fraWB_, &WhiteBalanceFrame::calcWBRequested, this, &frmMain::cmdCalculateWB_Click);
    return fraDevelop_;
}

QWidget* frmMain::BuildMap() {
    fraMap_ = Named(new QGroupBox("Calc EV / Build map", this), "fraMapa", "Calc EV / Build map");
    auto* grid = new QGridLayout(fraMap_);
    cmdEV_ = Named(new QPushButton("Calc EV", fraMap_), "cmdEV", "Calc EV",
                   "Calculate relative exposures");
    const QString method = EVMethodCaption(MetodoEVPromedio_);
    cmdEVMethod_ = Named(new QPushButton(method, fraMap_), "cmdEVMethod", method,
                         "Select method for relative exposure calculation. Average is quicker "
                         "and Median is more accurate in presence of moving elements or "
                         "non-linearities");
    cmdBuildMap_ = Named(new QPushButton("Build map", fraMap_), "cmdBuildMap", "Build map",
                         "Build blending map from loaded TIFF files");
    hscTH_ = Bar("hscTH", "Map threshold", kThresholdRange, fraMap_);
    hscAntiGhost_ = Bar("hscAntiGhost", "Anti ghosting", kAntiGhostRange, fraMap_);
    hscProgressive_ = Bar("hscProgressive", "Progressive blending", kProgressiveRange, fraMap_);
    struct Row {
        QScrollBar* bar;
        const char* caption;
        const char* tip;
        const char* valueName;
        const char* unit;
    };
    const Row rows[] = {
        {hscTH_, "Map threshold", "Threshold to saturation to consider a RGB channel valid",
         "lblTH", "%"},
        {hscAntiGhost_, "Anti ghosting",
         "Radius in pixels for Anti ghosting in border areas. It is recommended to keep this "
         "value as low as possible",
         "lblAntiGhost", "px"},
        {hscProgressive_, "Progressive blending",
         "Radius in pixels for Progressive blending in border areas. This parameter will force "
         "extra Anti ghosting radius",
         "lblProgressive", "px"},
    };
    grid->addWidget(cmdEV_, 0, 0);
    grid->addWidget(cmdEVMethod_, 0, 1);
    grid->addWidget(cmdBuildMap_, 0, 2);
    int line = 1;
    for (const Row& row : rows) {
        auto* value = new QLabel(fraMap_);
        value->setObjectName(row.valueName);
        const QString unit = row.unit;
        // The label follows the thumb while it is dragged, as on a change.
        const auto show = [value, unit](int v) { value->setText(QString::number(v) + unit); };
        show(row.bar->value());
        connect(row.bar, &QScrollBar::valueChanged, value, show);
        grid->addWidget(Caption(row.caption, fraMap_, row.tip), line, 0);
        grid->addWidget(row.bar, line, 1);
        grid->addWidget(value, line, 2);
        ++line;
    }
    connect(cmdEV_, &QPushButton::clicked, this, &frmMain::cmdEV_Click);
    connect(cmdEVMethod_, &QPushButton::clicked, this, &frmMain::cmdEVMethod_Click);
    connect(cmdBuildMap_, &QPushButton::clicked, this, &frmMain::cmdBuildMap_Click);
    return fraMap_;
}

QWidget* frmMain::BuildBlending() {
    fraBlend_ = Named(new QGroupBox("Image blending", this), "fraFusion", "Image blending");
    auto* grid = new QGridLayout(fraBlend_);
    cmdBlend_ = Named(new QPushButton("Colour", fraBlend_), "cmdBlend", "Colour",
                      "Blend images with colour output");
    cmdBlendBW_ = Named(new QPushButton("B&&W", fraBlend_), "cmdBlendBW", "B&W",
                        "Blend images with B&W output");
    cmdTestBW_ = Named(new QPushButton("T", fraBlend_), "cmdTestBW", "T",
                       "Generate B&W channel mix contact sheet (2.2 gamma GIF)");
    chkETTR_ = Toggle("chkETTR", "ETTR", "Force exposed to the right output histogram", fraBlend_);
    chkFloat_ = Toggle("chkFloat", "Float",
                       "32-bit floating point linear output TIFF (1.0 = 65535), not clipped, "
                       "named with _float",
                       fraBlend_);
    hscGamma_ = Bar("hscGamma", "Output gamma", kGammaRange, fraBlend_);
    lblGamma_ = Named(new QLabel(fraBlend_), "lblGamma", "Output gamma value",
                      "High precision (floating point) gamma correction");
    hscBWR_ = Bar("hscBWR", "B&W channel mix R", kBWRRange, fraBlend_);
    lblBWR_ = Named(new QLabel("33%", fraBlend_), "lblBWR", "R channel mix", "R channel mix");
    hscBWB_ = Bar("hscBWB", "B&W channel mix B", kBWBRange, fraBlend_);
    lblBWB_ = Named(new QLabel("33%", fraBlend_), "lblBWB", "B channel mix", "B channel mix");
    txtRutaMap_ = Locked("txtRutaMap", "Blending map", "Blending map file and pathname", fraBlend_);
    cmdSelMap_ = Named(new QPushButton("...", fraBlend_), "cmdSelMap", "...",
                       "Set blending map file and pathname");
    constexpr const char* kTipAEB =
        "Auto exposure bracketing to ease tone mapping using programs such as TuFuse, "
        "Photomatix,...";
    hscBracketNum_ = Bar("hscBracketNum", "Output AEB Num", kBracketNumRange, fraBlend_);
    hscBracketNum_->setToolTip("Number of bracketed images");
    hscBracketEV_ = Bar("hscBracketEV", "Output AEB EV", kBracketEVRange, fraBlend_);
    hscBracketEV_->setToolTip("Exposure gap of bracketed images");
    txtBracket_ = Locked("txtBracket", "Output AEB", kTipAEB, fraBlend_);
    ActualizarBracketing();

    auto* buttons = new QHBoxLayout;
    for (QPushButton* button : {cmdBlend_, cmdBlendBW_, cmdTestBW_, chkETTR_, chkFloat_}) {
        buttons->addWidget(button);
    }
    grid->addLayout(buttons, 0, 0, 1, 4);
    grid->addWidget(
        Caption("Output gamma", fraBlend_, "High precision floating point gamma correction"), 1, 0);
    grid->addWidget(hscGamma_, 1, 1, 1, 2);
    grid->addWidget(lblGamma_, 1, 3);
    grid->addWidget(Caption("B&W channel mix", fraBlend_, "RGB channel mixer for B&W output"), 2,
                    0);
    grid->addWidget(Caption("R", fraBlend_), 2, 1);
    grid->addWidget(hscBWR_, 2, 2);
    grid->addWidget(lblBWR_, 2, 3);
    grid->addWidget(Caption("B", fraBlend_), 3, 1);
    grid->addWidget(hscBWB_, 3, 2);
    grid->addWidget(lblBWB_, 3, 3);
    grid->addWidget(Caption("Blending map", fraBlend_), 4, 0);
    grid->addWidget(txtRutaMap_, 4, 1, 1, 2);
    grid->addWidget(cmdSelMap_, 4, 3);
    grid->addWidget(Caption("Output AEB", fraBlend_, kTipAEB), 5, 0);
    grid->addWidget(Caption("Num", fraBlend_, "Number of bracketed images"), 5, 1);
    grid->addWidget(hscBracketNum_, 5, 2);
    grid->addWidget(Caption("EV", fraBlend_, "Exposure gap of bracketed images"), 6, 1);
    grid->addWidget(hscBracketEV_, 6, 2);
    grid->addWidget(txtBracket_, 7, 1, 1, 3);

    const auto showGamma = [this](int value) { lblGamma_->setText(Q(NumberText(value / 10.0))); };
    showGamma(hscGamma_->value());
    connect(hscGamma_, &QScrollBar::valueChanged, this, showGamma);
    connect(hscBWR_, &QScrollBar::valueChanged, this, &frmMain::hscBWR_Change);
    connect(hscBWB_, &QScrollBar::valueChanged, this, &frmMain::hscBWB_Change);
    connect(hscBracketNum_, &QScrollBar::valueChanged, this, &frmMain::ActualizarBracketing);
    connect(hscBracketEV_, &QScrollBar::valueChanged, this, &frmMain::ActualizarBracketing);
    connect(cmdBlend_, &QPushButton::clicked, this, [this] { cmdBlend_Click(false); });
    connect(cmdBlendBW_, &QPushButton::clicked, this, [this] { cmdBlend_Click(true); });
    connect(cmdTestBW_, &QPushButton::clicked, this, &frmMain::cmdTestBW_Click);
    connect(cmdSelMap_, &QPushButton::clicked, this, &frmMain::cmdSelMap_Click);
    return fraBlend_;
}

QWidget* frmMain::BuildDCRAW() {
    fraDCRAW_ = Named(new QGroupBox("DCRAW command line", this), "fraDCRAW", "DCRAW command line");
    auto* grid = new QGridLayout(fraDCRAW_);
    lblDCRAW_ = Named(new QLabel(fraDCRAW_), "lblDCRAW", "DCRAW command line");
    lblDCRAW_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    lblDCRAW_->setWordWrap(true);
    lblDCRAW_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    txtDCRAW_ = Named(new QLineEdit(fraDCRAW_), "txtDCRAW", "User DCRAW", kTipDCRAW);
    grid->addWidget(lblDCRAW_, 0, 0, 1, 2);
    grid->addWidget(Caption("User DCRAW", fraDCRAW_, kTipDCRAW), 1, 0);
    grid->addWidget(txtDCRAW_, 1, 1);
    connect(txtDCRAW_, &QLineEdit::editingFinished, this, &frmMain::txtDCRAW_LostFocus);
    return fraDCRAW_;
}

void frmMain::ConnectChannel() {
    connect(&channel_, &WindowChannel::logLine, this, &frmMain::AppendToLog);
    connect(&channel_, &WindowChannel::dcrawLine, lblDCRAW_, &QLabel::setText);
    connect(&channel_, &WindowChannel::progress, this, &frmMain::ShowProgress);
    connect(&channel_, &WindowChannel::beep, this, [] { QApplication::beep(); });
}

// ---- Log, progress, gating ----

void frmMain::AppendToLog(const QString& line, bool append) {
    if (!append) {
        log_.clear();
    }
    log_ += line + '\n';
    txtStatus_->setPlainText(log_);
    txtStatus_->moveCursor(QTextCursor::End);
}

void frmMain::ShowProgress(const QString& text) {
    lblXY_->setText(text);
    if (const int percent = Percent(text); percent >= 0) {
        prgStep_->setValue(percent);
    }
}

void frmMain::DisableFrom(QPushButton* first) {
    QPushButton* const order[] = {cmdDevelop_, cmdEV_, cmdBuildMap_};
    bool from = false;
    for (QPushButton* button : order) {
        from = from || button == first;
        if (from) {
            button->setEnabled(false);
        }
    }
    cmdBlend_->setEnabled(false);
    cmdBlendBW_->setEnabled(false);
    cmdTestBW_->setEnabled(false);
}

// While a step runs, the frames whose controls would start or change a step are disabled as a
// whole; each control keeps its own enabled state for when the step ends.
void frmMain::ShowBusy(bool busy) {
    for (QWidget* widget : {static_cast<QWidget*>(fraDevelop_), static_cast<QWidget*>(fraMap_),
                            static_cast<QWidget*>(fraBlend_), static_cast<QWidget*>(fraDCRAW_),
                            static_cast<QWidget*>(cmdSeleccionar_)}) {
        widget->setEnabled(!busy);
    }
    cmdCancel_->setEnabled(busy);
    prgStep_->setValue(0);
}

bool frmMain::ImagenMostrada() const {
    return pctImagen_->ImagenMostrada();
}

RoadSettings frmMain::RoadSettingsFromControls() const {
    RoadSettings settings;
    settings.develop.wb = fraWB_->Settings();
    settings.develop.txtSat = txtSat_->text().toStdString();
    settings.develop.cmbSat = cmbSatListIndex_;
    settings.develop.quality = cmbQuality_->currentIndex();
    settings.develop.profile = cmbProfile_->currentIndex();
    settings.develop.txtDCRAW = txtDCRAW_->text().toStdString();
    settings.develop.hlRecovery = chkHLRecovery_->isChecked();
    settings.develop.headroom = chkHeadroom_->isChecked();
    settings.ev.average = MetodoEVPromedio_;
    settings.map.threshold = hscTH_->value();
    settings.map.antighost = hscAntiGhost_->value();
    settings.map.progressive = hscProgressive_->value();
    settings.blend.BWR = hscBWR_->value();
    settings.blend.BWB = hscBWB_->value();
    settings.blend.Gamma10 = hscGamma_->value();
    settings.blend.ETTR = chkETTR_->isChecked();
    settings.blend.floatOutput = chkFloat_->isChecked();
    settings.blend.NumBracketing = hscBracketNum_->value();
    settings.blend.PasoBracketing = hscBracketEV_->value();
    return settings;
}

bool frmMain::RunStep(const std::string& module, std::function<void(UserChannel&)> work,
                      std::function<void()> done) {
    return runner_.Run(module, std::move(work), std::move(done));
}

// ---- The development settings ----

void frmMain::ReaccionCambioRevelado(bool disableLaterSteps) {
    const DevelopReaction reaction = ::brimsal::ReaccionCambioRevelado(
        RoadSettingsFromControls().develop, lblDCRAW_->text().toStdString(), disableLaterSteps,
        ImagenMostrada());
    if (!reaction.changed) {
        return;
    }
    if (reaction.disable) {
        DisableFrom(cmdDevelop_);
    }
    lblDCRAW_->setText(Q(reaction.line));
    if (reaction.develop_again) {
        QuickDevelop();
    }
}

void frmMain::chkHLRecovery_Click() {
    DisableFrom(cmdEV_);
    if (!hlWarningShown_) {
        hlWarningShown_ = true;
        channel_.MensajeAviso(kHLRecoveryWarning);
    }
}

void frmMain::cmbSat_Click(int row) {
    DevelopSettings settings = RoadSettingsFromControls().develop;
    ChooseSaturationRow(settings, row);
    cmbSatListIndex_ = settings.cmbSat;
    cmbSat_->setCurrentIndex(cmbSatListIndex_);
    txtSat_->setText(Q(settings.txtSat));
    ReaccionCambioRevelado(true);
}

void frmMain::txtSat_Change() {
    const QString filtered = Q(FilterTxtSat(txtSat_->text().toStdString()));
    if (filtered != txtSat_->text()) {
        txtSat_->setText(filtered);
    }
}

void frmMain::txtSat_LostFocus() {
    DevelopSettings settings = RoadSettingsFromControls().develop;
    LeaveTxtSat(settings);
    txtSat_->setText(Q(settings.txtSat));
    cmbSatListIndex_ = settings.cmbSat;
    cmbSat_->setCurrentIndex(cmbSatListIndex_);
    ReaccionCambioRevelado(true);
}

void frmMain::cmbQuality_Click(int) {
    ReaccionCambioRevelado(true);
}

void frmMain::cmbProfile_Click(int row) {
    DevelopSettings settings = RoadSettingsFromControls().develop;
    cmbProfile_->setCurrentIndex(row);
    hscGamma_->setValue(ChooseProfile(settings, row));
    ReaccionCambioRevelado(true);
}

void frmMain::txtDCRAW_LostFocus() {
    txtDCRAW_->setText(Q(CleanTxtDCRAW(txtDCRAW_->text().toStdString())));
    ReaccionCambioRevelado(false);
}

// ---- Blend settings ----

void frmMain::hscBWR_Change(int value) {
    lblBWR_->setText(QString::number(value) + '%');
    if (value + hscBWB_->value() >= 101) {
        hscBWB_->setValue(100 - value);
    }
}

void frmMain::hscBWB_Change(int value) {
    lblBWB_->setText(QString::number(value) + '%');
    if (value + hscBWR_->value() >= 101) {
        hscBWR_->setValue(100 - value);
    }
}

void frmMain::ActualizarBracketing() {
    txtBracket_->setText(Q(BracketText(hscBracketNum_->value(), hscBracketEV_->value())));
}

void frmMain::cmdEVMethod_Click() {
    MetodoEVPromedio_ = !MetodoEVPromedio_;
    const QString caption = EVMethodCaption(MetodoEVPromedio_);
    cmdEVMethod_->setText(caption);
    cmdEVMethod_->setAccessibleName(caption);
}

// ---- The reference file and its development ----

void frmMain::cmdSeleccionar_Click() {
    if (!LocateDcraw(channel_)) {
        return;
    }
    ChooseReference(
        choose_file_("Set reference RAW file and pathname",
                     "Common RAW files (*.cr2 *.nef *.arw *.orf *.pef *.dng);;All files (*)",
                     FolderOf(txtRuta_->text())));
}

void frmMain::ChooseReference(const std::string& path) {
    if (path.empty() || Q(path) == txtRuta_->text()) {
        channel_.MessageBrimsal("No file has been selected");
        return;
    }
    if (runner_.Busy()) {
        return;
    }
    DisableFrom(cmdDevelop_);
    txtRuta_->setText(Q(path));
    session_.Ruta = path;
    auto listed = std::make_shared<bool>(false);
    RunStep(
        "cmdLoadImage",
        [this, listed](UserChannel& channel) { *listed = RunListing(session_, channel); },
        [this, listed] {
            // The listing may have made the tenth file the reference.
            txtRuta_->setText(Q(session_.Ruta));
            QString names;
            for (const auto& name : session_.ArchivosRAW) {
                names += Q(name) + '\n';
            }
            txtFiles_->setPlainText(names);
            // A refused set is not developed: developing would delete files the set needs.
            if (*listed) {
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
    DisableFrom(cmdDevelop_);
    const WBPatch patch = fraWB_->Patch();
    const std::string shownLine = lblDCRAW_->text().toStdString();
    DevelopAndShow("CalcularWBPatch",
                   [this, patch, shownLine](DevelopSettings& settings, UserChannel& channel) {
                       return RunCalcWB(session_, patch, settings, shownLine, channel);
                   });
}

void frmMain::DevelopAndShow(const std::string& module,
                             std::function<DevelopResult(DevelopSettings&, UserChannel&)> develop) {
    const int boxWidth = pctImagen_->width();
    const int boxHeight = pctImagen_->height();
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
                fraWB_->SetTxtWB(quick->settings.wb.txtWB);
            }
            if (!quick->shown.isNull()) {
                ShowDevelopment(quick->shown, quick->ruta);
            }
        });
}

void frmMain::ShowDevelopment(const QImage& shown, const std::string& raw_path) {
    pctImagen_->MostrarImagen(shown);
    QuickShown(raw_path, channel_);
    cmdDevelop_->setEnabled(true);
    cmdCopyClipBoard_->setEnabled(true);
}

void frmMain::cmdDevelop_Click() {
    DisableFrom(cmdEV_);
    const DevelopSettings settings = RoadSettingsFromControls().develop;
    auto developed = std::make_shared<DevelopResult>();
    RunStep(
        "Revelado",
        [this, settings, developed](UserChannel& channel) {
            *developed = RunDevelop(session_, settings, channel);
        },
        [this, developed] { cmdEV_->setEnabled(developed->enable_ev); });
}

// ---- Calc EV, Build map, the blends ----

void frmMain::cmdEV_Click() {
    if (!ImagenMostrada()) {
        return;
    }
    DisableFrom(cmdBuildMap_);
    const RoadSettings settings = RoadSettingsFromControls();
    auto measured = std::make_shared<bool>(false);
    RunStep(
        "CalcularExpRelativas",
        [this, settings, measured](UserChannel& channel) {
            *measured = RunCalcEv(session_, settings, channel);
        },
        [this, measured] { cmdBuildMap_->setEnabled(*measured); });
}

void frmMain::cmdBuildMap_Click() {
    if (!ImagenMostrada()) {
        return;
    }
    cmdBlend_->setEnabled(false);
    cmdBlendBW_->setEnabled(false);
    cmdTestBW_->setEnabled(false);
    const RoadSettings settings = RoadSettingsFromControls();
    RunStep(
        "GenerarMapa",
        [this, settings](UserChannel& channel) { RunBuildMap(session_, settings, channel); },
        [this] {
            txtRutaMap_->setText(Q(session_.map.map_path));
            // Enabled again when there is a map to blend with: this run's, or the one before
            // it when this run failed or was cancelled.
            const bool haveMap = !session_.map.map_path.empty();
            cmdBlend_->setEnabled(haveMap);
            cmdBlendBW_->setEnabled(haveMap);
            cmdTestBW_->setEnabled(haveMap);
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
    const QString folder =
        txtRutaMap_->text().isEmpty() ? FolderOf(txtRuta_->text()) : FolderOf(txtRutaMap_->text());
    const std::string path =
        choose_file_("Set blending map file and pathname", "Map PNG files (*.png)", folder);
    if (path.empty() || Q(path) == txtRutaMap_->text() || runner_.Busy()) {
        return;
    }
    if (UseChosenMap(path, session_, channel_)) {
        txtRutaMap_->setText(Q(session_.map.map_path));
    }
}

void frmMain::cmdCopyClipBoard_Click() {
    if (!ImagenMostrada()) {
        return;
    }
    if (fraWB_->Settings().mode == WBMode::kPatch) {
        fraWB_->DibujarPatch(true);
    } else {
        QApplication::clipboard()->setImage(pctImagen_->ObjetoMostrado());
    }
    channel_.MessageBrimsal("Display snapshot copied to Clipboard");
}

// ---- Window events ----

void frmMain::showEvent(QShowEvent* event) {
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
