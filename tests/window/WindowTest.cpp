// The main window on a 1366 x 768 screen with a stand-in dcraw (boxes recorded, files chosen by a
// stand-in dialog), used as a person does: lists picked in their popups or by keys, toggles,
// boxes typed into, steps with their progress; the start screen, the whole road and Calc WB with
// the real dcraw against brimsal-cli; the display, patch drags and outlines, and the white-balance
// modes.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyleOptionFrame>
#include <QTest>
#include <QUrl>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

#include "cli/CliRunner.h"
#include "develop/DcrawCommand.h"
#include "develop/RawFileSet.h"
#include "image/TiffIO.h"
#include "support/FakeDcraw.h"
#include "support/Fixtures.h"
#include "window/Display.h"
#include "window/DisplayImage.h"
#include "window/PictureView.h"
#include "window/WhiteBalanceFrame.h"
#include "window/frmIntro.h"
#include "window/frmMain.h"

namespace brimsal {
namespace {

using Lines = std::vector<std::string>;
using Texts = std::array<std::string, 3>;
using test::NumericLocale;

// The stand-in dcraw copies the "RAW" file (a TIFF under a RAW name) to the TIFF dcraw writes;
// with `slow` present in its folder it leaves a partial TIFF and hangs instead.
constexpr const char* kStandInDcraw =
    "if [ -e \"$(dirname \"$0\")/slow\" ]; then printf partial > \"$tiff\"; exec sleep 60; fi\n"
    "cp \"$last\" \"$tiff\"\n";

// The controls the gating acts on: the choice, the steps in workflow order, snapshot and Cancel.
constexpr const char* kGated[] = {"cmdSeleccionar", "cmdDevelop",       "cmdEV",
                                  "cmdBuildMap",    "cmdBlend",         "cmdBlendBW",
                                  "cmdTestBW",      "cmdCopyClipBoard", "cmdCancel"};

// Picks a row of a list as a person does: clicked in its popup, or, for kNextByKeys, the row
// after the current one with the keys (Alt+Down opens the popup, Down, Enter).
constexpr int kNextByKeys = -1;
void Pick(QComboBox* list, int row) {
    QAbstractItemView* rows = list->view();
    if (row == kNextByKeys) {
        QTest::keyClick(list, Qt::Key_Down, Qt::AltModifier);
        ASSERT_TRUE(QTest::qWaitFor([&] { return rows->isVisible(); }));
        QTest::keyClick(rows, Qt::Key_Down);
        QTest::keyClick(rows, Qt::Key_Return);
        return;
    }
    list->showPopup();
    const QPoint at = rows->visualRect(rows->model()->index(row, 0)).center();
    QTest::mouseClick(rows->viewport(), Qt::LeftButton, {}, at);
}

// Whether a control shows the colour `colour` near its right end, inside its frame.
bool ShowsColourAtItsEnd(QWidget* control, QColor colour) {
    return control->grab().toImage().pixelColor(control->width() - 4, control->height() / 2) ==
           colour;
}

class Window : public ::testing::Test {
  protected:
    Window() {
        window_.SetBoxPresenter([this](const QString& title, const QString& text) {
            boxes_.push_back((title + ": " + text).toStdString());
        });
        window_.SetFileChooser([this](const QString&, const QString& filter, const QString&) {
            filter_ = filter.toStdString();
            return chosen_;
        });
        window_.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window_));
    }
    template <class Widget = QWidget>
    Widget* W(const char* name) const {
        auto* widget = window_.findChild<Widget*>(name);
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    // The text a line edit, a label, a button or a list shows.
    std::string Text(const char* name) const {
        const QVariant text = W(name)->property("text");
        return (text.isValid() ? text : W(name)->property("currentText")).toString().toStdString();
    }
    // "1" for each enabled control of kGated, "0" for each disabled one.
    std::string Gate() const {
        std::string flags;
        for (const char* name : kGated) {
            flags += W(name)->isEnabled() ? '1' : '0';
        }
        return flags;
    }
    void Click(const char* name) { QTest::mouseClick(W(name), Qt::LeftButton); }
    bool Idle() { return !window_.Runner().Busy(); }
    bool WaitIdle(int timeout_ms = 30000) {
        return QTest::qWaitFor([this] { return Idle(); }, timeout_ms);
    }
    Lines Log() const {
        Lines lines;
        for (const QString& line : W<QPlainTextEdit>("txtStatus")->toPlainText().split('\n')) {
            lines.push_back(line.toStdString());
        }
        lines.pop_back();  // after the last line break
        return lines;
    }
    // Three constant frames, each twice as bright as the one before (`step` 1), under RAW names.
    void WriteSeries(int step = 1) {
        for (int i = 0; i < 3; ++i) {
            const auto level = static_cast<uint16_t>(4000 << (i * step));
            WriteTiff(test::ConstantFrame(40, 30, level, level, level), Raw(i));
        }
    }
    std::string Raw(int i) const { return photos_.file("f" + std::to_string(i) + ".dng"); }
    void Choose(const std::string& path) {
        chosen_ = path;
        Click("cmdSeleccionar");
        ASSERT_TRUE(WaitIdle());
    }
    // Whether the file exists before `timeout_ms` has passed.
    static bool Appears(const std::string& path, int timeout_ms = 10000) {
        return QTest::qWaitFor([&] { return std::filesystem::exists(path); }, timeout_ms);
    }

    // Made before the window, which shows dcraw's path from the start.
    test::FakeDcrawOnPath dcraw_{kStandInDcraw};
    test::TempDir photos_;
    std::string chosen_;
    std::string filter_;  // the chooser's last filter
    Lines boxes_;
    frmMain window_;
};

TEST_F(Window, SettingsHandlersEdgeCases) {
    QTest::keyClicks(W("txtSat"), "12a3");  // typing keeps the digits
    EXPECT_EQ(Text("txtSat"), "123");
    // Each control's handler: leaving the saturation box, even empty, is "User value"; the two mix
    // bars never sum above 100.
    const std::tuple<const char*, const char*, const char*, const char*> moves[] = {
        {"txtSat", "123", "cmbSat", "User value"},
        {"txtSat", "", "cmbSat", "User value"},
        {"txtDCRAW", "  -k   512 ", "txtDCRAW", "-k 512"},
        {"hscBWR", "80", "lblBWB", "20%"},
        {"hscBWB", "90", "lblBWR", "10%"},
        {"hscTH", "75", "lblTH", "75%"},
        {"hscBracketEV", "4", "txtBracket", "NO BRACKETING"},
        {"hscBracketNum", "3", "txtBracket", "0 +4 +8"},
        {"cmdEVMethod", "", "cmdEVMethod", "A"}};
    for (const auto& [control, input, shown, text] : moves) {
        if (auto* box = window_.findChild<QLineEdit*>(control)) {
            box->setText(input);
            QTest::keyClick(box, Qt::Key_Return);
        } else if (auto* bar = window_.findChild<QScrollBar*>(control)) {
            bar->setValue(std::stoi(input));
        } else {
            Click(control);
        }
        EXPECT_EQ(Text(shown), text) << control << " " << input;
    }
    EXPECT_TRUE(window_.RoadSettingsFromControls().ev.average);
}

// Every list takes the row picked in its popup or by the keys, and what the row stands for
// follows: the preset's multipliers in Preset mode, the camera's saturation level, the demosaic
// in the dcraw line, the gamma a profile ties to. Typing into the preset list's field changes
// nothing.
TEST_F(Window, EveryListTakesTheRowPickedByMouseOrKeys) {
    Click("optWB_0");  // Camera, away from the presets
    const std::tuple<const char*, int, const char*, const char*> picks[] = {
        {"cmbWB", 5, "lblDCRAW", " -r 1.392498 1 2.375114 1 "},  // Tungsten
        {"cmbWB", kNextByKeys, "txtWB_2", "1.997113"},           // Fluorescent
        {"cmbSat", 3, "txtSat", "13823"},                        // Canon 40D
        {"cmbSat", kNextByKeys, "txtSat", "13432"},
        {"cmbQuality", 1, "lblDCRAW", " -q 1 "},
        {"cmbQuality", kNextByKeys, "lblDCRAW", " -q 2 "},
        {"cmbProfile", 4, "lblGamma", "1.8"},  // ProPhoto
        {"cmbProfile", kNextByKeys, "lblGamma", "1"}};
    for (const auto& [list, row, shown, text] : picks) {
        Pick(W<QComboBox>(list), row);
        const bool fragment = std::string_view(shown) == "lblDCRAW";
        EXPECT_TRUE(fragment ? Text(shown).find(text) != std::string::npos : Text(shown) == text)
            << list << " " << row << ": " << Text(shown);
    }
    EXPECT_TRUE(W<QRadioButton>("optWB_2")->isChecked());
    QTest::keyClicks(W<QComboBox>("cmbWB")->lineEdit(), "Shade");
    EXPECT_EQ(Text("cmbWB"), "Fluorescent");
    EXPECT_EQ(window_.RoadSettingsFromControls().develop.wb.txtWB[0], "1.78344");
}

// Toggles look pressed in while on and say so to screen readers. Under Camera white balance
// Headroom stands aside (off, disabled, its tool tip saying why) and comes back after it, and the
// boxes and the presets look unused; a headroom development's picture says it is shown darker.
TEST_F(Window, StateYouCanSee) {
    const QColor pressed = window_.palette().color(QPalette::Highlight);
    for (const char* name : {"chkHLRecovery", "chkHeadroom", "chkETTR", "chkFloat"}) {
        auto* toggle = W<QAbstractButton>(name);
        for (bool on : {true, false}) {
            Click(name);
            EXPECT_EQ(QAccessible::queryAccessibleInterface(toggle)->state().checked, on) << name;
            EXPECT_EQ(ShowsColourAtItsEnd(toggle, pressed), on) << name;
        }
    }
    // The highlight-recovery warning shows on the first click only, in either direction.
    EXPECT_EQ(boxes_, Lines{std::string("WARNING: ") + kHLRecoveryWarning});
    Click("chkHeadroom");
    EXPECT_NE(Text("lblDCRAW").find(" -H 1 "), std::string::npos) << Text("lblDCRAW");
    WriteSeries();
    Choose(Raw(0));
    EXPECT_EQ(Text("lblNote"), "Headroom: shown 2.13 times darker (-1.09 EV)");
    const auto looksUnused = [](QWidget* control) {
        const QPalette colours = control->palette();
        return colours.color(QPalette::Active, QPalette::Text) ==
               colours.color(QPalette::Disabled, QPalette::Text);
    };
    for (const bool camera : {true, false}) {
        Click(camera ? "optWB_0" : "optWB_1");
        ASSERT_TRUE(WaitIdle());
        auto* headroom = W<QAbstractButton>("chkHeadroom");
        EXPECT_EQ(headroom->isEnabled() && headroom->isChecked(), !camera);
        EXPECT_EQ(headroom->toolTip().contains("not available with Camera"), camera);
        EXPECT_EQ(Text("lblDCRAW").find(" -H 1 ") == std::string::npos, camera);
        EXPECT_EQ(looksUnused(W("txtWB_2")) && looksUnused(W("cmbWB")), camera);
        EXPECT_EQ(Text("lblNote").empty(), camera);
    }
}

// A coefficient that is not a multiplier is kept as typed, its box marked with what is accepted,
// and Develop and Calc WB stay disabled, with no development tried, until it is put right.
TEST_F(Window, CoefficientsThatCannotBeUsedAreShownNotReplaced) {
    WriteSeries();
    Choose(Raw(0));
    PictureView* view = window_.pctImagen();
    QTest::mousePress(view, Qt::LeftButton, {}, QPoint(5, 5));  // a patch: Calc WB is live
    QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(15, 15));
    auto* box = W<QLineEdit>("txtWB_2");
    const QColor marked(0xff, 0xe0, 0xe0);
    for (const std::string typed : {"abc", "-1", "0", "1e400", "1.5"}) {
        const bool usable = typed == "1.5";
        QTest::mouseClick(box, Qt::LeftButton);  // Coeffs
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(box, QString::fromStdString(typed));
        QTest::keyClick(box, Qt::Key_Tab);
        ASSERT_TRUE(WaitIdle());
        Click("optWB_3");  // Patch again, with the boxes as they are
        ASSERT_TRUE(WaitIdle());
        EXPECT_EQ(Text("txtWB_2"), typed);
        EXPECT_EQ(ShowsColourAtItsEnd(box, marked), !usable) << typed;
        EXPECT_EQ(box->toolTip().contains("numbers from 0.001 to 1000"), !usable) << typed;
        EXPECT_EQ(W("cmdDevelop")->isEnabled(), usable) << typed;
        EXPECT_EQ(W("cmdCalculateWB")->isEnabled(), usable) << typed;
    }
    EXPECT_EQ(boxes_, Lines{});
}

