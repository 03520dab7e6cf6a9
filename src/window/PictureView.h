// pctImagen: the picture box of the main window. It paints the displayed picture from its
// top-left corner (the rest of the box stays the window's background), or a hint before the
// first picture, and reports the mouse in box pixels; what a press, move or release means is
// decided by whoever listens.
#pragma once

#include <QImage>
#include <QPoint>
#include <QString>
#include <QWidget>

namespace brimsal {

class PictureView : public QWidget {
    Q_OBJECT

  public:
    explicit PictureView(QWidget* parent = nullptr);

    // Shows `shown` (ObjetoMostrado: the picture at display size, gamma applied) and keeps it
    // as the clean picture that outlines are drawn on.
    void MostrarImagen(const QImage& shown);
    // ObjetoMostrado: the clean displayed picture; null before the first display.
    const QImage& ObjetoMostrado() const { return shown_; }
    // ImagenMostrada: a picture has been displayed (never cleared afterwards).
    bool ImagenMostrada() const { return !shown_.isNull(); }
    // Size of the displayed picture in pixels (0 before the first display).
    int AnchoMostrado() const { return shown_.width(); }
    int AltoMostrado() const { return shown_.height(); }
    // Paints `withOutline` (a copy of ObjetoMostrado with the patch outline) instead of the
    // clean picture; ObjetoMostrado stays clean.
    void ShowWithPatch(const QImage& withOutline);
    // Paints the clean picture again.
    void ShowClean();
    // What the box paints now: the clean picture or the copy with the outline.
    const QImage& PaintedPicture() const { return painted_; }

    // What the box says while no picture has been shown (how to begin).
    void SetHint(const QString& text);
    const QString& Hint() const { return hint_; }

    QSize sizeHint() const override;

  signals:
    void mousePressed(QPoint position);
    void mouseMoved(QPoint position);
    void mouseReleased(QPoint position);
    // A new picture was shown with MostrarImagen.
    void pictureChanged();
    // The box has a new size (the window was resized): the picture may be fitted to it again.
    void resized();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    QImage shown_;
    QImage painted_;
    QString hint_;
};

}  // namespace brimsal
