#include "window/PictureView.h"

#include <QMouseEvent>
#include <QPainter>

namespace brimsal {

namespace {
// The box size the window was laid out for.
constexpr int kBoxWidth = 588;
constexpr int kBoxHeight = 390;
}  // namespace

PictureView::PictureView(QWidget* parent) : QWidget(parent) {
    setObjectName("pctImagen");
    setAccessibleName("Image");
    // Moves are reported without a pressed button too: the pointer read-out follows them.
    setMouseTracking(true);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void PictureView::MostrarImagen(const QImage& shown) {
    shown_ = shown;
    painted_ = shown;
    update();
    emit pictureChanged();
}

void PictureView::ShowWithPatch(const QImage& withOutline) {
    painted_ = withOutline;
    update();
}

void PictureView::ShowClean() {
    painted_ = shown_;
    update();
}

QSize PictureView::sizeHint() const {
    return {kBoxWidth, kBoxHeight};
}

void PictureView::paintEvent(QPaintEvent*) {
    if (painted_.isNull()) {
        return;
    }
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), painted_);
}

void PictureView::mousePressEvent(QMouseEvent* event) {
    emit mousePressed(event->position().toPoint());
}

void PictureView::mouseMoveEvent(QMouseEvent* event) {
    emit mouseMoved(event->position().toPoint());
}

void PictureView::mouseReleaseEvent(QMouseEvent* event) {
    emit mouseReleased(event->position().toPoint());
}

}  // namespace brimsal