// On a 1366 x 768 screen the window opens inside the available area with every control in it and
// each coefficient whole in its box; the picture fills the box the layout leaves, and fills it
// again when the window grows.
TEST_F(Window, FitsTheScreenAndThePictureTakesTheRoom) {
    EXPECT_TRUE(window_.screen()->availableGeometry().contains(window_.frameGeometry()));
    for (QWidget* control : window_.findChildren<QWidget*>()) {
        const QRect area(control->mapTo(&window_, QPoint()), control->size());
        EXPECT_TRUE(!control->isVisible() || window_.rect().contains(area))
            << control->objectName().toStdString();
    }
    for (const char* name : {"txtWB_0", "txtWB_1", "txtWB_2"}) {
        auto* box = W<QLineEdit>(name);
        QStyleOptionFrame frame;
        frame.initFrom(box);
        frame.lineWidth = box->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &frame, box);
        const QRect text = box->style()->subElementRect(QStyle::SE_LineEditContents, &frame, box);
        EXPECT_GE(text.width() - 4, box->fontMetrics().horizontalAdvance(box->text())) << name;
    }
    WriteSeries();
    Choose(Raw(0));
    PictureView* view = window_.pctImagen();
    const auto fills = [view] {
        return view->AnchoMostrado() == view->width() || view->AltoMostrado() == view->height();
    };
    EXPECT_TRUE(fills());
    EXPECT_GE(view->AnchoMostrado(), 550);
    const int before = view->AnchoMostrado();
    window_.resize(1900, 1040);
    EXPECT_TRUE(QTest::qWaitFor([&] { return fills() && view->AnchoMostrado() > before; }));
}

