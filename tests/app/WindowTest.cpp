// The main window on real widgets: the start state and accessible names, the settings handlers,
// the gating through every step with a stand-in dcraw, the snapshot, cancelling a long step and
// closing the window during one, a dropped file, the start screen's default button, and the whole
// road with the real dcraw giving the same output bytes as brimsal-cli. Boxes are recorded by the
// window's box presenter and files come from a chooser that answers for the dialog. Then the
// display: the fitted size and the read-outs, the picture prepared from a linear TIFF, patch drags
// with their outlines, the shape toggle, the white-balance modes, and Calc WB on a real chart.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFocusEvent>
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
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>

#include "app/Display.h"
#include "app/DisplayImage.h"
#include "app/PictureView.h"
#include "app/WhiteBalanceFrame.h"
#include "app/frmIntro.h"
#include "app/frmMain.h"
#include "cli/CliRunner.h"
#include "develop/DcrawCommand.h"
#include "image/TiffIO.h"
#include "support/FakeDcraw.h"
#include "support/Fixtures.h"

namespace brimsal {
namespace {

using Lines = std::vector<std::string>;

// The stand-in dcraw copies the "RAW" file (a TIFF under a RAW name) to the TIFF dcraw writes;
// with `slow` present in its folder it leaves a partial TIFF and hangs instead.
constexpr const char* kStandInDcraw =
    "if [ -e \"$(dirname \"$0\")/slow\" ]; then printf partial > \"$tiff\"; exec sleep 60; fi\n"
    "cp \"$last\" \"$tiff\"\n";

constexpr int kStepTimeoutMs = 30000;

struct Box {
    std::string title;
    std::string text;
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
        return test::FilesLike(photos_.path(), prefix);
    }

    // Made before the window, which shows dcraw's path from the start.
    test::FakeDcrawOnPath dcraw_{kStandInDcraw};
    test::TempDir photos_;
    std::string chosen_;
    std::vector<Box> boxes_;
    frmMain window_;
};

TEST_F(Window, StartStateAndAccessibleNames) {
    for (const char* on :
         {"cmdSeleccionar", "cmdEVMethod", "cmdSalir", "cmdSelMap", "chkHeadroom"}) {
        EXPECT_TRUE(Enabled(on)) << on;
    }
    // Every step waits for the one before it; nothing is shown to snapshot yet.
    for (const char* off : {"cmdDevelop", "cmdEV", "cmdBuildMap", "cmdBlend", "cmdBlendBW",
                            "cmdTestBW", "cmdCopyClipBoard", "cmdCancelar"}) {
        EXPECT_FALSE(Enabled(off)) << off;
    }
    EXPECT_EQ(Text("lblDCRAW"), LineaRapida(DevelopSettings{}));
    EXPECT_EQ(Text("txtBracket"), "NO BRACKETING");
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
    std::ofstream(dcraw_.bin().file("slow")) << "";
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
    setenv("PATH", dcraw_.savedPath().c_str(), 1);  // the real dcraw
    if (!BuscarDCRAW(dcraw_.savedPath())) {
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
    const auto theirs = test::FilesLike(console.path(), "BR_");
    ASSERT_EQ(ours.size(), 1u);
    ASSERT_EQ(theirs.size(), 1u);
    EXPECT_TRUE(test::FileBytes(ours[0]) == test::FileBytes(theirs[0]))
        << ours[0] << " vs " << theirs[0];
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

using test::NumericLocale;

TEST(DisplayArithmetic, FittedSizeFractionsAndReadOut) {
    NumericLocale point("C");
    struct Fit {
        int iw, ih, pw, ph, ancho, alto;
    };
    for (const Fit& fit : {Fit{3000, 2000, 588, 390, 585, 390}, Fit{2000, 3000, 588, 390, 260, 390},
                           Fit{4000, 1000, 588, 390, 588, 147}, Fit{100000, 1, 588, 390, 588, 1}}) {
        const TamanoMostrado size = CalcularTamanoMostrado(fit.iw, fit.ih, fit.pw, fit.ph);
        EXPECT_EQ(size.AnchoMostrado, fit.ancho) << fit.iw << "x" << fit.ih;
        EXPECT_EQ(size.AltoMostrado, fit.alto) << fit.iw << "x" << fit.ih;
    }
    struct ReadOut {
        double x, y;
        const char* text;
    };
    for (const ReadOut& r :
         {ReadOut{0, 0, "(0%, 0%)"}, ReadOut{117, 39, "(20%, 10%)"}, ReadOut{-5, 390, "(0%, 100%)"},
          ReadOut{587, 200, "(100%, 51.3%)"}, ReadOut{1, 1, "(0.2%, 0.3%)"}}) {
        EXPECT_EQ(TextoPosicion(CorrectX(r.x, 585), CorrectY(r.y, 390)), r.text) << r.x;
    }
}

TEST(DisplayImage, ShrinksTheLinearImageBeforeTheGamma) {
    test::TempDir dir;
    // Columns alternate black and full white: a 2 x 2 block averages to half the full scale,
    // which the gamma shows at 186 (the gamma first would give 128).
    EscribirTIFF(test::MakeFrame(8, 4, [](int x, int, int) { return x % 2 == 0 ? 0 : 65535; }),
                 dir.file("a.tiff"));
    const QImage shown = ImagenParaMostrar(dir.file("a.tiff"), 4, 100);
    ASSERT_EQ(shown.size(), QSize(4, 2));
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 4; ++x) {
            EXPECT_EQ(shown.pixel(x, y), qRgb(186, 186, 186));
        }
    }
    EXPECT_THROW(ImagenParaMostrar(dir.file("missing.tiff"), 4, 4), ImageError);
}

constexpr QRgb kOutline = qRgb(255, 20, 20);

// A 200 x 100 grey picture in a larger box, the WB frame attached to it.
class PatchDrag : public ::testing::Test {
  protected:
    PatchDrag() {
        view.resize(300, 150);
        frame.AdjuntarImagen(&view);
        QImage grey(200, 100, QImage::Format_RGB32);
        grey.fill(qRgb(90, 90, 90));
        view.MostrarImagen(grey);
        view.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&view));
    }
    void Drag(QPoint from, QPoint to) {
        QTest::mousePress(&view, Qt::LeftButton, {}, from);
        QTest::mouseMove(&view, (from + to) / 2);
        QTest::mouseMove(&view, to);
        QTest::mouseRelease(&view, Qt::LeftButton, {}, to);
    }
    bool Red(int x, int y) const { return view.ImagenPintada().pixel(x, y) == kOutline; }

    NumericLocale point{"C"};
    PictureView view;
    WhiteBalanceFrame frame;
    QSignalSpy readOut{&frame, &WhiteBalanceFrame::lecturaXY};
    QSignalSpy reaction{&frame, &WhiteBalanceFrame::reaccionCambioRevelado};
};

