// The control builders of the main window's frames, and the core's texts as Qt shows them. Every
// control gets its program name (cmdEV, hscTH...) as its object name, what a screen reader says
// as its accessible name, and its tool tip; the builders add what the kind of control always has
// (a scroll bar's range and steps, a locked box's read-only state).
#pragma once

#include <QString>
#include <QStringList>
#include <string>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QScrollBar;
class QWidget;

namespace brimsal {

struct SettingRange;

// A text of the core as Qt shows it.
inline QString QText(const std::string& text) {
    return QString::fromStdString(text);
}

// Names a control: its program name, its accessible name and, when given, its tool tip.
template <class Widget>
Widget* Named(Widget* widget, const char* name, const QString& accessible,
              const char* tip = nullptr) {
    widget->setObjectName(name);
    widget->setAccessibleName(accessible);
    if (tip != nullptr) {
        widget->setToolTip(tip);
    }
    return widget;
}

// The label in front of a control.
QLabel* Caption(const QString& text, QWidget* parent, const char* tip = nullptr);
// A horizontal scroll bar over `range`, moved by 1, starting at its initial value.
QScrollBar* Bar(const char* name, const QString& accessible, const SettingRange& range,
                QWidget* parent);
// A check box drawn as a toggle button, in the selection's colours while it is on (screen readers
// hear it as checked or not).
QPushButton* Toggle(const char* name, const char* caption, const char* tip, QWidget* parent);
// Shows a control the current settings do not read in the disabled colours (`unused`) or in its
// own; it stays live, and using it chooses the setting that reads it.
void LookUnused(QWidget* control, bool unused);
// A list the user picks a row of.
QComboBox* FixedList(const char* name, const QString& accessible, const char* tip,
                     const QStringList& rows, QWidget* parent);
// Makes `box` at least wide enough to show `widest` whole.
void ShowWhole(QLineEdit* box, const QString& widest);
// A one-line box the program writes and the user only reads.
QLineEdit* Locked(const char* name, const QString& accessible, const char* tip, QWidget* parent);
// A box of lines the program writes and the user only reads, its vertical bar always shown.
QPlainTextEdit* LockedList(const char* name, const QString& accessible, QWidget* parent);

}  // namespace brimsal