// A first user: the empty window says how to begin; Ctrl+O opens the file choice, which offers
// every RAW extension dcraw reads, in either case, and every file.
TEST_F(Window, TheEmptyWindowSaysHowToBeginAndCtrlOChooses) {
    const QImage empty = window_.pctImagen()->grab().toImage();
    QImage blank(empty.size(), empty.format());
    blank.fill(empty.pixel(0, 0));
    EXPECT_TRUE(empty != blank);  // the hint is painted
    EXPECT_NE(window_.pctImagen()->Hint().indexOf("Ctrl+O"), -1);
    WriteSeries();
    chosen_ = Raw(0);
    QTest::keyClick(&window_, Qt::Key_O, Qt::ControlModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return Text("txtRuta") == Raw(0); }));
    for (const std::string extension : kRawExtensions) {
        for (const QString& pattern : {QString("*.%1 ").arg(extension.c_str()),
                                       QString("*.%1").arg(extension.c_str()).toUpper()}) {
            EXPECT_NE(filter_.find(pattern.toStdString()), std::string::npos)
                << pattern.toStdString();
        }
    }
    EXPECT_TRUE(filter_.ends_with(";;All files (*)")) << filter_;
}

// Frames of one exposure are not a bracket: Calc EV says what it measured and what a bracket
// needs, in the log after the read-out and in a box, and Build map may follow.
TEST_F(Window, ASetOfOneExposureIsNotABracketAndSaysSo) {
    WriteSeries(0);
    Choose(Raw(0));
    for (const char* step : {"cmdDevelop", "cmdEV"}) {
        Click(step);
        ASSERT_TRUE(WaitIdle()) << step;
    }
    const std::string measured = "2 of 2 exposure steps under 0.17EV, the smallest +0EV from f";
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_TRUE(boxes_[0].starts_with("WARNING: These frames are not a bracket: " + measured))
        << boxes_[0];
    EXPECT_NE(boxes_[0].find("usually 1 to 2 EV apart"), std::string::npos);
    const Lines log = Log();
    const auto line = std::ranges::find_if(log, [&](const std::string& text) {
        return text.starts_with("Not a bracket: " + measured);
    });
    ASSERT_NE(line, log.end());
    EXPECT_TRUE(std::prev(line)->ends_with("% lev)")) << *std::prev(line);
    EXPECT_TRUE(W("cmdBuildMap")->isEnabled());
}

