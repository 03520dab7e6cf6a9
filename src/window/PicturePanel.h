// The displayed reference of the main window: the picture box pctImagen, under it the read-out
// lblXY (the pointer's position, the patch being dragged, a step's progress while it runs), a
// note on how the picture was developed (a headroom development is shown darker), and the
// Snapshot button cmdCopyClipBoard. The window shows the pictures and decides what a snapshot
// copies.
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

    // The pointer's read-out in lblXY (its position, or the patch being dragged), kept for when
    // a step's progress has ended.
    void ShowPointer(const QString& text);
    // A step's progress read-out in lblXY while the step runs.
    void ShowProgress(const QString& text);
    // The step has ended: lblXY shows the pointer's read-out again.
    void EndProgress();
    // The note under the picture about how it was developed ("" for none).
    void ShowNote(const QString& text);

    PictureView* pctImagen() const { return pctImagen_; }
    QPushButton* cmdCopyClipBoard() const { return cmdCopyClipBoard_; }

  private:
    PictureView* pctImagen_ = nullptr;
    QLabel* lblXY_ = nullptr;
    QLabel* lblNote_ = nullptr;
    QString pointer_;
    QPushButton* cmdCopyClipBoard_ = nullptr;
};

}  // namespace brimsal
