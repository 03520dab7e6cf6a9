// The "Calc EV / Build map" frame of the main window: the step buttons cmdEV and cmdBuildMap,
// the method button cmdEVMethod ("A" Average, "M" Median), and the scroll bars hscTH,
// hscAntiGhost and hscProgressive with their value labels. The window runs the steps.
#pragma once

#include <QGroupBox>

#include "maps/MapSettings.h"
#include "maps/RelativeExposure.h"

class QPushButton;
class QScrollBar;

namespace brimsal {

class MapFrame : public QGroupBox {
    Q_OBJECT

  public:
    explicit MapFrame(QWidget* parent = nullptr);

    // Reads the method into `ev` and the three bars into `map`.
    void ReadControls(RelativeExposureSettings& ev, MapSettings& map) const;

    QPushButton* cmdEV() const { return cmdEV_; }
    QPushButton* cmdBuildMap() const { return cmdBuildMap_; }

  private:
    void cmdEVMethod_Click();

    QPushButton* cmdEV_ = nullptr;
    QPushButton* cmdEVMethod_ = nullptr;
    QPushButton* cmdBuildMap_ = nullptr;
    QScrollBar* hscTH_ = nullptr;
    QScrollBar* hscAntiGhost_ = nullptr;
    QScrollBar* hscProgressive_ = nullptr;

    bool MetodoEVPromedio_ = RelativeExposureSettings{}.average;
};

}  // namespace brimsal