// From the start state, choosing, developing, Calc EV, Build map, the blends and the contact sheet
// each enable the next step, and while one runs only Cancel (and the snapshot) is live; each
// step's progress ends at 100 %, then the bar is idle and the read-out under the picture is the
// pointer's again. A development setting that changes the command line disables the later steps
// again, one that leaves it as it was does not.
TEST_F(Window, GatingThroughEveryStep) {
    EXPECT_EQ(Gate(), "100000000");
    // Every control a user or a screen reader can operate is named (a list's own edit field and
    // a scroll area's own bar aside).
    const char* const operable[] = {"QAbstractButton", "QLineEdit", "QComboBox", "QScrollBar",
                                    "QPlainTextEdit"};
    for (QWidget* widget : window_.findChildren<QWidget*>()) {
        const bool part = qobject_cast<QComboBox*>(widget->parent()) != nullptr ||
                          (qobject_cast<QScrollBar*>(widget) && widget->objectName().isEmpty());
        EXPECT_TRUE(!widget->accessibleName().isEmpty() || part ||
                    std::ranges::none_of(operable,
                                         [&](const char* type) { return widget->inherits(type); }))
            << widget->metaObject()->className() << " " << widget->objectName().toStdString();
    }
    WriteSeries();
    chosen_ = "";
    Click("cmdSeleccionar");
    Choose(Raw(1));
    EXPECT_EQ(Text("txtRuta"), Raw(1));
    EXPECT_EQ(W<QPlainTextEdit>("txtFiles")->toPlainText(), "f0.dng\nf1.dng\nf2.dng\n");
    EXPECT_EQ(std::ranges::count(Log(), "f1.dng developed and displayed"), 1);
    EXPECT_EQ(Gate(), "110000010");
    Click("cmdSeleccionar");  // the same file again is no choice
    EXPECT_EQ(boxes_, Lines(2, "Brimsal: No file has been selected"));

    QTest::mouseMove(window_.pctImagen(), QPoint(4, 3));
    const std::string pointer = Text("lblXY");
    auto* bar = W<QProgressBar>("prgStep");
    const std::pair<const char*, const char*> steps[] = {
        {"cmdDevelop", "111000010"}, {"cmdEV", "111100010"},      {"cmdBuildMap", "111111110"},
        {"cmdBlend", "111111110"},   {"cmdBlendBW", "111111110"}, {"cmdTestBW", "111111110"}};
    for (const auto& [button, after] : steps) {
        QSignalSpy started(&window_.Runner(), &StepRunner::started);
        QSignalSpy progress(bar, &QProgressBar::valueChanged);
        Click(button);
        ASSERT_EQ(started.count(), 1) << button;
        EXPECT_EQ(Gate(), "000000011") << button;
        ASSERT_TRUE(WaitIdle()) << button;
        EXPECT_EQ(Log().back(), "DONE") << button;
        EXPECT_EQ(Gate(), after) << button;
        ASSERT_FALSE(progress.empty()) << button;
        EXPECT_EQ(progress.last().at(0).toInt(), 100) << button;
        EXPECT_EQ(bar->text(), "") << button;
        EXPECT_EQ(Text("lblXY"), pointer) << button;
    }
    EXPECT_EQ(test::FilesLike(photos_.path(), "BR_").size(), 2u);
    EXPECT_EQ(test::FilesLike(photos_.path(), "BWTest_").size(), 1u);
    // A map chosen instead of the built one is the one the next blend reads.
    const std::string edited = photos_.file("edited map.png");
    std::filesystem::rename(Text("txtRutaMap"), edited);  // the built one is gone
    chosen_ = edited;
    Click("cmdSelMap");
    EXPECT_EQ(Text("txtRutaMap"), edited);
    Click("cmdBlendBW");
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(test::FilesLike(photos_.path(), "BR_").size(), 3u);

    // The same row again changes nothing; another row disables the later steps and develops
    // the reference again, which enables Develop once more.
    Pick(W<QComboBox>("cmbQuality"), 3);
    EXPECT_EQ(Gate(), "111111110");
    Pick(W<QComboBox>("cmbQuality"), 1);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(Gate(), "110000010");
    EXPECT_NE(Text("lblDCRAW").find("-q 1"), std::string::npos);

    chosen_ = photos_.file("gone.png");
    Click("cmdSelMap");
    EXPECT_EQ(boxes_.back(), "ERROR: Map file '" + chosen_ + "' not found");
    // The snapshot puts the displayed picture on the clipboard and says so.
    QApplication::clipboard()->clear();
    Click("cmdCopyClipBoard");
    EXPECT_EQ(QApplication::clipboard()->image(), window_.pctImagen()->ObjetoMostrado());
    EXPECT_EQ(boxes_.back(), "Brimsal: Display snapshot copied to Clipboard");
}

