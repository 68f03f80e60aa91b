// Every caption of the fixed layouts is shown whole under the fonts installed
// here: the tool buttons of the main window and the buttons, labels, check
// boxes, radio buttons and group titles of every fixed-size dialog. A text is
// whole when its width (QFontMetrics::horizontalAdvance) is at most the room
// the style gives it.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <QToolButton>
#include <functional>
#include <memory>

#include "dialogs/AboutBox.h"
#include "dialogs/CategoryDialog.h"
#include "dialogs/ImportDialog.h"
#include "dialogs/SearchDialog.h"
#include "dialogs/SettingsDialog.h"
#include "mainwindow/MainWindow.h"
#include "mainwindow/ToolBar.h"
#include "platform/MessageService.h"
#include "platform/Settings.h"
#include "platform/System.h"
#include "support/MainWindowFixture.h"
#include "update/UpdateWizard.h"

namespace dorvanta {
namespace {

// The text as drawn: "&x" shows as "x", "&&" as "&".
QString Shown(const QString& text) {
    QString out;
    for (int i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && i + 1 < text.size()) ++i;
        out += text[i];
    }
    return out;
}

struct Fit {
    QString what;
    int needed = 0;  // pixels the text takes
    int room = 0;    // pixels the style gives it
};

QString Describe(const QWidget* w, const QString& text) {
    return QStringLiteral("%1 \"%2\"").arg(QString::fromLatin1(w->metaObject()->className()), text);
}

// Nothing for a widget that shows no text of its own.
std::optional<Fit> Measure(QWidget* w) {
    QStyle* style = w->style();
    const QFontMetrics metrics = w->fontMetrics();
    if (auto* tool = qobject_cast<QToolButton*>(w)) {
        if (tool->text().isEmpty() || tool->toolButtonStyle() == Qt::ToolButtonIconOnly ||
            (tool->toolButtonStyle() == Qt::ToolButtonFollowStyle))
            return std::nullopt;
        return Fit{Describe(w, tool->text()), metrics.horizontalAdvance(Shown(tool->text())),
                   TToolBar::ToolButtonTextSpace(tool)};
    }
    if (auto* push = qobject_cast<QPushButton*>(w)) {
        if (push->text().isEmpty()) return std::nullopt;
        QStyleOptionButton opt;
        opt.initFrom(push);
        opt.text = push->text();
        opt.icon = push->icon();
        opt.iconSize = push->iconSize();
        if (push->isDefault()) opt.features |= QStyleOptionButton::DefaultButton;
        if (push->autoDefault()) opt.features |= QStyleOptionButton::AutoDefaultButton;
        if (push->isFlat()) opt.features |= QStyleOptionButton::Flat;
        int room = style->subElementRect(QStyle::SE_PushButtonContents, &opt, push).width();
        if (!push->icon().isNull()) room -= push->iconSize().width() + 4;
        return Fit{Describe(w, push->text()), metrics.horizontalAdvance(Shown(push->text())), room};
    }
    if (qobject_cast<QCheckBox*>(w) || qobject_cast<QRadioButton*>(w)) {
        auto* button = static_cast<QAbstractButton*>(w);
        if (button->text().isEmpty()) return std::nullopt;
        QStyleOptionButton opt;
        opt.initFrom(button);
        opt.text = button->text();
        opt.iconSize = button->iconSize();
        const auto element = qobject_cast<QCheckBox*>(w) ? QStyle::SE_CheckBoxContents
                                                         : QStyle::SE_RadioButtonContents;
        return Fit{Describe(w, button->text()), metrics.horizontalAdvance(Shown(button->text())),
                   style->subElementRect(element, &opt, button).width()};
    }
    if (auto* group = qobject_cast<QGroupBox*>(w)) {
        if (group->title().isEmpty()) return std::nullopt;
        QStyleOptionGroupBox opt;
        opt.initFrom(group);
        opt.text = group->title();
        opt.lineWidth = 1;
        opt.midLineWidth = 0;
        opt.textAlignment = group->alignment();
        opt.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
        if (group->isCheckable()) opt.subControls |= QStyle::SC_GroupBoxCheckBox;
        // The style sizes the title's rectangle from the text; it must lie inside the box.
        const QRect label =
            style->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxLabel, group);
        return Fit{Describe(w, group->title()), label.right() + 1, group->width()};
    }
    if (auto* label = qobject_cast<QLabel*>(w)) {
        if (label->text().isEmpty()) return std::nullopt;
        const QString text = label->text();
        const QRect room = label->contentsRect().adjusted(label->margin(), label->margin(),
                                                          -label->margin(), -label->margin());
        const int indent = std::max(label->indent(), 0);
        const QString shown = label->buddy() ? Shown(text) : text;
        if (label->wordWrap()) {
            // Wrapped: the lines must fit the label's height.
            const QRect used = metrics.boundingRect(
                QRect(0, 0, room.width() - indent, 100000),
                static_cast<int>(label->alignment()) | Qt::TextWordWrap, shown);
            return Fit{Describe(w, text) + QStringLiteral(" (height)"), used.height(),
                       room.height()};
        }
        const QRect used =
            metrics.boundingRect(QRect(0, 0, 100000, 100000), Qt::AlignLeft | Qt::AlignTop, shown);
        return Fit{Describe(w, text), used.width() + indent, room.width()};
    }
    return std::nullopt;
}

