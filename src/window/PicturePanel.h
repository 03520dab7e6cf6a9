// The displayed reference of the main window: the picture box pctImagen, under it the read-out
// lblXY (the pointer's position, the patch being dragged, a step's progress) and the Snapshot
// button cmdCopyClipBoard. The window shows the pictures and decides what a snapshot copies.
#pragma once

#include <QString>
#include <QWidget>

class QLabel;
class QPushButton;

namespace brimsal {

class PictureView;

class PicturePanel : public QWidget {
    Q_OBJECT

  public:
    explicit PicturePanel(QWidget* parent = nullptr);

    // Shows `text` in lblXY.
    void ShowReadOut(const QString& text);

    PictureView* pctImagen() const { return pctImagen_; }
    QPushButton* cmdCopyClipBoard() const { return cmdCopyClipBoard_; }

  private:
    PictureView* pctImagen_ = nullptr;
    QLabel* lblXY_ = nullptr;
    QPushButton* cmdCopyClipBoard_ = nullptr;
};

}  // namespace brimsal
