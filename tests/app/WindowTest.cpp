// The main window on real widgets: start values and accessible names, the settings handlers,
// the gating through every step with a stand-in dcraw, the snapshot, cancelling a long step and
// closing the window during one, a dropped file, the start screen's default button, and the whole
// road with the real dcraw giving the same output bytes as brimsal-cli. Boxes are recorded by the
// window's box presenter and files come from a chooser that answers for the dialog.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>

#include "app/PictureView.h"
#include "app/WhiteBalanceFrame.h"
#include "app/frmIntro.h"
#include "app/frmMain.h"
#include "cli/CliRunner.h"
#include "develop/DcrawCommand.h"
#include "image/TiffIO.h"
#include "support/Fixtures.h"

namespace brimsal {
namespace {

using Lines = std::vector<std::string>;

// The stand-in dcraw copies the "RAW" file (a TIFF under a RAW name) to the TIFF dcraw writes;
// with `$slow` present in its folder it leaves a partial TIFF and hangs instead.
constexpr const char* kStandInDcraw = R"sh(#!/bin/sh
for last; do :; done
tiff="${last%.*}.tiff"
if [ -e "$(dirname "$0")/slow" ]; then printf partial > "$tiff"; exec sleep 60; fi
cp "$last" "$tiff"
)sh";

constexpr int kStepTimeoutMs = 30000;

struct Box {
    std::string title;
    std::string text;
};

// The stand-in dcraw first on PATH while it lives (made before the window, which shows the
// command line with dcraw's path from the start).
class StandInDcraw {
  public:
    StandInDcraw() {
        const char* path = std::getenv("PATH");
        saved_path = path != nullptr ? path : "";
        setenv("PATH", (bin.path() + ":" + saved_path).c_str(), 1);
        std::ofstream(bin.file("dcraw")) << kStandInDcraw;
        ::chmod(bin.file("dcraw").c_str(), 0755);
    }
    ~StandInDcraw() { setenv("PATH", saved_path.c_str(), 1); }

    test::TempDir bin;
    std::string saved_path;
};

class Window : public ::testing::Test {
  protected:
    Window() {
        window_.SetBoxPresenter([this](const QString& title, const QString& text) {
            boxes_.push_back({title.toStdString(), text.toStdString()});
        });
        window_.SetFileChooser(
            [this](const QString&, const QString&, const QString&) { return chosen_; });
        window_.resize(1400, 900);
        window_.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window_));
    }
    template <class Widget = QWidget>
    Widget* W(const char* name) const {
        auto* widget = window_.findChild<Widget*>(name);
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    bool Enabled(const char* name) const { return W(name)->isEnabled(); }
    std::string Text(const char* name) const {
        if (auto* box = window_.findChild<QLineEdit*>(name)) {
            return box->text().toStdString();
        }
        if (auto* label = window_.findChild<QLabel*>(name)) {
            return label->text().toStdString();
        }
        return W<QAbstractButton>(name)->text().toStdString();
    }
    void Click(const char* name) { QTest::mouseClick(W(name), Qt::LeftButton); }
    bool WaitIdle() {
        return QTest::qWaitFor([this] { return !window_.Pasos().Busy(); }, kStepTimeoutMs);
    }
    Lines Log() const {
        const QString text = W<QPlainTextEdit>("txtStatus")->toPlainText();
        Lines lines;
        for (const QString& line : text.split('\n')) {
            lines.push_back(line.toStdString());
        }
        lines.pop_back();  // after the last line break
        return lines;
    }
    bool Logged(const std::string& line) const {
        const Lines log = Log();
        return std::find(log.begin(), log.end(), line) != log.end();
    }
    // Three constant frames, each twice as bright as the one before, under RAW names.
    void WriteSeries() {
        const uint16_t levels[] = {4000, 8000, 16000};
        for (int i = 0; i < 3; ++i) {
            EscribirTIFF(test::ConstantFrame(40, 30, levels[i], levels[i], levels[i]), Raw(i));
        }
    }
    std::string Raw(int i) const { return photos_.file("f" + std::to_string(i) + ".dng"); }
    void Choose(const std::string& path) {
        chosen_ = path;
        Click("cmdSeleccionar");
        ASSERT_TRUE(WaitIdle());
    }
    std::vector<std::string> Outputs(const std::string& prefix) const {
        std::vector<std::string> found;
        for (const auto& entry : std::filesystem::directory_iterator(photos_.path())) {
            if (entry.path().filename().string().starts_with(prefix)) {
                found.push_back(entry.path().string());
            }
        }
        return found;
    }

    StandInDcraw dcraw_;
    test::TempDir photos_;
    std::string chosen_;
    std::vector<Box> boxes_;
    frmMain window_;
};