// Cancel during the listing stops the quick development it leads to. A dropped file is chosen;
// Cancel (Esc) during a development that never ends stops dcraw, removes its partial TIFF and
// leaves the window usable, and the picture takes no patch drag meanwhile; closing the window
// during a step cancels it and closes once it has ended.
TEST_F(Window, CancelDuringALongStepLeavesNoFileAndAUsableWindow) {
    WriteSeries();
    chosen_ = Raw(1);
    QObject::connect(
        &window_.Runner(), &StepRunner::started, &window_, [this] { Click("cmdCancel"); },
        Qt::SingleShotConnection);  // as the listing starts
    Click("cmdSeleccionar");
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(Log().back(), "Cancelled");
    EXPECT_TRUE(dcraw_.Calls().empty());

    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(Raw(0)))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(&window_, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(&window_, &drop);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(std::ranges::count(Log(), "f0.dng developed and displayed"), 1);

    std::ofstream(dcraw_.bin().file("slow")) << "";
    Click("cmdDevelop");
    // Every development hangs; the first file's starts first. The read-out and the bar say how
    // many files are developed and how many runs are in flight.
    ASSERT_TRUE(Appears(photos_.file("f0.tiff")));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return Text("lblXY").starts_with("0% 0 of 3 developed, "); }));
    EXPECT_EQ(W<QProgressBar>("prgStep")->text().toStdString(), Text("lblXY"));
    QWidget* picture = window_.pctImagen();
    QTest::mousePress(picture, Qt::LeftButton, {}, {10, 10});
    QTest::mouseMove(picture, {30, 20});
    QTest::mouseRelease(picture, Qt::LeftButton, {}, {30, 20});
    EXPECT_FALSE(window_.fraWB()->Patch().ParcheDefinido);
    EXPECT_TRUE(W<QRadioButton>("optWB_2")->isChecked());  // Preset, as before
    QTest::keyClick(&window_, Qt::Key_Escape);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(test::FilesLike(photos_.path(), "f", ".tiff"), Lines{});
    EXPECT_EQ(Log().back(), "Cancelled");
    EXPECT_EQ(Gate(), "110000010");
    EXPECT_EQ(boxes_, Lines{});

    Click("cmdDevelop");
    ASSERT_TRUE(Appears(photos_.file("f0.tiff")));
    window_.close();
    EXPECT_TRUE(window_.isVisible());  // not before the step has ended
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window_.isVisible(); }, 30000));
    EXPECT_FALSE(std::filesystem::exists(photos_.file("f0.tiff")));
}

