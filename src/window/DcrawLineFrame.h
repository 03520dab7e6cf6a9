// The "DCRAW command line" frame of the main window: lblDCRAW, the quick development's command
// line as last shown (composed by the window, or written by a development through the user
// channel), and txtDCRAW, the user's own dcraw options.
#pragma once

#include <QGroupBox>
#include <QString>
#include <string>

#include "develop/DevelopSettings.h"

class QLabel;
class QLineEdit;

namespace brimsal {

class DcrawLineFrame : public QGroupBox {
    Q_OBJECT

  public:
    explicit DcrawLineFrame(QWidget* parent = nullptr);

    // Reads txtDCRAW into `settings`.
    void ReadControls(DevelopSettings& settings) const;

    // The line lblDCRAW shows.
    std::string ShownLine() const;
    void ShowLine(const QString& line);

  signals:
    // txtDCRAW was left: the command line may have changed; the later steps stay enabled.
    void developmentSettingChanged(bool disableLaterSteps);

  private:
    void txtDCRAW_LostFocus();

    QLabel* lblDCRAW_ = nullptr;
    QLineEdit* txtDCRAW_ = nullptr;
};

}  // namespace brimsal
