#include "window/WhiteBalanceFrame.h"

#include <QApplication>
#include <QButtonGroup>
#include <QClipboard>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>

#include "base/SettingRange.h"
#include "image/Picture.h"
#include "whitebalance/WBPatch.h"
#include "whitebalance/WhiteBalance.h"
#include "window/Controls.h"
#include "window/Display.h"
#include "window/PictureView.h"

namespace brimsal {

namespace {

struct ModeButton {
    const char* caption;
    const char* toolTip;
};
constexpr std::array<ModeButton, 5> kModeButtons = {{
    {"Camera", "WB set in camera"},
    {"Coeffs", "WB defined by linear multipliers"},
    {"Preset", "Precalculated WB (original Canon 350D values)"},
    {"Patch", "WB calculated over a patch set on the image"},
    {"Temp/Tint", "Kelvin temperature and tint WB"},
}};

struct CoefficientBox {
    const char* channel;
    const char* colour;
    const char* toolTip;
};
constexpr std::array<CoefficientBox, 3> kCoefficientBoxes = {{
    {"R", "red", "R linear coefficient"},
    {"G", "green", "G linear coefficient"},
    {"B", "blue", "B linear coefficient"},
}};

// A coefficient box whose text cannot be developed with.
constexpr const char* kMarkedBox =
    "QLineEdit { background-color: #ffe0e0; border: 1px solid #c00000; }";

// Wider than any multiplier a preset or a patch writes (one digit, six decimals).
constexpr const char* kWidestCoefficient = "88.888888";

constexpr const char* kCaptionSquare = "[   ]";
constexpr const char* kCaptionRound = "O";

QScrollBar* DisabledBar(const char* name, const char* accessible, const SettingRange& range,
                        QWidget* parent) {
    auto* bar = new QScrollBar(Qt::Horizontal, parent);
    bar->setObjectName(name);
    bar->setAccessibleName(accessible);
    bar->setRange(range.minimum, range.maximum);
    bar->setValue(range.initial);
    bar->setSingleStep(1);
    bar->setPageStep(1);
    bar->setEnabled(false);
    return bar;
}

}  // namespace

WhiteBalanceFrame::WhiteBalanceFrame(QWidget* parent) : QGroupBox("White balance", parent) {
    setObjectName("fraWB");
    auto* grid = new QGridLayout(this);

    optWBGroup_ = new QButtonGroup(this);
    for (int i = 0; i < 5; ++i) {
        auto* button = new QRadioButton(kModeButtons[i].caption, this);
        button->setObjectName(QString("optWB_%1").arg(i));
        button->setAccessibleName(kModeButtons[i].caption);
        button->setToolTip(kModeButtons[i].toolTip);
        optWBGroup_->addButton(button, i);
        grid->addWidget(button, 0, i);
        optWB_[i] = button;
    }
    optWB_[static_cast<int>(WBMode::kTempTint)]->setEnabled(false);
    connect(optWBGroup_, &QButtonGroup::idClicked, this, &WhiteBalanceFrame::optWB_Click);

    for (int i = 0; i < 3; ++i) {
        auto* label = new QLabel(kCoefficientBoxes[i].channel, this);
        label->setStyleSheet(
            QString("color: %1; font-weight: bold;").arg(kCoefficientBoxes[i].colour));
        auto* box = new QLineEdit(this);
        box->setObjectName(QString("txtWB_%1").arg(i));
        box->setAccessibleName(kCoefficientBoxes[i].channel);
        box->setToolTip(kCoefficientBoxes[i].toolTip);
        ShowWhole(box, kWidestCoefficient);
        connect(box, &QLineEdit::textChanged, this, &WhiteBalanceFrame::CheckCoefficients);
        label->setBuddy(box);
        box->installEventFilter(this);
        grid->addWidget(label, 1, 2 * i, Qt::AlignRight);
        grid->addWidget(box, 1, 2 * i + 1);
        txtWB_[i] = box;
    }

    cmbWB_ = new QComboBox(this);
    cmbWB_->setObjectName("cmbWB");
    cmbWB_->setAccessibleName("WB preset");
    cmbWB_->setToolTip("Precalculated WB (original Canon 350D values)");
    for (const WBPreset& preset : kWBPresets) {
        cmbWB_->addItem(preset.caption);
    }
    // The list has an edit field, but typing into it puts the stored row back: a fixed list.
    // Only the user's edits are put back: a row chosen in the list changes the field too, and
    // that choice is applied (cmbWB_Click).
    cmbWB_->setEditable(true);
    cmbWB_->setInsertPolicy(QComboBox::NoInsert);
    cmbWB_->setCompleter(nullptr);
    connect(cmbWB_, &QComboBox::activated, this, &WhiteBalanceFrame::cmbWB_Click);
    connect(cmbWB_->lineEdit(), &QLineEdit::textEdited, this, &WhiteBalanceFrame::cmbWB_Change);
    grid->addWidget(cmbWB_, 2, 0, 1, 3);

    cmdParche_ = new QPushButton(kCaptionSquare, this);
    cmdParche_->setObjectName("cmdParche");
    cmdParche_->setAccessibleName(kCaptionSquare);
    cmdParche_->setToolTip("Select square or round WB patch");
    connect(cmdParche_, &QPushButton::clicked, this, &WhiteBalanceFrame::cmdParche_Click);
    grid->addWidget(cmdParche_, 2, 3);

    cmdCalculateWB_ = new QPushButton("Calc WB", this);
    cmdCalculateWB_->setObjectName("cmdCalculateWB");
    cmdCalculateWB_->setAccessibleName("Calc WB");
    cmdCalculateWB_->setToolTip("Calculate WB coefficients for patch");
    connect(cmdCalculateWB_, &QPushButton::clicked, this, [this] {
        if (patch_.ParcheDefinido) {
            emit calcWBRequested();
        }
    });
    grid->addWidget(cmdCalculateWB_, 2, 4, 1, 2);

    hscTemp_ = DisabledBar("hscTemp", "Temperature", kTempRange, this);
    hscTint_ = DisabledBar("hscTint", "Tint", kTintRange, this);
    auto* temperature = new QLabel("4500 K", this);
    auto* tint = new QLabel("0", this);
    temperature->setEnabled(false);
    tint->setEnabled(false);
    grid->addWidget(hscTemp_, 3, 0, 1, 2);
    grid->addWidget(temperature, 3, 2);
    grid->addWidget(hscTint_, 3, 3, 1, 2);
    grid->addWidget(tint, 3, 5);

    // Start: the Daylight preset, the Preset mode, no patch.
    cmbWB_->setCurrentIndex(kDaylightPreset);
    ShowSettings(WhiteBalanceSettings{});
    cmdParche_->setEnabled(false);
    cmdCalculateWB_->setEnabled(false);
}

WhiteBalanceSettings WhiteBalanceFrame::Settings() const {
    WhiteBalanceSettings wb;
    const int mode = optWBGroup_->checkedId();
    wb.mode = static_cast<WBMode>(mode < 0 ? static_cast<int>(WBMode::kPreset) : mode);
    wb.preset = cmbWBListIndex_;
    for (int i = 0; i < 3; ++i) {
        wb.txtWB[i] = CoefficientFromDisplay(txtWB_[i]->text().toStdString());
    }
    return wb;
}

void WhiteBalanceFrame::ShowSettings(const WhiteBalanceSettings& wb) {
    optWB_[static_cast<int>(wb.mode)]->setChecked(true);
    SetTxtWB(wb.txtWB);
    // The camera's own multipliers are used: the boxes and the presets stand aside.
    const bool camera = wb.mode == WBMode::kCamera;
    for (QLineEdit* box : txtWB_) {
        LookUnused(box, camera);
    }
    LookUnused(cmbWB_, camera);
    CheckCoefficients();
}

bool WhiteBalanceFrame::MultipliersUsable() const {
    return MultiplierProblem(Settings()).empty();
}

void WhiteBalanceFrame::CheckCoefficients() {
    const WhiteBalanceSettings wb = Settings();
    for (size_t i = 0; i < txtWB_.size(); ++i) {
        // The problem of this box alone: the other two as unity.
        WhiteBalanceSettings alone = wb;
        alone.txtWB = {"1", "1", "1"};
        alone.txtWB[i] = wb.txtWB[i];
        const QString problem = QText(MultiplierProblem(alone));
        QLineEdit* box = txtWB_[i];
        box->setStyleSheet(problem.isEmpty() ? QString() : kMarkedBox);
        box->setToolTip(problem.isEmpty() ? kCoefficientBoxes[i].toolTip : problem);
        box->setAccessibleDescription(problem);
    }
    ShowCalcWB();
    emit multipliersChecked(MultiplierProblem(wb).empty());
}

void WhiteBalanceFrame::ShowCalcWB() {
    cmdCalculateWB_->setEnabled(Settings().mode == WBMode::kPatch && patch_.ParcheDefinido &&
                                MultipliersUsable());
}

void WhiteBalanceFrame::SetTxtWB(const std::array<std::string, 3>& texts) {
    for (int i = 0; i < 3; ++i) {
        txtWB_[i]->setText(QString::fromStdString(CoefficientForDisplay(texts[i])));
    }
}

void WhiteBalanceFrame::optWB_Click(int index) {
    const bool patchMode = index == static_cast<int>(WBMode::kPatch);
    if (!patchMode && view_ != nullptr && view_->ImagenMostrada()) {
        view_->ShowClean();
    }
    cmdParche_->setEnabled(false);

    WhiteBalanceSettings wb = Settings();
    if (ChooseWBMode(wb, static_cast<WBMode>(index), AvisoWBMostrado_)) {
        emit warningRequested(kCameraWBWarning);
    }
    ShowSettings(wb);
    if (patchMode) {
        cmdParche_->setEnabled(true);
        if (patch_.ParcheDefinido) {
            DibujarPatch(false);
        }
    }
    ShowCalcWB();
    emit developmentSettingChanged(true);
}

void WhiteBalanceFrame::cmbWB_Click(int row) {
    cmbWBListIndex_ = row;
    cmbWB_->setCurrentIndex(row);
    WhiteBalanceSettings wb = Settings();
    ChooseWBPreset(wb, row);
    ShowSettings(wb);
    optWB_Click(static_cast<int>(WBMode::kPreset));
    emit developmentSettingChanged(false);
}

void WhiteBalanceFrame::cmbWB_Change() {
    cmbWB_->setCurrentIndex(cmbWBListIndex_);
    cmbWB_->setEditText(cmbWB_->itemText(cmbWBListIndex_));
}

void WhiteBalanceFrame::txtWB_LostFocus(int index) {
    txtWB_[index]->setText(QString::fromStdString(
        CoefficientForDisplay(NormalizeTxtWB(txtWB_[index]->text().toStdString()))));
    emit developmentSettingChanged(false);
}

bool WhiteBalanceFrame::eventFilter(QObject* watched, QEvent* event) {
    for (int i = 0; i < 3; ++i) {
        if (watched != txtWB_[i]) {
            continue;
        }
        if (event->type() == QEvent::MouseButtonPress) {
            // Clicking into a coefficient box selects the Coeffs mode; the values stay.
            optWB_[static_cast<int>(WBMode::kCoeffs)]->setChecked(true);
            optWB_Click(static_cast<int>(WBMode::kCoeffs));
        } else if (event->type() == QEvent::FocusOut) {
            txtWB_LostFocus(i);
        }
    }
    return QGroupBox::eventFilter(watched, event);
}

void WhiteBalanceFrame::cmdParche_Click() {
    TogglePatchShape(patch_);
    const char* caption = patch_.ParcheCuadrado ? kCaptionSquare : kCaptionRound;
    cmdParche_->setText(caption);
    cmdParche_->setAccessibleName(caption);
    if (Settings().mode == WBMode::kPatch && patch_.ParcheDefinido) {
        DibujarPatch(false);
    }
}

void WhiteBalanceFrame::AttachPicture(PictureView* view) {
    view_ = view;
    connect(view, &PictureView::mousePressed, this, &WhiteBalanceFrame::pctImagen_MouseDown);
    connect(view, &PictureView::mouseMoved, this, &WhiteBalanceFrame::pctImagen_MouseMove);
    connect(view, &PictureView::mouseReleased, this, &WhiteBalanceFrame::pctImagen_MouseUp);
    connect(view, &PictureView::pictureChanged, this, &WhiteBalanceFrame::NewPicture);
}

void WhiteBalanceFrame::ToImageFractions(QPoint position, double& fx, double& fy) const {
    fx = CorrectX(position.x(), view_->AnchoMostrado());
    fy = CorrectY(position.y(), view_->AltoMostrado());
}

void WhiteBalanceFrame::pctImagen_MouseDown(QPoint position) {
    // While the frame is disabled (a step runs) the patch, a development setting, stays.
    if (!view_->ImagenMostrada() || !isEnabled()) {
        return;
    }
    patchBeforeDrag_ = patch_;
    patch_.ArrastrandoParche = true;
    ToImageFractions(position, patch_.ParcheX1, patch_.ParcheY1);
    patch_.ParcheX2 = patch_.ParcheX1;
    patch_.ParcheY2 = patch_.ParcheY1;
}

void WhiteBalanceFrame::pctImagen_MouseMove(QPoint position) {
    if (!view_->ImagenMostrada()) {
        return;
    }
    if (!patch_.ArrastrandoParche) {
        double fx = 0;
        double fy = 0;
        ToImageFractions(position, fx, fy);
        emit readOut(QString::fromStdString(PositionReadOut(fx, fy)));
        return;
    }
    ToImageFractions(position, patch_.ParcheX2, patch_.ParcheY2);
    emit readOut(QString::fromStdString(DragReadOut(patch_)));
    DibujarPatch(false);
}

void WhiteBalanceFrame::pctImagen_MouseUp(QPoint position) {
    if (!view_->ImagenMostrada() || !patch_.ArrastrandoParche) {
        return;
    }
    patch_.ArrastrandoParche = false;
    ToImageFractions(position, patch_.ParcheX2, patch_.ParcheY2);
    patch_.ParcheDefinido = true;
    emit developmentSettingChanged(false);
    optWB_[static_cast<int>(WBMode::kPatch)]->setChecked(true);
    optWB_Click(static_cast<int>(WBMode::kPatch));
    DibujarPatch(false);
}

void WhiteBalanceFrame::changeEvent(QEvent* event) {
    QGroupBox::changeEvent(event);
    // A drag still under way when a step starts is dropped: the patch is the one before it.
    if (event->type() == QEvent::EnabledChange && !isEnabled() && patch_.ArrastrandoParche) {
        patch_ = patchBeforeDrag_;
        if (Settings().mode == WBMode::kPatch && patch_.ParcheDefinido) {
            DibujarPatch(false);
        } else {
            view_->ShowClean();
        }
    }
}

void WhiteBalanceFrame::NewPicture() {
    if (Settings().mode == WBMode::kPatch && patch_.ParcheDefinido) {
        DibujarPatch(false);
    }
}

QImage WhiteBalanceFrame::PictureWithPatch(bool withCross) const {
    if (view_ == nullptr || !view_->ImagenMostrada()) {
        return {};
    }
    // The outline goes on a copy: the displayed picture itself stays clean.
    const QImage shown = view_->ObjetoMostrado().convertToFormat(QImage::Format_RGB32);
    Picture copy;
    copy.SetScreenWords(shown.width(), shown.height(),
                        reinterpret_cast<const uint32_t*>(shown.constBits()),
                        static_cast<size_t>(shown.bytesPerLine()) / sizeof(uint32_t));
    copy.SetDrawColor(RGB(kOutlineRed, kOutlineGreen, kOutlineBlue));
    const PatchOutline outline =
        PatchOutlineOn(patch_, view_->AnchoMostrado(), view_->AltoMostrado());
    if (outline.square) {
        copy.DrawRectangleOutline(outline.left, outline.top, outline.width, outline.height);
    } else {
        copy.DrawCircleOutline(outline.cx, outline.cy, outline.radius);
    }
    if (withCross) {
        copy.DrawLineSegment(outline.cx - kCrossArm, outline.cy, outline.cx + kCrossArm,
                             outline.cy);
        copy.DrawLineSegment(outline.cx, outline.cy - kCrossArm, outline.cx,
                             outline.cy + kCrossArm);
    }
    QImage drawn(copy.GetWidth(), copy.GetHeight(), QImage::Format_RGB32);
    copy.GetScreenWords(reinterpret_cast<uint32_t*>(drawn.bits()));
    return drawn;
}

void WhiteBalanceFrame::DibujarPatch(bool copyToClipboard) {
    if (view_ == nullptr || !view_->ImagenMostrada()) {
        return;
    }
    if (copyToClipboard) {
        QApplication::clipboard()->setImage(PictureWithPatch(false));
    } else {
        view_->ShowWithPatch(PictureWithPatch(true));
    }
}

}  // namespace brimsal
