// Every caption, list item and text must be readable in its control with the program font.
#include "app/FrmIO.h"
#include "tests/ui/LayoutFixture.h"
#include "ui/ProgramFont.h"
#include "ui/frmDigi.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOption>
#include <algorithm>

namespace {

using namespace layout_test;

struct Caption {
    QString text;
    QRect room;
    bool wraps = false;
};

Caption CaptionOf(QWidget* widget) {
    QStyle* style = widget->style();
    if (auto* label = qobject_cast<QLabel*>(widget))
        return {label->text(), label->contentsRect(), label->wordWrap()};
    if (auto* check = qobject_cast<QCheckBox*>(widget)) {
        QStyleOptionButton option;
        option.initFrom(check);
        option.text = check->text();
        return {check->text(), style->subElementRect(QStyle::SE_CheckBoxContents, &option, check)};
    }
    if (auto* radio = qobject_cast<QRadioButton*>(widget)) {
        QStyleOptionButton option;
        option.initFrom(radio);
        option.text = radio->text();
        return {radio->text(), style->subElementRect(QStyle::SE_RadioButtonContents, &option, radio)};
    }
    if (auto* button = qobject_cast<QPushButton*>(widget)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const int margin = style->pixelMetric(QStyle::PM_ButtonMargin, &option, button);
        const QRect contents = style->subElementRect(QStyle::SE_PushButtonContents, &option, button);
        return {button->text(), contents.adjusted(margin / 2, 0, -margin / 2, 0)};
    }
    if (auto* group = qobject_cast<QGroupBox*>(widget)) {
        // The style sizes the title to its text, so what matters is that it ends inside the frame.
        QStyleOptionGroupBox option;
        option.initFrom(group);
        option.text = group->title();
        option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
        option.textAlignment = group->alignment();
        const QRect title =
            style->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, group);
        return {group->title(),
                QRect(title.left(), title.top(), group->width() - title.left(), title.height())};
    }
    return {};
}

void ExpectCaptionsFit(QWidget& window) {
    window.ensurePolished();
    const QFontMetrics metrics(ProgramFont());
    int checked = 0;
    for (QWidget* widget : window.findChildren<QWidget*>()) {
        const Caption caption = CaptionOf(widget);
        if (caption.text.isEmpty())
            continue;
        ++checked;
        SCOPED_TRACE(widget->objectName().toStdString() + ": " + caption.text.toStdString());
        EXPECT_EQ(widget->font(), ProgramFont());
        if (caption.wraps) {
            const QRect needed = metrics.boundingRect(caption.room, Qt::TextWordWrap, caption.text);
            EXPECT_LE(needed.height(), caption.room.height());
            EXPECT_LE(needed.width(), caption.room.width());
        } else {
            EXPECT_LE(metrics.horizontalAdvance(caption.text), caption.room.width());
            EXPECT_LE(metrics.height(), std::min(caption.room.height(), widget->height()));
        }
    }
    EXPECT_GT(checked, 0);
}

TEST_F(LayoutTest, ProgramFontIsTheOneTheLayoutWasCheckedWith) {
    const QFontInfo info(ProgramFont());
    EXPECT_TRUE(info.family().startsWith(QLatin1String("DejaVu Sans"))) << info.family().toStdString();
    EXPECT_EQ(QApplication::font(), ProgramFont());
}

TEST_F(LayoutTest, EveryCaptionFitsItsControl) {
    FrmIO dialog;
    frmDigi window(nullptr);
    ExpectCaptionsFit(dialog);
    ExpectCaptionsFit(window);
}

// The load step writes list items and typed text into the combo boxes; the longest must stay readable.
TEST_F(LayoutTest, EveryListItemFitsItsTextField) {
    frmDigi window(nullptr);
    window.ensurePolished();
    const QFontMetrics metrics(ProgramFont());
    for (QComboBox* combo : window.findChildren<QComboBox*>()) {
        QStyleOptionComboBox option;
        option.initFrom(combo);
        option.editable = true;
        option.frame = true;
        option.subControls = QStyle::SC_All;
        const QRect field =
            combo->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo);
        for (int i = 0; i < combo->count(); ++i) {
            SCOPED_TRACE(combo->objectName().toStdString() + ": " + combo->itemText(i).toStdString());
            EXPECT_LE(metrics.horizontalAdvance(combo->itemText(i)), field.width());
            EXPECT_LE(metrics.height(), field.height());
        }
    }
    FrmIO dialog;
    for (QLineEdit* edit : {window.ui.txtDin, dialog.ui.IOtxt}) {
        const int frame = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, edit);
        EXPECT_LE(metrics.height(), edit->height() - 2 * frame) << edit->objectName().toStdString();
    }
}

} // namespace