// A step's end is that of its own thread: the end a step waited for by CancelAndWait left queued
// neither waits on the next step nor runs that step's end.
TEST(StepRunnerEnds, AStaleEndLeavesTheNextStepAlone) {
    WindowChannel channel([](const QString&, const QString&) {});
    StepRunner runner(channel);
    runner.Run("first", [](UserChannel&) {});
    runner.CancelAndWait();
    std::atomic<bool> release{false};
    int ends = 0;
    runner.Run(
        "second",
        [&](UserChannel&) {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while (!release && std::chrono::steady_clock::now() < deadline) {
                std::this_thread::yield();
            }
        },
        [&] { ++ends; });
    QCoreApplication::processEvents();  // delivers the first step's end
    EXPECT_TRUE(runner.Busy());
    EXPECT_EQ(ends, 0);
    release = true;
    EXPECT_TRUE(QTest::qWaitFor([&] { return !runner.Busy(); }, 10000));
    EXPECT_EQ(ends, 1);
}

// Without a browser the links say where their pages are; Enter starts the main window.
TEST(Intro, LinksSayWhereTheyLeadAndEnterStartsTheMainWindow) {
    QWidget main;
    frmIntro intro(&main);
    Lines boxes;
    intro.SetLinkOpener([](const QUrl&) { return false; });
    intro.SetBoxPresenter([&](const QString& title, const QString& text) {
        boxes.push_back((title + ": " + text).toStdString());
    });
    intro.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&intro));
    QTest::mouseClick(intro.findChild<QWidget*>("pctDonate"), Qt::LeftButton);
    QTest::mouseClick(intro.findChild<QWidget*>("lblWeb"), Qt::LeftButton);
    const std::string said = "Brimsal: No web browser could be started. The page is at\n";
    EXPECT_EQ(boxes, (Lines{said + kDonationPage, said + kProjectPage}));
    EXPECT_TRUE(intro.cmdStart()->isDefault());
    QTest::keyClick(&intro, Qt::Key_Return);
    EXPECT_TRUE(main.isVisible());
    EXPECT_FALSE(intro.isVisible());
}

// The whole road through the window with the real dcraw on a synthetic series, against
// brimsal-cli with the same settings on a copy of the series: the same output bytes.
TEST_F(Window, WholeRoadWithRealDcrawMatchesTheConsoleByteForByte) {
    setenv("PATH", dcraw_.savedPath().c_str(), 1);  // the real dcraw
    if (!FindDcraw(dcraw_.savedPath())) {
        GTEST_SKIP() << "dcraw is not installed";
    }
    test::TempDir console;
    for (const std::string& folder : {photos_.path(), console.path()}) {
        const auto synth = test::Run(BRIMSAL_SYNTH_PATH, {"--out", folder, "--size", "240x160",
                                                          "--frames", "3", "--no-radiance"});
        ASSERT_EQ(synth.exit_code, 0) << synth.err;
    }
    const auto cli = test::Run(
        BRIMSAL_CLI_PATH, {"--antighost", "2", "--gamma", "1.8", console.file("synth_01.dng")});
    ASSERT_EQ(cli.exit_code, 0) << cli.out << cli.err;

    Choose(photos_.file("synth_01.dng"));
    W<QScrollBar>("hscAntiGhost")->setValue(2);
    W<QScrollBar>("hscGamma")->setValue(18);
    for (const char* step : {"cmdDevelop", "cmdEV", "cmdBuildMap", "cmdBlend"}) {
        Click(step);
        ASSERT_TRUE(WaitIdle()) << step;
    }
    const auto ours = test::FilesLike(photos_.path(), "BR_");
    const auto theirs = test::FilesLike(console.path(), "BR_");
    ASSERT_EQ(ours.size(), 1u);
    ASSERT_EQ(theirs.size(), 1u);
    EXPECT_TRUE(test::FileBytes(ours[0]) == test::FileBytes(theirs[0]))
        << ours[0] << " vs " << theirs[0];
    // The blend's log is the end of the console's, line for line, file names' times aside.
    const std::regex times("_[0-9]{6}_");
    const std::string log = std::regex_replace(
        W<QPlainTextEdit>("txtStatus")->toPlainText().toStdString(), times, "_hhmmss_");
    EXPECT_TRUE(std::regex_replace(cli.out, times, "_hhmmss_").ends_with(log)) << log << "\n----\n"
                                                                               << cli.out;
    EXPECT_GT(std::ranges::count(log, '\n'), 5);
}