TEST_F(Window, StartValuesCaptionsAndAccessibleNames) {
    struct Start {
        const char* name;
        bool enabled;
        const char* text;  // caption, box text or label; nullptr: not checked
    };
    const Start starts[] = {
        {"cmdSeleccionar", true, "..."},
        {"cmdDevelop", false, "Develop"},
        {"cmdEV", false, "Calc EV"},
        {"cmdEVMethod", true, "M"},
        {"cmdBuildMap", false, "Build map"},
        {"cmdBlend", false, "Colour"},
        {"cmdBlendBW", false, "B&&W"},
        {"cmdTestBW", false, "T"},
        {"cmdCopyClipBoard", false, "Snapshot"},
        {"cmdSalir", true, "Exit"},
        {"cmdSelMap", true, "..."},
        {"chkHLRecovery", true, "HL"},
        {"chkETTR", true, "ETTR"},
        {"chkHeadroom", true, "Headroom"},
        {"chkFloat", true, "Float"},
        {"cmdCancelar", false, "Cancel"},
        {"lblTH", true, "90%"},
        {"lblAntiGhost", true, "0px"},
        {"lblProgressive", true, "3px"},
        {"lblGamma", true, "2.2"},
        {"lblBWR", true, "33%"},
        {"lblBWB", true, "33%"},
        {"txtBracket", true, "NO BRACKETING"},
        {"txtRuta", true, ""},
        {"txtRutaMap", true, ""},
        {"txtSat", true, ""},
    };
    for (const Start& s : starts) {
        EXPECT_EQ(Enabled(s.name), s.enabled) << s.name;
        EXPECT_EQ(Text(s.name), s.text) << s.name;
    }
    EXPECT_EQ(window_.windowTitle(), "Brimsal v1.1");
    EXPECT_EQ(W<QComboBox>("cmbSat")->currentText(), "DCRAW value");
    EXPECT_EQ(W<QComboBox>("cmbQuality")->currentText(), "AHD");
    EXPECT_EQ(W<QComboBox>("cmbProfile")->currentText(), "sRGB");
    EXPECT_EQ(W<QScrollBar>("hscTH")->maximum(), 99);
    EXPECT_EQ(W<QScrollBar>("hscBracketNum")->maximum(), 7);
    EXPECT_EQ(Text("lblDCRAW"), LineaRapida(DevelopSettings{}));
    EXPECT_TRUE(W<QRadioButton>("optWB_2")->isChecked());
    for (const char* off : {"chkHLRecovery", "chkHeadroom", "chkFloat"}) {
        EXPECT_FALSE(W<QPushButton>(off)->isChecked()) << off;
    }
    // Every control a user or a screen reader can operate is named.
    for (QWidget* widget : window_.findChildren<QWidget*>()) {
        if (qobject_cast<QAbstractButton*>(widget) || qobject_cast<QLineEdit*>(widget) ||
            qobject_cast<QComboBox*>(widget) || qobject_cast<QScrollBar*>(widget) ||
            qobject_cast<QPlainTextEdit*>(widget)) {
            if (widget->parent() != nullptr && qobject_cast<QComboBox*>(widget->parent())) {
                continue;  // a combo's own edit field
            }
            if (qobject_cast<QScrollBar*>(widget) && widget->objectName().isEmpty()) {
                continue;  // a scroll area's own bar
            }
            EXPECT_FALSE(widget->accessibleName().isEmpty())
                << widget->metaObject()->className() << " " << widget->objectName().toStdString();
        }
    }
    EXPECT_EQ(W("txtStatus")->accessibleName(), "Status");
    EXPECT_EQ(W("txtFiles")->accessibleName(), "RAW files in path");
    EXPECT_EQ(W("pctImagen")->accessibleName(), "Reference image");
    EXPECT_EQ(W("lblDCRAW")->accessibleName(), "DCRAW command line");
}

