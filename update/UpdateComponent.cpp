#include "update/UpdateComponent.h"

#include <QAction>
#include <QCoreApplication>
#include <QWidget>
#include <cmath>

#include "platform/Application.h"
#include "platform/MessageService.h"
#include "platform/Settings.h"
#include "platform/SettingsKeys.h"
#include "store/DateTime.h"
#include "update/UpdateWizard.h"

namespace dorvanta {

TUpdateComponent::TUpdateComponent(QWidget* owner, const QStringList& arguments)
    : QObject(owner), Now(&NowDateTime), arguments_(arguments) {
    UpdateAction = new QAction(owner);
    UpdateAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_U));
    UpdateAction->setShortcutContext(Qt::WindowShortcut);
    owner->addAction(UpdateAction);
    connect(UpdateAction, &QAction::triggered, this,
            Guarded([this] { AutomaticUpdate({}, true, 0); }));
    // The wizard belongs to the program, not to a window: it outlives the main
    // window's own closing work and is destroyed with this component.
    statusForm_ = std::make_unique<TUpdateWizard>();
    statusForm_->OnRequestEnd = [this] {
        if (inLoop_ && OnRequestEnd) {
            OnRequestEnd();
        } else {
            exitRequested_ = true;
        }
    };
}

TUpdateComponent::~TUpdateComponent() = default;

void TUpdateComponent::AutomaticUpdate(const QString& params, bool manual, double programDate) {
    if (!arguments_.isEmpty() && arguments_.first() == QStringLiteral("/uninstall")) return;
    if (Packaged) {
        if (manual) {
            MessageService::Instance().Message(QString::fromUtf8(kMsgPackaged),
                                               QStringLiteral("Updates"), MsgIcon::Information);
        }
        return;
    }
    const auto key = OpenUpdateSettings(HKCU, RegistryKey);
    TSettingsStore& store = *key;
    const QString program = ProgramFile();
    if (!manual) {
        QString line = QLatin1Char('"') + program + QLatin1Char('"');
        if (!params.isEmpty()) line += QLatin1Char(' ') + params;
        store.WriteString(settings::kApplicationFileName.name, line.toStdString());
    }
    switch (DriveOf(program)) {
        case DriveType::Removable:
        case DriveType::Fixed:
        case DriveType::Remote:
        case DriveType::RamDisk:
            break;
        default:
            return;  // a CD-ROM, or no drive that can be told
    }
    const double date = programDate != 0 ? programDate : ProgramFileDate();
    const double today = std::floor(Now());
    const double threshold = store.ValueExists(settings::kNextUpdate.name)
                                 ? store.ReadDateTime(settings::kNextUpdate.name)
                                 : today - 1;
    const bool onlyUpdate = store.ValueExists(settings::kOnlyUpdate.name);
    if (!manual && !onlyUpdate) {
        if (!(today > threshold) || store.ValueExists(settings::kNoUpdate.name)) return;
        // A build without an update key installs nothing: the wizard would only
        // cost time at start. Ctrl+U and an update-only start still open it.
        if (statusForm_->UpdateKey.isEmpty()) return;
    }
    TUpdateWizard& wizard = *statusForm_;
    wizard.ProgramName = ProgramName;
    wizard.ZIPFileName = ZIPFileName;
    wizard.RegistryKey = RegistryKey;
    wizard.ProgramDate = date;
    wizard.HKCU = HKCU;
    wizard.Now = Now;
    wizard.ProgramFile = ProgramFile;
    inLoop_ = QCoreApplication::instance() && manual;
    MessageService::Instance().RunModal(wizard);
    inLoop_ = false;
    store.CloseKey();
    if (onlyUpdate) exitRequested_ = onlyUpdateRun_ = true;
}

}  // namespace dorvanta