TEST_F(PatchDrag, SquareDragShowsPointsAndOutlineAndSelectsPatch) {
    Drag({20, 20}, {60, 40});
    // The last read-out while dragging names both points.
    EXPECT_EQ(readOut.last().at(0).toString(), "(10%, 20%) -> (30%, 40%)");
    EXPECT_TRUE(frame.Parche().ParcheDefinido);
    EXPECT_FALSE(frame.Parche().ArrastrandoParche);
    EXPECT_TRUE(frame.optWB(3)->isChecked());
    EXPECT_TRUE(frame.cmdCalculateWB()->isEnabled());
    EXPECT_TRUE(frame.cmdParche()->isEnabled());
    // The release asks for the reaction without disabling, the Patch mode for it with.
    ASSERT_GE(reaction.count(), 2);
    EXPECT_FALSE(reaction.at(reaction.count() - 2).at(0).toBool());
    EXPECT_TRUE(reaction.last().at(0).toBool());
    // Outline from column 20 to 60 and row 20 to 40; centre cross at (40, 30).
    for (QPoint p : {QPoint(20, 20), QPoint(60, 20), QPoint(20, 40), QPoint(60, 40), QPoint(40, 20),
                     QPoint(44, 30), QPoint(40, 26)}) {
        EXPECT_TRUE(Red(p.x(), p.y())) << p.x() << "," << p.y();
    }
    for (QPoint p : {QPoint(19, 20), QPoint(61, 40), QPoint(45, 30), QPoint(21, 30)}) {
        EXPECT_FALSE(Red(p.x(), p.y())) << p.x() << "," << p.y();
    }
    // The displayed picture itself stays clean.
    EXPECT_EQ(view.ObjetoMostrado().pixel(20, 20), qRgb(90, 90, 90));
    // Another mode shows the clean picture again.
    frame.optWB(1)->click();
    EXPECT_FALSE(Red(20, 20));
    EXPECT_FALSE(frame.cmdCalculateWB()->isEnabled());
    // A square ending past the right and bottom edge stays inside the picture.
    Drag({100, 50}, {250, 140});
    EXPECT_EQ(frame.Parche().ParcheX2, 1.0);
    EXPECT_EQ(readOut.last().at(0).toString(), "(50%, 50%) -> (100%, 100%)");
    for (QPoint p : {QPoint(199, 75), QPoint(150, 99), QPoint(199, 99), QPoint(100, 50)}) {
        EXPECT_TRUE(Red(p.x(), p.y())) << p.x() << "," << p.y();
    }
}