TEST_F(Window, SettingsHandlersEdgeCases) {
    auto* sat = W<QLineEdit>("txtSat");
    QTest::keyClicks(sat, "12a3");
    EXPECT_EQ(sat->text(), "123");
    emit sat->editingFinished();
    EXPECT_EQ(W<QComboBox>("cmbSat")->currentText(), "User value");
    EXPECT_NE(Text("lblDCRAW").find("-S 123"), std::string::npos);
    sat->clear();
    emit sat->editingFinished();
    EXPECT_EQ(W<QComboBox>("cmbSat")->currentText(), "User value");
    EXPECT_EQ(Text("lblDCRAW").find(" -S "), std::string::npos);
    emit W<QComboBox>("cmbSat")->activated(3);  // "Canon 40D"
    EXPECT_EQ(sat->text(), "13823");

    auto* user = W<QLineEdit>("txtDCRAW");
    user->setText("  -k   512 ");
    emit user->editingFinished();
    EXPECT_EQ(user->text(), "-k 512");
    EXPECT_TRUE(Text("lblDCRAW").ends_with("-k 512"));

    // The profile ties the output gamma.
    const std::pair<int, const char*> profiles[] = {{4, "1.8"}, {5, "1"}, {1, "2.2"}};
    for (const auto& [row, gamma] : profiles) {
        emit W<QComboBox>("cmbProfile")->activated(row);
        EXPECT_EQ(Text("lblGamma"), gamma) << row;
    }
    // The two mix bars never sum to more than 100; the bracket read-out follows its bars.
    W<QScrollBar>("hscBWR")->setValue(80);
    EXPECT_EQ(W<QScrollBar>("hscBWB")->value(), 20);
    EXPECT_EQ(Text("lblBWB"), "20%");
    W<QScrollBar>("hscBWB")->setValue(90);
    EXPECT_EQ(Text("lblBWR"), "10%");
    W<QScrollBar>("hscBracketNum")->setValue(3);
    W<QScrollBar>("hscBracketEV")->setValue(4);
    EXPECT_EQ(Text("txtBracket"), "0 +4 +8");
    W<QScrollBar>("hscTH")->setValue(75);
    EXPECT_EQ(Text("lblTH"), "75%");
    // The method letter and the settings a step reads.
    Click("cmdEVMethod");
    EXPECT_EQ(Text("cmdEVMethod"), "A");
    const RoadSettings read = window_.AjustesCamino();
    EXPECT_TRUE(read.ev.average);
    EXPECT_EQ(read.map.threshold, 75);
    EXPECT_EQ(read.blend.NumBracketing, 3);
    EXPECT_EQ(read.develop.txtDCRAW, "-k 512");
    Click("cmdEVMethod");
    EXPECT_EQ(Text("cmdEVMethod"), "M");

    // Headroom is a development setting (its -H 1 shows in the line); float a blend setting.
    Click("chkHeadroom");
    Click("chkFloat");
    EXPECT_NE(Text("lblDCRAW").find(" -H 1 "), std::string::npos) << Text("lblDCRAW");
    EXPECT_TRUE(window_.AjustesCamino().develop.headroom);
    EXPECT_TRUE(window_.AjustesCamino().blend.floatOutput);
    Click("chkHeadroom");
    EXPECT_EQ(Text("lblDCRAW").find(" -H "), std::string::npos);

    // The highlight-recovery warning shows on the first click only, in either direction.
    Click("chkHLRecovery");
    Click("chkHLRecovery");
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].title, "WARNING");
    EXPECT_EQ(boxes_[0].text, kAvisoHLRecovery);
}

