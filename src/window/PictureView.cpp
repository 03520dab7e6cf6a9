#include "window/PictureView.h"

#include <QMouseEvent>
#include <QPainter>

namespace brimsal {

namespace {
// The picture wants all the room there is: its preferred size is a large screen's, so a layout
// short of room keeps the other columns at their least and gives the picture the rest.
constexpr int kBoxWidth = 2400;
constexpr int kBoxHeight = 1600;
constexpr int kHintMargin = 12;
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

void PictureView::SetHint(const QString& text) {
    hint_ = text;
    update();
}

void PictureView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (painted_.isNull()) {
        painter.drawText(rect().adjusted(kHintMargin, kHintMargin, -kHintMargin, -kHintMargin),
                         Qt::AlignCenter | Qt::TextWordWrap, hint_);
        return;
    }
    painter.drawImage(QPoint(0, 0), painted_);
}

void PictureView::resizeEvent(QResizeEvent*) {
    emit resized();
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
