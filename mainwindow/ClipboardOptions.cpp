// The clipboard's options.
#include "mainwindow/ClipboardOptions.h"

#include <QActionGroup>
#include <QMenu>

#include "platform/Application.h"
#include "platform/SecretClipboard.h"
#include "platform/Settings.h"
#include "platform/SettingsKeys.h"

namespace dorvanta {

TClipboardOptions::TClipboardOptions(QWidget* window)
    : clipboard_(std::make_unique<TSecretClipboard>()) {
    clear_ = new QAction(window);
    clear_->setObjectName(QStringLiteral("MenuItem_ClearClipboard"));
    clear_->setCheckable(true);
    connect(clear_, &QAction::toggled, this,
            Guarded([this](bool on) { clipboard_->SetClearEnabled(on); }));
    delay_ = new QMenu(QStringLiteral("Zwischenablage leeren nach"), window);
    delay_->setObjectName(QStringLiteral("Menu_ClearClipboardDelay"));
    auto* choices = new QActionGroup(delay_);
    for (const int seconds : settings::kClearClipboardChoices) {
        QAction* choice = delay_->addAction(QStringLiteral("%1 Sekunden").arg(seconds));
        choice->setCheckable(true);
        choice->setData(seconds);
        choices->addAction(choice);
        connect(choice, &QAction::triggered, this,
                Guarded([this, seconds] { SetClearClipboardSeconds(seconds); }));
    }
    SetClearClipboardSeconds(settings::kClearClipboardSeconds.defaultValue);
}

TClipboardOptions::~TClipboardOptions() = default;

void TClipboardOptions::AddOptions(QMenu* options) {
    options->addAction(clear_);
    options->addMenu(delay_);
}

void TClipboardOptions::SetClipboardClearDelay(int ms) {
    clipboard_->SetClearDelay(ms);
}

int TClipboardOptions::ClearClipboardSeconds() const {
    for (const QAction* choice : delay_->actions()) {
        if (choice->isChecked()) return choice->data().toInt();
    }
    return settings::kClearClipboardSeconds.defaultValue;
}

void TClipboardOptions::SetClearClipboardSeconds(int seconds) {
    for (QAction* choice : delay_->actions()) {
        choice->setChecked(choice->data().toInt() == seconds);
    }
    clear_->setText(QStringLiteral("Zwischenablage nach %1 Sekunden leeren").arg(seconds));
    clipboard_->SetClearDelay(seconds * 1000);
}

void TClipboardOptions::ReadDelay(TSettingsStore& settings) {
    SetClearClipboardSeconds(settings::ReadClearClipboardSeconds(settings));
}

void TClipboardOptions::ReadClearing(TSettingsStore& settings) {
    if (settings.ValueExists(settings::kClearClipboard.name)) {
        clear_->setChecked(settings.ReadInteger(settings::kClearClipboard.name) != 0);
    }
}

void TClipboardOptions::WriteSettings(TSettingsStore& settings) const {
    settings.WriteInteger(settings::kClearClipboard.name, clear_->isChecked() ? 1 : 0);
    settings.WriteInteger(settings::kClearClipboardSeconds.name, ClearClipboardSeconds());
}

}  // namespace dorvanta