// Choosing, developing, Calc EV, Build map, the blends and the contact sheet each enable the
// next step; a development setting that changes the command line disables them again, one that
// leaves it as it was does not.
TEST_F(Window, GatingThroughEveryStep) {
    WriteSeries();
    chosen_ = "";
    Click("cmdSeleccionar");
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, "No file has been selected");

    Choose(Raw(1));
    EXPECT_EQ(Text("txtRuta"), Raw(1));
    EXPECT_EQ(W<QPlainTextEdit>("txtFiles")->toPlainText(), "f0.dng\nf1.dng\nf2.dng\n");
    EXPECT_TRUE(Logged("f1.dng developed and displayed"));
    EXPECT_TRUE(window_.ImagenMostrada());
    EXPECT_TRUE(Enabled("cmdDevelop"));
    EXPECT_TRUE(Enabled("cmdCopyClipBoard"));
    EXPECT_FALSE(Enabled("cmdEV"));
    // The same file again is no choice.
    Click("cmdSeleccionar");
    EXPECT_EQ(boxes_.back().text, "No file has been selected");

    struct Step {
        const char* button;
        std::vector<const char*> enables;
    };
    const Step steps[] = {{"cmdDevelop", {"cmdEV"}},
                          {"cmdEV", {"cmdBuildMap"}},
                          {"cmdBuildMap", {"cmdBlend", "cmdBlendBW", "cmdTestBW"}},
                          {"cmdBlend", {}},
                          {"cmdBlendBW", {}},
                          {"cmdTestBW", {}}};
    for (const Step& step : steps) {
        QSignalSpy started(&window_.Pasos(), &StepRunner::started);
        Click(step.button);
        ASSERT_EQ(started.count(), 1) << step.button;
        // While it runs, no other step can start and Cancel is live.
        EXPECT_FALSE(W("cmdDevelop")->isEnabled());
        EXPECT_FALSE(W("cmdSeleccionar")->isEnabled());
        EXPECT_TRUE(Enabled("cmdCancelar"));
        ASSERT_TRUE(WaitIdle()) << step.button;
        EXPECT_EQ(Log().back(), "DONE") << step.button;
        for (const char* next : step.enables) {
            EXPECT_TRUE(Enabled(next)) << step.button << " -> " << next;
        }
    }
    EXPECT_TRUE(Text("txtRutaMap").ends_with(".png"));
    EXPECT_EQ(Outputs("BR_").size(), 2u);
    EXPECT_EQ(Outputs("BWTest_").size(), 1u);
    // A map chosen instead of the built one is the one the next blend reads.
    const std::string edited = photos_.file("edited map.png");
    std::filesystem::rename(Text("txtRutaMap"), edited);  // the built one is gone
    chosen_ = edited;
    Click("cmdSelMap");
    EXPECT_EQ(Text("txtRutaMap"), edited);
    Click("cmdBlendBW");
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(Outputs("BR_").size(), 3u);

    // The same row again changes nothing; another row disables the later steps and develops
    // the reference again, which enables Develop once more.
    const auto chooseQuality = [this](int row) {
        W<QComboBox>("cmbQuality")->setCurrentIndex(row);
        emit W<QComboBox>("cmbQuality")->activated(row);
    };
    chooseQuality(3);
    EXPECT_TRUE(Enabled("cmdBlend"));
    EXPECT_FALSE(window_.Pasos().Busy());
    chooseQuality(1);
    for (const char* later : {"cmdEV", "cmdBuildMap", "cmdBlend", "cmdBlendBW", "cmdTestBW"}) {
        EXPECT_FALSE(W(later)->isEnabled()) << later;
    }
    ASSERT_TRUE(WaitIdle());
    EXPECT_TRUE(Enabled("cmdDevelop"));
    EXPECT_NE(Text("lblDCRAW").find("-q 1"), std::string::npos);

    // A map file that is not there.
    chosen_ = photos_.file("gone.png");
    Click("cmdSelMap");
    EXPECT_EQ(boxes_.back().title, "ERROR");
    EXPECT_EQ(boxes_.back().text, "Map file '" + chosen_ + "' not found");

    // The snapshot puts the displayed picture on the clipboard and says so.
    QApplication::clipboard()->clear();
    Click("cmdCopyClipBoard");
    EXPECT_EQ(QApplication::clipboard()->image(), window_.pctImagen()->ObjetoMostrado());
    EXPECT_EQ(boxes_.back().title, "Brimsal");
    EXPECT_EQ(boxes_.back().text, "Display snapshot copied to Clipboard");
}