// The real dcraw on a real camera file, through the main window: a patch dragged on the colour
// chart's grey row, Calc WB run on the window's worker, the same multipliers as brimsal-cli's
// --wb patch for the same fractions, and the balanced development grey on the patch.
using WindowPatchEndToEnd = Window;
TEST_F(WindowPatchEndToEnd, CalcWBOnTheChartsGreyMatchesTheCliAndBalancesTheGrey) {
    setenv("PATH", dcraw_.savedPath().c_str(), 1);  // the real dcraw
    const std::string chart = test::RealChart();
    if (chart.empty()) {
        return;  // RealChart has failed the test, naming the missing file
    }
    if (!FindDcraw(dcraw_.savedPath())) {
        GTEST_SKIP() << "dcraw is not installed";
    }
    NumericLocale point("C");
    const std::string raw = photos_.file("chart.dng");
    std::filesystem::copy_file(chart, raw);
    ::chmod(raw.c_str(), 0644);
    Pick(W<QComboBox>("cmbProfile"), 0);  // raw colour: a balanced grey is equal
    Choose(raw);
    ASSERT_TRUE(window_.ImagenMostrada());

    // The chart's fourth grey of the bottom row spans 452..468 x 456..472 of 867 x 578 pixels.
    PictureView* view = window_.pctImagen();
    const auto at = [&](double x, double y) {
        return QPoint(static_cast<int>(x / 867 * view->AnchoMostrado()),
                      static_cast<int>(y / 578 * view->AltoMostrado()));
    };
    QTest::mousePress(view, Qt::LeftButton, {}, at(455, 459));
    QTest::mouseMove(view, at(465, 469));
    QTest::mouseRelease(view, Qt::LeftButton, {}, at(465, 469));
    ASSERT_TRUE(WaitIdle(60000));
    WhiteBalanceFrame* wb = window_.fraWB();
    const Texts before = wb->Settings().txtWB;
    QTest::mouseClick(wb->cmdCalculateWB(), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Idle() && wb->Settings().txtWB != before; }, 60000));
    ASSERT_TRUE(WaitIdle(60000));
    EXPECT_EQ(boxes_, Lines{});
    const Texts measured = wb->Settings().txtWB;

    const WBPatch& patch = wb->Patch();
    const auto [red, blue] = test::RedAndBlueOverGreen(ReadTiff(photos_.file("chart.tiff")), patch);
    EXPECT_NEAR(red, 1.0, 0.02);
    EXPECT_NEAR(blue, 1.0, 0.02);
    char fractions[200];
    std::snprintf(fractions, sizeof fractions, "patch:%.17g,%.17g,%.17g,%.17g", patch.ParcheX1,
                  patch.ParcheY1, patch.ParcheX2, patch.ParcheY2);
    const test::RunResult cli = test::Run(
        BRIMSAL_CLI_PATH, {"--wb", fractions, "--profile", "none", "--steps", "develop", raw});
    ASSERT_EQ(cli.exit_code, 0) << cli.err;
    EXPECT_NE(cli.err.find("--wb " + measured[0] + "," + measured[1] + "," + measured[2] + "\n"),
              std::string::npos)
        << cli.err;
}

TEST(Display, FittedSizeReadOutAndThePictureShrunkBeforeTheGamma) {
    NumericLocale point("C");
    const ShownSize wide = FittedSize(100000, 1, 588, 390);
    EXPECT_EQ(wide.AnchoMostrado, 588);
    EXPECT_EQ(wide.AltoMostrado, 1);  // never rounded to nothing
    EXPECT_EQ(PositionReadOut(CorrectX(-5, 585), CorrectY(390, 390)), "(0%, 100%)");
    EXPECT_EQ(PositionReadOut(CorrectX(587, 585), CorrectY(1, 390)), "(100%, 0.3%)");
    // Columns alternate black and full white, shown in a box that limits the height: a 2 x 2
    // block averages to half the full scale, which the gamma shows at 186 (gamma first: 128).
    test::TempDir dir;
    WriteTiff(test::MakeFrame(8, 4, [](int x, int, int) { return x % 2 == 0 ? 0 : 65535; }),
              dir.file("a.tiff"));
    QImage expected(4, 2, QImage::Format_RGB32);
    expected.fill(qRgb(186, 186, 186));
    EXPECT_EQ(PictureForDisplay(dir.file("a.tiff"), 100, 2).convertToFormat(QImage::Format_RGB32),
              expected);
}

// The WB frame attached to a picture box; ShowGrey puts a 200 x 100 grey picture in it.
class PatchDrag : public ::testing::Test {
  protected:
    PatchDrag() {
        view.resize(300, 150);
        frame.AttachPicture(&view);
        view.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&view));
    }
    void ShowGrey() {
        QImage grey(200, 100, QImage::Format_RGB32);
        grey.fill(qRgb(90, 90, 90));
        view.MostrarImagen(grey);
    }
    void Drag(QPoint from, QPoint to) {
        QTest::mousePress(&view, Qt::LeftButton, {}, from);
        QTest::mouseMove(&view, (from + to) / 2);
        QTest::mouseMove(&view, to);
        QTest::mouseRelease(&view, Qt::LeftButton, {}, to);
    }
    // The points drawn in the outline's red, and points left clean.
    void ExpectOutline(std::initializer_list<QPoint> red, std::initializer_list<QPoint> clean) {
        for (const auto& [points, drawn] : {std::pair{red, true}, std::pair{clean, false}}) {
            for (QPoint p : points) {
                EXPECT_EQ(view.PaintedPicture().pixel(p) == qRgb(255, 20, 20), drawn)
                    << p.x() << "," << p.y();
            }
        }
    }
    std::string LastReadOut() const { return readOut.last().at(0).toString().toStdString(); }

    NumericLocale point{"C"};
    PictureView view;
    WhiteBalanceFrame frame;
    QSignalSpy readOut{&frame, &WhiteBalanceFrame::readOut};
    QSignalSpy reaction{&frame, &WhiteBalanceFrame::developmentSettingChanged};
};

