// The tool bar: its buttons and their layout.
#include "mainwindow/ToolBar.h"

#include <QEvent>
#include <QStyle>
#include <QToolButton>
#include <algorithm>
#include <iterator>

#include "resources/Icons.h"

namespace dorvanta {

namespace {

struct ToolButtonDef {
    const char* name;
    int left;
    int width;
    const char* caption;
    const char* hint;
    IconId icon;
};

// The designed places, for an 8-point face with Arial's metrics.
const ToolButtonDef kToolButtons[] = {
    {"SpeedButton_New", 4, 69, "Neu", "Erstellt eine neue Datei.", IconId::New},
    {"SpeedButton_Open", 76, 69, "Öffnen", "Öffnet eine vorhandene Datei.", IconId::Open},
    {"SpeedButton_Save", 148, 69, "Speichern", "Speichert die aktuelle Datei neu.", IconId::Save},
    {"SpeedButton_NewKey", 228, 77, "Neue Rubrik", "Erstellt eine neue Rubrik", IconId::NewKey},
    {"SpeedButton_DelKey", 308, 77, "Rubrik löschen", "Löscht die markierte Rubrik.",
     IconId::DelKey},
    {"SpeedButton_ShowData", 396, 77, "Daten zeigen...",
     "Legt fest, ob in der Rubrikliste die Daten zu allen Rubriken angezeigt werden sollen.",
     IconId::ShowData},
    {"SpeedButton_CompressView", 476, 77, "Ansicht filtern",
     "Legt fest, ob nur die Daten der aktuellen Oberrubrik angezeigt werden.",
     IconId::CompressView},
    {"SpeedButton_Exit", 564, 77, "Beenden", "Beendet das Programm.", IconId::Exit},
};
}  // namespace

TToolBar::TToolBar(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Panel_Main"));
    setFixedSize(kDesignWidth, 63);
    for (std::size_t i = 0; i < std::size(kToolButtons); ++i) {
        const ToolButtonDef& def = kToolButtons[i];
        auto* button = new QToolButton(this);
        button->setObjectName(QString::fromLatin1(def.name));
        button->setGeometry(def.left, 2, def.width, 59);
        button->setText(QString::fromUtf8(def.caption));
        button->setStatusTip(QString::fromUtf8(def.hint));
        // The caption is the name a screen reader announces, also where it is elided.
        button->setAccessibleName(QString::fromUtf8(def.caption));
        button->setIcon(ToolIcon(def.icon));
        button->setIconSize(QSize(24, 24));
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::NoFocus);
        button->setStyleSheet(QStringLiteral("QToolButton { padding: 0px; }"));
        buttons_[i] = button;
    }
    LayoutButtons();
}

int TToolBar::ToolButtonTextSpace(const QToolButton* button) {
    // The style draws the caption inside the button's frame and elides what is wider.
    return button->width() -
           2 * button->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button);
}

void TToolBar::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    // The about box gives the window the message font after construction.
    if (event->type() == QEvent::FontChange) LayoutButtons();
}

void TToolBar::LayoutButtons() {
    // A caption wider than its designed button widens it; the buttons after it
    // move right by as much, so the gaps stay as designed.
    int shift = 0;
    int right = 0;
    for (std::size_t i = 0; i < std::size(kToolButtons); ++i) {
        const ToolButtonDef& def = kToolButtons[i];
        QToolButton* button = buttons_[i];
        // A widget with a style sheet keeps the font it was polished with; the
        // buttons follow the window's font explicitly.
        button->setFont(font());
        const int frame = button->width() - ToolButtonTextSpace(button);
        const int needed = button->fontMetrics().horizontalAdvance(button->text()) + frame;
        const int width = std::max(def.width, needed);
        button->setGeometry(def.left + shift, button->y(), width, button->height());
        shift += width - def.width;
        right = button->geometry().right() + 1;
    }
    setFixedWidth(std::max(kDesignWidth, right + 4));
}

}  // namespace dorvanta
