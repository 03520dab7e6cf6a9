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
    lblNote_ = Named(new QLabel(this), "lblNote", "Picture note");
    cmdCopyClipBoard_ = Named(new QPushButton("Snapshot", this), "cmdCopyClipBoard", "Snapshot",
                              "Copy display to Clipboard");

    auto* readOut = new QHBoxLayout;
    readOut->addWidget(lblXY_, 1);
    readOut->addWidget(lblNote_);
    readOut->addWidget(cmdCopyClipBoard_);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(pctImagen_, 1);
    column->addLayout(readOut);
}

void PicturePanel::ShowPointer(const QString& text) {
    pointer_ = text;
    lblXY_->setText(text);
}

void PicturePanel::ShowProgress(const QString& text) {
    lblXY_->setText(text);
}

void PicturePanel::EndProgress() {
    lblXY_->setText(pointer_);
}

void PicturePanel::ShowNote(const QString& text) {
    lblNote_->setText(text);
}

}  // namespace brimsal