TEST_F(PatchDrag, SquareAndRoundPatchesShowPointsAndOutlinesAndTheShapeToggles) {
    Drag({20, 20}, {60, 40});  // without a picture the mouse is ignored
    EXPECT_FALSE(frame.Patch().ParcheDefinido);
    EXPECT_EQ(readOut.count(), 0);
    ShowGrey();
    QTest::mouseMove(&view, QPoint(50, 25));  // a move without a drag reads the position
    EXPECT_EQ(LastReadOut(), "(25%, 25%)");
    Drag({20, 20}, {60, 40});
    EXPECT_EQ(LastReadOut(), "(10%, 20%) -> (30%, 40%)");  // while dragging: both points
    EXPECT_TRUE(frame.Patch().ParcheDefinido);
    EXPECT_TRUE(frame.optWB(3)->isChecked());
    EXPECT_TRUE(frame.cmdCalculateWB()->isEnabled());
    // The release asks for the reaction without disabling, the Patch mode for it with.
    ASSERT_GE(reaction.count(), 2);
    EXPECT_FALSE(reaction.at(reaction.count() - 2).at(0).toBool());
    EXPECT_TRUE(reaction.last().at(0).toBool());
    // Outline from column 20 to 60 and row 20 to 40; centre cross at (40, 30).
    ExpectOutline({{20, 20}, {60, 20}, {20, 40}, {60, 40}, {40, 20}, {44, 30}, {40, 26}},
                  {{19, 20}, {61, 40}, {45, 30}, {21, 30}});
    EXPECT_EQ(view.ObjetoMostrado().pixel(20, 20), qRgb(90, 90, 90));  // the picture stays clean
    frame.optWB(1)->click();  // another mode shows the clean picture again
    ExpectOutline({}, {{20, 20}});
    EXPECT_FALSE(frame.cmdCalculateWB()->isEnabled());
    // A square ending past the right and bottom edge stays inside the picture.
    Drag({100, 50}, {250, 140});
    EXPECT_EQ(LastReadOut(), "(50%, 50%) -> (100%, 100%)");
    ExpectOutline({{199, 75}, {150, 99}, {199, 99}, {100, 50}}, {});
    // A round patch: centre and rim point; the toggle goes to the circle's bounding square
    // through the rim point and back.
    frame.optWB(3)->click();
    frame.cmdParche()->click();
    Drag({100, 50}, {110, 50});
    EXPECT_FALSE(frame.Patch().ParcheCuadrado);
    ExpectOutline({{110, 50}, {90, 50}, {100, 40}, {100, 60}, {104, 50}}, {{106, 50}});
    const WBPatch round = frame.Patch();
    frame.cmdParche()->click();
    ExpectOutline({{90, 50}}, {});
    frame.cmdParche()->click();
    EXPECT_DOUBLE_EQ(frame.Patch().ParcheX1, round.ParcheX1);
    EXPECT_DOUBLE_EQ(frame.Patch().ParcheY1, round.ParcheY1);
    EXPECT_EQ(frame.Patch().ParcheX2, round.ParcheX2);
}

// A typed text and the focus leaving the box.
void Type(QLineEdit* box, const QString& text) {
    box->setText(text);
    QFocusEvent leave(QEvent::FocusOut);
    QApplication::sendEvent(box, &leave);
}

using WhiteBalanceModes = PatchDrag;
TEST_F(WhiteBalanceModes, TheHandlersOfTheControlsInAPointAndACommaLocale) {
    QSignalSpy warnings(&frame, &WhiteBalanceFrame::warningRequested);
    // The Camera warning once per run.
    for (int mode : {0, 1, 0}) {
        frame.optWB(mode)->click();
    }
    EXPECT_EQ(warnings.count(), 1);

    // Clicking into a box selects Coeffs, the values stay; leaving it normalises the text.
    QTest::mouseClick(frame.txtWB(2), Qt::LeftButton);
    EXPECT_EQ(frame.Settings().mode, WBMode::kCoeffs);
    EXPECT_EQ(frame.Settings().txtWB[2], "1.480864");
    reaction.clear();
    Type(frame.txtWB(0), " 2.50");
    EXPECT_EQ(frame.txtWB(0)->text(), "2.5");
    EXPECT_FALSE(reaction.last().at(0).toBool());
    // Under a comma locale the box shows a comma and the command line gets a point.
    NumericLocale comma("de_DE.UTF-8");
    if (!comma.available()) {
        GTEST_SKIP() << "de_DE.UTF-8 not installed";
    }
    Type(frame.txtWB(0), "2,500");
    EXPECT_EQ(frame.txtWB(0)->text(), "2,5");
    DevelopSettings settings;
    settings.wb = frame.Settings();
    const auto line = ComandoDCRAW(settings, true, false);
    EXPECT_NE(std::ranges::find(line, "2.5"), line.end());
}

}  // namespace
}  // namespace brimsal
