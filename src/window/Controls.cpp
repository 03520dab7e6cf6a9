#include "window/Controls.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>

#include "base/SettingRange.h"

namespace brimsal {

QLabel* Caption(const QString& text, QWidget* parent, const char* tip) {
    auto* label = new QLabel(text, parent);
    if (tip != nullptr) {
        label->setToolTip(tip);
    }
    return label;
}

QScrollBar* Bar(const char* name, const QString& accessible, const SettingRange& range,
                QWidget* parent) {
    auto* bar = Named(new QScrollBar(Qt::Horizontal, parent), name, accessible);
    bar->setRange(range.minimum, range.maximum);
    bar->setValue(range.initial);
    bar->setSingleStep(1);
    bar->setPageStep(1);
    bar->setMinimumWidth(120);
    return bar;
}

QPushButton* Toggle(const char* name, const char* caption, const char* tip, QWidget* parent) {
    auto* button = Named(new QPushButton(caption, parent), name, caption, tip);
    button->setCheckable(true);
    return button;
}

QComboBox* FixedList(const char* name, const QString& accessible, const char* tip,
                     const QStringList& rows, QWidget* parent) {
    auto* combo = Named(new QComboBox(parent), name, accessible, tip);
    combo->addItems(rows);
    return combo;
}

QLineEdit* Locked(const char* name, const QString& accessible, const char* tip, QWidget* parent) {
    auto* box = Named(new QLineEdit(parent), name, accessible, tip);
    box->setReadOnly(true);
    return box;
}

QPlainTextEdit* LockedList(const char* name, const QString& accessible, QWidget* parent) {
    auto* box = Named(new QPlainTextEdit(parent), name, accessible);
    box->setReadOnly(true);
    box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    return box;
}

}  // namespace brimsal