// Cancel (Esc) during a development that never ends: dcraw is stopped, its partial TIFF
// removed, the window usable; closing the window during a step cancels it and closes once it
// has ended.
TEST_F(Window, CancelDuringALongStepLeavesNoFileAndAUsableWindow) {
    WriteSeries();
    Choose(Raw(0));
    std::ofstream(dcraw_.bin.file("slow")) << "";
    Click("cmdDevelop");
    // Every development hangs; the first file's starts first.
    const std::string partial = photos_.file("f0.tiff");
    ASSERT_TRUE(QTest::qWaitFor([&] { return std::filesystem::exists(partial); }, 10000));
    QTest::keyClick(&window_, Qt::Key_Escape);
    ASSERT_TRUE(WaitIdle());
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(std::filesystem::exists(photos_.file("f" + std::to_string(i) + ".tiff")));
    }
    EXPECT_EQ(Log().back(), "Cancelled");
    EXPECT_TRUE(Enabled("cmdDevelop"));
    EXPECT_FALSE(Enabled("cmdEV"));
    EXPECT_FALSE(Enabled("cmdCancelar"));
    EXPECT_TRUE(boxes_.empty());

    Click("cmdDevelop");
    ASSERT_TRUE(QTest::qWaitFor([&] { return std::filesystem::exists(partial); }, 10000));
    window_.close();
    EXPECT_TRUE(window_.isVisible());  // not before the step has ended
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window_.isVisible(); }, kStepTimeoutMs));
    EXPECT_FALSE(std::filesystem::exists(partial));
}

TEST_F(Window, DroppedRawFileIsChosen) {
    WriteSeries();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(Raw(2)))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(&window_, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(&window_, &drop);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(Text("txtRuta"), Raw(2));
    EXPECT_TRUE(Logged("f2.dng developed and displayed"));
}

TEST(Intro, EnterStartsTheMainWindowAndClosesTheStartScreen) {
    QWidget main;
    frmIntro intro(&main);
    intro.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&intro));
    EXPECT_TRUE(intro.cmdStart()->isDefault());
    QTest::keyClick(&intro, Qt::Key_Return);
    EXPECT_TRUE(main.isVisible());
    EXPECT_FALSE(intro.isVisible());
}

// The whole road through the window with the real dcraw on a synthetic series, against
// brimsal-cli with the same settings on a copy of the series: the same output bytes.
TEST_F(Window, WholeRoadWithRealDcrawMatchesTheConsoleByteForByte) {
    setenv("PATH", dcraw_.saved_path.c_str(), 1);  // the real dcraw
    if (!BuscarDCRAW(dcraw_.saved_path)) {
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
        ASSERT_TRUE(Enabled(step)) << step;
        Click(step);
        ASSERT_TRUE(WaitIdle()) << step;
    }
    const auto ours = Outputs("BR_");
    std::vector<std::string> theirs;
    for (const auto& entry : std::filesystem::directory_iterator(console.path())) {
        if (entry.path().filename().string().starts_with("BR_")) {
            theirs.push_back(entry.path().string());
        }
    }
    ASSERT_EQ(ours.size(), 1u);
    ASSERT_EQ(theirs.size(), 1u);
    const auto bytes = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::vector<char>(std::istreambuf_iterator<char>(in), {});
    };
    EXPECT_TRUE(bytes(ours[0]) == bytes(theirs[0])) << ours[0] << " vs " << theirs[0];
    // The blend's log is the end of the console's, line for line, file names' times aside.
    const auto untimed = [](const std::string& line) {
        return std::regex_replace(line, std::regex("_[0-9]{6}_"), "_hhmmss_");
    };
    const Lines console_lines = cli.outLines();
    const Lines window_lines = Log();
    ASSERT_GE(console_lines.size(), window_lines.size());
    for (size_t i = 0; i < window_lines.size(); ++i) {
        EXPECT_EQ(untimed(window_lines[i]),
                  untimed(console_lines[console_lines.size() - window_lines.size() + i]));
    }
}

}  // namespace
}  // namespace brimsal
