// The display of the reference image and the white-balance frame on real widgets: the fitted
// size and the read-outs, the picture prepared from a linear TIFF, patch drags on the picture
// box with their outlines, the shape toggle and the mode handlers.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <QApplication>
#include <QComboBox>
#include <QFocusEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <cstdio>
#include <filesystem>

#include "app/Display.h"
#include "app/DisplayImage.h"
#include "app/PictureView.h"
#include "app/WhiteBalanceFrame.h"
#include "app/frmMain.h"
#include "cli/CliRunner.h"
#include "develop/DcrawCommand.h"
#include "image/TiffIO.h"
#include "support/Fixtures.h"

namespace brimsal {
namespace {

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
}

TEST_F(PatchDrag, SquareEndingOnTheRightAndBottomEdgeStaysInside) {
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

TEST_F(PatchDrag, OnePointClickDefinesAOnePixelPatch) {
    QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(30, 30));
    const ParcheWB& patch = frame.Parche();
    EXPECT_TRUE(patch.ParcheDefinido);
    EXPECT_EQ(patch.ParcheX1, patch.ParcheX2);
    const ContornoParche outline = CalcularContornoParche(patch, 200, 100);
    EXPECT_EQ(outline.left, 30);
    EXPECT_EQ(outline.width, 1);
    EXPECT_EQ(outline.height, 1);
    EXPECT_TRUE(Red(30, 30));
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

TEST(WhiteBalanceModes, StartValuesAndTheHandlersOfTheControls) {
    NumericLocale point("C");
    WhiteBalanceFrame frame;
    QSignalSpy warnings(&frame, &WhiteBalanceFrame::mensajeAviso);
    QSignalSpy reaction(&frame, &WhiteBalanceFrame::reaccionCambioRevelado);
    EXPECT_EQ(frame.title(), "White balance");
    EXPECT_TRUE(frame.optWB(2)->isChecked());
    EXPECT_EQ(frame.cmbWB()->currentIndex(), 2);
    EXPECT_EQ(frame.Ajustes().txtWB, (Texts{"2.132483", "1", "1.480864"}));
    EXPECT_FALSE(frame.optWB(4)->isEnabled() || frame.cmdParche()->isEnabled() ||
                 frame.cmdCalculateWB()->isEnabled() || frame.hscTemp()->isEnabled());
    EXPECT_EQ(frame.hscTint()->value(), 50);

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
