#include "window/MapFrame.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>

#include "window/Controls.h"

namespace brimsal {

MapFrame::MapFrame(QWidget* parent) : QGroupBox("Calc EV / Build map", parent) {
    Named(this, "fraMap", "Calc EV / Build map");
    auto* grid = new QGridLayout(this);
    cmdEV_ =
        Named(new QPushButton("Calc EV", this), "cmdEV", "Calc EV", "Calculate relative exposures");
    const QString method = EVMethodCaption(MetodoEVPromedio_);
    cmdEVMethod_ = Named(new QPushButton(method, this), "cmdEVMethod", method,
                         "Select method for relative exposure calculation. Average is quicker "
                         "and Median is more accurate in presence of moving elements or "
                         "non-linearities");
    cmdBuildMap_ = Named(new QPushButton("Build map", this), "cmdBuildMap", "Build map",
                         "Build blending map from loaded TIFF files");
    hscTH_ = Bar("hscTH", "Map threshold", kThresholdRange, this);
    hscAntiGhost_ = Bar("hscAntiGhost", "Anti ghosting", kAntiGhostRange, this);
    hscProgressive_ = Bar("hscProgressive", "Progressive blending", kProgressiveRange, this);
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
        auto* value = new QLabel(this);
        value->setObjectName(row.valueName);
        const QString unit = row.unit;
        // The label follows the thumb while it is dragged, as on a change.
        const auto show = [value, unit](int v) { value->setText(QString::number(v) + unit); };
        show(row.bar->value());
        connect(row.bar, &QScrollBar::valueChanged, value, show);
        grid->addWidget(Caption(row.caption, this, row.tip), line, 0);
        grid->addWidget(row.bar, line, 1);
        grid->addWidget(value, line, 2);
        ++line;
    }
    connect(cmdEVMethod_, &QPushButton::clicked, this, &MapFrame::cmdEVMethod_Click);
}

void MapFrame::ReadControls(RelativeExposureSettings& ev, MapSettings& map) const {
    ev.average = MetodoEVPromedio_;
    map.threshold = hscTH_->value();
    map.antighost = hscAntiGhost_->value();
    map.progressive = hscProgressive_->value();
}

void MapFrame::cmdEVMethod_Click() {
    MetodoEVPromedio_ = !MetodoEVPromedio_;
    const QString caption = EVMethodCaption(MetodoEVPromedio_);
    cmdEVMethod_->setText(caption);
    cmdEVMethod_->setAccessibleName(caption);
}

}  // namespace brimsal