TEST_F(PatchDrag, RoundPatchAndShapeToggleThereAndBack) {
    frame.optWB(3)->click();
    frame.cmdParche()->click();
    EXPECT_EQ(frame.cmdParche()->text(), "O");
    Drag({100, 50}, {110, 50});
    EXPECT_FALSE(frame.Parche().ParcheCuadrado);
    for (QPoint p :
         {QPoint(110, 50), QPoint(90, 50), QPoint(100, 40), QPoint(100, 60), QPoint(104, 50)}) {
        EXPECT_TRUE(Red(p.x(), p.y())) << p.x() << "," << p.y();
    }
    EXPECT_FALSE(Red(106, 50));
    const ParcheWB round = frame.Parche();
    frame.cmdParche()->click();  // to the circle's bounding square through the rim point
    EXPECT_EQ(frame.cmdParche()->text(), "[   ]");
    EXPECT_TRUE(Red(90, 50));
    frame.cmdParche()->click();
    EXPECT_DOUBLE_EQ(frame.Parche().ParcheX1, round.ParcheX1);
    EXPECT_DOUBLE_EQ(frame.Parche().ParcheY1, round.ParcheY1);
    EXPECT_EQ(frame.Parche().ParcheX2, round.ParcheX2);
    EXPECT_TRUE(Red(110, 50));
}

TEST_F(PatchDrag, MovesWithoutDragReadThePositionAndNoPictureIgnoresTheMouse) {
    QTest::mouseMove(&view, QPoint(50, 25));
    ASSERT_EQ(readOut.count(), 1);
    EXPECT_EQ(readOut.last().at(0).toString(), "(25%, 25%)");
    PictureView empty;
    WhiteBalanceFrame idle;
    idle.AdjuntarImagen(&empty);
    empty.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&empty));
    QSignalSpy idleReadOut(&idle, &WhiteBalanceFrame::lecturaXY);
    QTest::mouseClick(&empty, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseMove(&empty, QPoint(8, 8));
    EXPECT_FALSE(idle.Parche().ParcheDefinido);
    EXPECT_EQ(idleReadOut.count(), 0);
}

using Texts = std::array<std::string, 3>;

void Type(QLineEdit* box, const QString& text) {
    box->setText(text);
    QFocusEvent leave(QEvent::FocusOut);
    QApplication::sendEvent(box, &leave);
}

TEST(WhiteBalanceModes, TheHandlersOfTheControls) {
    NumericLocale point("C");
    WhiteBalanceFrame frame;
    QSignalSpy warnings(&frame, &WhiteBalanceFrame::mensajeAviso);
    QSignalSpy reaction(&frame, &WhiteBalanceFrame::reaccionCambioRevelado);
    // Temperature and tint are not offered; the patch tools wait for a patch.
    EXPECT_FALSE(frame.optWB(4)->isEnabled() || frame.cmdParche()->isEnabled() ||
                 frame.cmdCalculateWB()->isEnabled());
    // The Camera warning once per run.
    frame.optWB(0)->click();
    frame.optWB(1)->click();
    frame.optWB(0)->click();
    EXPECT_EQ(warnings.count(), 1);
    EXPECT_EQ(frame.Ajustes().mode, WBMode::kCamera);

    // A preset writes its values and selects Preset; the reactions come with and without
    // disabling the later steps.
    reaction.clear();
    emit frame.cmbWB()->activated(5);
    EXPECT_EQ(frame.Ajustes().txtWB, (Texts{"1.392498", "1", "2.375114"}));
    EXPECT_EQ(frame.Ajustes().mode, WBMode::kPreset);
    ASSERT_EQ(reaction.count(), 2);
    EXPECT_TRUE(reaction.at(0).at(0).toBool());
    EXPECT_FALSE(reaction.at(1).at(0).toBool());
    // Typing into the list's field puts the stored row back.
    QTest::keyClicks(frame.cmbWB(), "Shade");
    EXPECT_EQ(frame.cmbWB()->currentIndex(), 5);
    EXPECT_EQ(frame.cmbWB()->currentText(), "Tungsten");

    // Clicking into a box selects Coeffs, the values stay; leaving it normalises the text.
    QTest::mouseClick(frame.txtWB(2), Qt::LeftButton);
    EXPECT_EQ(frame.Ajustes().mode, WBMode::kCoeffs);
    EXPECT_EQ(frame.Ajustes().txtWB[2], "2.375114");
    Type(frame.txtWB(2), "letters");
    EXPECT_EQ(frame.txtWB(2)->text(), "1");
    Type(frame.txtWB(0), " 2.50");
    EXPECT_EQ(frame.txtWB(0)->text(), "2.5");
    EXPECT_FALSE(reaction.last().at(0).toBool());
}