// What does not fit, one line each.
QStringList Overflows(QWidget* window) {
    QStringList out;
    QList<QWidget*> widgets = window->findChildren<QWidget*>();
    widgets.prepend(window);
    for (QWidget* w : widgets) {
        // Children of the dialogs the main window owns are checked with their dialog.
        if (w != window && w->window() != window) continue;
        if (w->isHidden() && w != window) continue;
        if (const auto fit = Measure(w); fit && fit->needed > fit->room) {
            out << QStringLiteral("%1 needs %2 px, has %3 (font %4)")
                       .arg(fit->what)
                       .arg(fit->needed)
                       .arg(fit->room)
                       .arg(QFontInfo(w->font()).family());
        }
    }
    return out;
}

int CaptionsChecked(QWidget* window) {
    int count = 0;
    QList<QWidget*> widgets = window->findChildren<QWidget*>();
    for (QWidget* w : widgets) {
        if (w->window() == window && !w->isHidden() && Measure(w)) ++count;
    }
    return count;
}

class CaptionFitTest : public testing::MainWindowFixture {
  protected:
    void TearDown() override { CloseWindow(false); }
};

TEST_F(CaptionFitTest, TheWindowsUseAFaceWithArialMetricsWhereOneIsInstalled) {
    const QStringList installed = QFontDatabase::families();
    bool haveOne = false;
    for (const QString& family : ArialMetricFamilies()) haveOne |= installed.contains(family);
    // The setup script installs Liberation Sans.
    ASSERT_TRUE(haveOne) << "no face with Arial's metrics installed (fonts-liberation2)";
    EXPECT_TRUE(ArialMetricFamilies().contains(MessageFontFamily()))
        << MessageFontFamily().toStdString();
    EXPECT_EQ(QFontInfo(form_->font()).family(), MessageFontFamily());
    EXPECT_EQ(form_->font().pointSize(), 8);
    EXPECT_EQ(QFontInfo(Named<QToolButton>(*form_, "SpeedButton_DelKey")->font()).family(),
              MessageFontFamily());
    EXPECT_EQ(QFontInfo(form_->CategoryPane().Dialog()->font()).family(), MessageFontFamily());
}

