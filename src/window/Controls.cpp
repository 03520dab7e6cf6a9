#include "window/Controls.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionFrame>

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
    // Pressed in is plain to see: the selection's colours, not a slightly darker face.
    button->setStyleSheet(
        "QPushButton:checked { background-color: palette(highlight); color: "
        "palette(highlighted-text); border: 1px solid palette(shadow); border-radius: 3px; }");
    return button;
}

void LookUnused(QWidget* control, bool unused) {
    QPalette palette;  // no role of its own: the parent's colours
    if (unused) {
        const QPalette shown = control->palette();
        for (const QPalette::ColorRole role : {QPalette::Text, QPalette::ButtonText, QPalette::Base,
                                               QPalette::Button, QPalette::WindowText}) {
            const QColor disabled = shown.color(QPalette::Disabled, role);
            palette.setColor(QPalette::Active, role, disabled);
            palette.setColor(QPalette::Inactive, role, disabled);
        }
    }
    control->setPalette(palette);
}

QComboBox* FixedList(const char* name, const QString& accessible, const char* tip,
                     const QStringList& rows, QWidget* parent) {
    auto* combo = Named(new QComboBox(parent), name, accessible, tip);
    combo->addItems(rows);
    return combo;
}

void ShowWhole(QLineEdit* box, const QString& widest) {
    QStyleOptionFrame option;
    option.initFrom(box);
    option.lineWidth = box->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, box);
    const QMargins margins = box->textMargins();
    // A line edit keeps kTextSide pixels of its own on either side of the text.
    constexpr int kTextSide = 2;
    const QSize text(box->fontMetrics().horizontalAdvance(widest) + margins.left() +
                         margins.right() + 2 * kTextSide,
                     box->fontMetrics().height());
    box->setMinimumWidth(
        box->style()->sizeFromContents(QStyle::CT_LineEdit, &option, text, box).width());
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