TEST(WhiteBalanceModes, CommaLocaleShowsACommaAndTheCommandLineAPoint) {
    NumericLocale comma("de_DE.UTF-8");
    if (!comma.available()) {
        GTEST_SKIP() << "de_DE.UTF-8 not installed";
    }
    WhiteBalanceFrame frame;
    emit frame.cmbWB()->activated(2);
    EXPECT_EQ(frame.txtWB(0)->text(), "2,132483");
    Type(frame.txtWB(0), "2,500");
    EXPECT_EQ(frame.txtWB(0)->text(), "2,5");
    EXPECT_EQ(frame.Ajustes().txtWB[0], "2.5");
    DevelopSettings settings;
    settings.wb = frame.Ajustes();
    const std::vector<std::string> line = ComandoDCRAW(settings, true, false);
    EXPECT_NE(std::find(line.begin(), line.end(), "2.5"), line.end());
}

// The real dcraw on a real camera file, through the main window: a patch dragged on the colour
// chart's grey row, Calc WB run on the window's worker, the same multipliers as brimsal-cli's
// --wb patch for the same fractions, and the balanced development grey on the patch.
TEST(WindowPatchEndToEnd, CalcWBOnTheChartsGreyMatchesTheCliAndBalancesTheGrey) {
    const std::string chart = test::SharedDataDir() + "/real/colorchart.dng";
    if (test::SharedDataDir().empty() || !std::filesystem::exists(chart) ||
        !BuscarDCRAW(RutaBusquedaDCRAW())) {
        GTEST_SKIP() << "real camera data or dcraw not available";
    }
    NumericLocale point("C");
    test::TempDir dir;
    const std::string raw = dir.file("chart.dng");
    std::filesystem::copy_file(chart, raw);
    ::chmod(raw.c_str(), 0644);

    frmMain window;
    std::vector<std::string> boxes;
    window.SetBoxPresenter(
        [&](const QString&, const QString& text) { boxes.push_back(text.toStdString()); });
    window.resize(1400, 900);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const auto idle = [&] { return !window.Pasos().Busy(); };
    // Raw colour, so a balanced grey reads as equal channels.
    emit window.findChild<QComboBox*>("cmbProfile")->activated(0);
    window.ElegirReferencia(raw);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.ImagenMostrada() && idle(); }, 60000));

    // The chart's fourth grey of the bottom row spans 452..468 x 456..472 of 867 x 578 pixels.
    PictureView* view = window.pctImagen();
    const auto at = [&](double fx, double fy) {
        return QPoint(static_cast<int>(fx * view->AnchoMostrado()),
                      static_cast<int>(fy * view->AltoMostrado()));
    };
    QTest::mousePress(view, Qt::LeftButton, {}, at(455.0 / 867, 459.0 / 578));
    QTest::mouseMove(view, at(465.0 / 867, 469.0 / 578));
    QTest::mouseRelease(view, Qt::LeftButton, {}, at(465.0 / 867, 469.0 / 578));
    ASSERT_TRUE(QTest::qWaitFor(idle, 60000));
    WhiteBalanceFrame* wb = window.fraWB();
    ASSERT_TRUE(wb->cmdCalculateWB()->isEnabled());
    const Texts before = wb->Ajustes().txtWB;
    QTest::mouseClick(wb->cmdCalculateWB(), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return idle() && wb->Ajustes().txtWB != before; }, 60000));
    ASSERT_TRUE(QTest::qWaitFor(idle, 60000));
    EXPECT_TRUE(boxes.empty()) << boxes.front();
    const Texts measured = wb->Ajustes().txtWB;
    EXPECT_EQ(measured[1], "1");

    char fractions[200];
    const ParcheWB& patch = wb->Parche();
    std::snprintf(fractions, sizeof fractions, "patch:%.17g,%.17g,%.17g,%.17g", patch.ParcheX1,
                  patch.ParcheY1, patch.ParcheX2, patch.ParcheY2);
    const auto [red, blue] = test::RedAndBlueOverGreen(LeerTIFF(dir.file("chart.tiff")), patch);
    EXPECT_NEAR(red, 1.0, 0.02);
    EXPECT_NEAR(blue, 1.0, 0.02);
    const test::RunResult cli = test::Run(
        BRIMSAL_CLI_PATH, {"--wb", fractions, "--profile", "none", "--steps", "develop", raw});
    ASSERT_EQ(cli.exit_code, 0) << cli.err;
    EXPECT_NE(cli.err.find("--wb " + measured[0] + "," + measured[1] + "," + measured[2] + "\n"),
              std::string::npos)
        << cli.err;
}

}  // namespace
}  // namespace brimsal