TEST_F(CaptionFitTest, EveryCaptionOfTheFixedLayoutsIsWhole) {
    TUpdateWizard wizard;
    struct Case {
        const char* name;
        QWidget* window;
        int atLeast;  // captions measured: the walk reaches the controls
    };
    const Case cases[] = {
        {"main window", form_.get(), 8 + 1 + 3},
        {"Neue Rubrik (TCategoryDialog)", form_->CategoryPane().Dialog(), 4},
        {"Einstellungen (TSettingsDialog)", form_->Dialogs().SettingsDialog(), 5},
        {"Suchen (TSearchDialog)", form_->Dialogs().SearchDialog(), 11},
        {"Einträge importieren (TImportDialog)", form_->Dialogs().ImportDialog(), 9},
        {"Info", form_->Dialogs().AboutBox(), 4},
        {"Updates installieren", &wizard, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_GE(CaptionsChecked(c.window), c.atLeast);
        const QStringList overflows = Overflows(c.window);
        EXPECT_TRUE(overflows.isEmpty()) << overflows.join(QLatin1Char('\n')).toStdString();
    }
}

TEST_F(CaptionFitTest, ToolButtonsWidenForAWiderFaceAndKeepTheirOrder) {
    const QList<QToolButton*> buttons = {Named<QToolButton>(*form_, "SpeedButton_New"),
                                         Named<QToolButton>(*form_, "SpeedButton_Open"),
                                         Named<QToolButton>(*form_, "SpeedButton_Save"),
                                         Named<QToolButton>(*form_, "SpeedButton_NewKey"),
                                         Named<QToolButton>(*form_, "SpeedButton_DelKey"),
                                         Named<QToolButton>(*form_, "SpeedButton_ShowData"),
                                         Named<QToolButton>(*form_, "SpeedButton_CompressView"),
                                         Named<QToolButton>(*form_, "SpeedButton_Exit")};
    struct Case {
        const char* family;
        int pointSize;
    };
    // The installed face, the wide DejaVu Sans of the setup script, and a larger size.
    const Case cases[] = {{"", 8}, {"DejaVu Sans", 8}, {"DejaVu Sans", 9}, {"", 8}};
    for (const Case& c : cases) {
        QFont font = form_->font();
        font.setFamily(*c.family ? QString::fromLatin1(c.family) : MessageFontFamily());
        font.setPointSize(c.pointSize);
        form_->setFont(font);
        SCOPED_TRACE(QFontInfo(font).family().toStdString() + " " + std::to_string(c.pointSize));
        int previousRight = 0;
        for (QToolButton* b : buttons) {
            EXPECT_LE(b->fontMetrics().horizontalAdvance(b->text()),
                      TToolBar::ToolButtonTextSpace(b))
                << b->text().toStdString();
            EXPECT_GT(b->x(), previousRight) << b->text().toStdString();
            previousRight = b->geometry().right();
        }
        EXPECT_LE(previousRight, Named<QWidget>(*form_, "Panel_Main")->width());
    }
    // The check itself sees a cut caption: DejaVu Sans in the designed width.
    const QFont design = form_->font();
    QFont wide = design;
    wide.setFamily(QStringLiteral("DejaVu Sans"));
    form_->setFont(wide);
    Named<QToolButton>(*form_, "SpeedButton_DelKey")->resize(77, 59);
    const QStringList cut = Overflows(form_.get()).filter(QStringLiteral("QToolButton"));
    EXPECT_EQ(cut.size(), 1) << cut.join(' ').toStdString();
    // Back at the design font, the designed places.
    form_->setFont(design);
    EXPECT_EQ(Named<QToolButton>(*form_, "SpeedButton_New")->geometry(), QRect(4, 2, 69, 59));
    EXPECT_EQ(Named<QToolButton>(*form_, "SpeedButton_Exit")->geometry(), QRect(564, 2, 77, 59));
    EXPECT_EQ(Named<QWidget>(*form_, "Panel_Main")->width(), 790);
}

// A window manager cuts a title that is wider than its window ("Neue Ru…
// rstellen"): the fixed dialogs widen for their title in the bold application
// font, under the installed font and a large one, and keep their controls' places.
TEST_F(CaptionFitTest, FixedDialogsAreWideEnoughForTheirTitles) {
    struct Case {
        QWidget* dialog;
        const char* title;
        int designWidth;
    };
    const Case cases[] = {
        {form_->CategoryPane().Dialog(), "Neue Rubrik erstellen", 225},
        {form_->Dialogs().SettingsDialog(), "Einstellungen", 313},
        {form_->Dialogs().SearchDialog(), "Suchen", 273},
        {form_->Dialogs().ImportDialog(), "Einträge importieren", 338},
        {form_->Dialogs().AboutBox(), "Info über Dorvanta", 435},
    };
    // The category dialog is titled for a new category when shown; the about box
    // as TAboutBox::ShowInfoDialog titles it, without its exec.
    form_->Dialogs().AboutBox()->setWindowTitle(QStringLiteral("Info über Dorvanta"));
    const QFont original = QApplication::font();
    const auto places = [](QWidget* dialog) {
        QList<QRect> out;
        for (QWidget* child : dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (!child->isWindow()) out << child->geometry();
        }
        return out;
    };
    for (const int pointSize : {0, 16}) {
        QFont font = original;
        if (pointSize) font.setPointSize(pointSize);
        QApplication::setFont(font);
        QFont bold = font;
        bold.setBold(true);
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.title) + " at " + std::to_string(pointSize));
            c.dialog->show();
            c.dialog->hide();
            ASSERT_EQ(c.dialog->windowTitle(), QString::fromUtf8(c.title));
            const int title = QFontMetrics(bold).horizontalAdvance(c.dialog->windowTitle());
            // The title and at least a close button on each side of it.
            EXPECT_GE(c.dialog->width(), title + 2 * 24);
            EXPECT_GE(c.dialog->width(), c.designWidth);
            EXPECT_EQ(c.dialog->minimumWidth(), c.dialog->maximumWidth());
        }
    }
    // The large font widens the category dialog to the right only.
    const QList<QRect> wide = places(form_->CategoryPane().Dialog());
    EXPECT_GT(form_->CategoryPane().Dialog()->width(), 300);
    QApplication::setFont(original);
    form_->CategoryPane().Dialog()->show();
    form_->CategoryPane().Dialog()->hide();
    EXPECT_EQ(places(form_->CategoryPane().Dialog()), wide);
    EXPECT_EQ(form_->CategoryPane().Dialog()->Button_OK->geometry(), QRect(142, 80, 75, 25));
    EXPECT_EQ(form_->CategoryPane().Dialog()->height(), 112);
    EXPECT_LT(form_->CategoryPane().Dialog()->width(), 300);
}

}  // namespace
}  // namespace dorvanta
