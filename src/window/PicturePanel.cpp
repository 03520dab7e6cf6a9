#include "window/PicturePanel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "window/Controls.h"
#include "window/PictureView.h"

namespace brimsal {

PicturePanel::PicturePanel(QWidget* parent) : QWidget(parent) {
    pctImagen_ = new PictureView(this);
    pctImagen_->setAccessibleName("Reference image");
    lblXY_ = Named(new QLabel(this), "lblXY", "Position");
    lblXY_->setMinimumWidth(200);
    cmdCopyClipBoard_ = Named(new QPushButton("Snapshot", this), "cmdCopyClipBoard", "Snapshot",
                              "Copy display to Clipboard");

    auto* readOut = new QHBoxLayout;
    readOut->addWidget(lblXY_, 1);
    readOut->addWidget(cmdCopyClipBoard_);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(pctImagen_, 1);
    column->addLayout(readOut);
}

void PicturePanel::ShowReadOut(const QString& text) {
    lblXY_->setText(text);
}

}  // namespace brimsal
