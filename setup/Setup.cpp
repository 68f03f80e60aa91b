#include "setup/Setup.h"

#include <QCoreApplication>
#include <QMetaObject>

#include "platform/Application.h"
#include "platform/Maker.h"
#include "platform/MessageService.h"
#include "platform/Settings.h"
#include "platform/SettingsKeys.h"
#include "platform/System.h"
#include "platform/TextConv.h"

namespace dorvanta {
namespace {

// Settings hold Windows-1252 texts; a character beyond it (a path in another
// script) is kept as '?', which is all a display value can do with it.
std::string Cp1252Of(const QString& text) {
    std::string out;
    out.reserve(static_cast<std::size_t>(text.size()));
    for (QChar ch : text) out += FromQString(QString(ch)).value_or("?");
    return out;
}

}  // namespace

TSetup::TSetup(const QStringList& arguments, QObject* owner)
    : QObject(owner), arguments_(arguments) {
    setObjectName(QStringLiteral("Setup"));
    const QString program = ProgramPath();
    DisplayName = ApplicationTitle();
    DisplayIcon = program;
    DisplayVersion = GetFileVersionString(program);
    UninstallString = QLatin1Char('"') + program + QStringLiteral("\" /uninstall");
    Publisher = MakerName();
    URLInfoAbout = MakerWebServer() + QStringLiteral("/Programme.htm");
    HelpLink = MakerWebServer() + QStringLiteral("/");
    RegKeyName = ApplicationTitle();
    QZRegKeyName = ApplicationTitle();
    // An error of the settings store is shown; the program ends all the same.
    if (UninstallRun()) RunGuarded([this] { Uninstall(); });
}

bool TSetup::UninstallRun() const {
    return !arguments_.isEmpty() && arguments_.first() == UninstallParam;
}

void TSetup::RegisterUninstall() {
    using namespace settings;
    if (UninstallRun() || UninstallString.isEmpty()) return;
    TSettingsStore reg(HiveOf(kEntryDisplayName, HKCU));
    if (!reg.OpenKey(std::string(kUninstallListKey) + "\\" + Cp1252Of(RegKeyName), true)) {
        throw ESettingsError(
            FormatMessage("Fehler beim Setzen der Daten für '%s'", kEntryDisplayName.name));
    }
    // An empty text or a switch that is off removes its value.
    auto text = [&reg](const TValueSpec& value, const QString& content) {
        if (content.isEmpty()) {
            reg.DeleteValue(value.name);
        } else {
            reg.WriteString(value.name, Cp1252Of(content));
        }
    };
    auto flag = [&reg](const TValueSpec& value, bool on) {
        if (on) {
            reg.WriteInteger(value.name, 1);
        } else {
            reg.DeleteValue(value.name);
        }
    };
    reg.WriteString(kEntryDisplayName.name, Cp1252Of(DisplayName));
    text(kEntryDisplayIcon, DisplayIcon);
    if (AutoVersion) {
        reg.WriteString(kEntryDisplayVersion.name, Cp1252Of(GetFileVersionString(ProgramPath())));
    } else {
        text(kEntryDisplayVersion, DisplayVersion);
    }
    reg.WriteString(kEntryUninstallString.name, Cp1252Of(UninstallString));
    text(kEntryModifyPath, ModifyPath);
    text(kEntryReadme, Readme);
    text(kEntryPublisher, Publisher);
    text(kEntryURLInfoAbout, URLInfoAbout);
    if (UpdateComponentUsed) {
        reg.WriteString(kEntryURLUpdateInfo.name,
                        Cp1252Of(QStringLiteral("Strg+U im Programm drücken")));
    } else {
        text(kEntryURLUpdateInfo, URLUpdateInfo);
    }
    text(kEntryHelpLink, HelpLink);
    flag(kEntryNoModify, NoModify);
    flag(kEntryNoRepair, NoRepair);
    reg.CloseKey();
}

void TSetup::Uninstall() {
    // Whatever happens below, the program ends: an uninstall run never goes on.
    struct EndProgram {
        TSetup* setup;
        ~EndProgram() { setup->RequestExit(); }
    } end{this};
    if (MessageService::Instance().Confirm(QStringLiteral("Soll ") + DisplayName +
                                           QStringLiteral(" wirklich deinstalliert werden?"))) {
        TSettingsStore list(settings::HiveOf(settings::kEntryDisplayName, HKCU));
        if (list.OpenKey(settings::kUninstallListKey, true)) list.DeleteKey(Cp1252Of(RegKeyName));
        for (Hive hive : {Hive::CurrentUser, Hive::LocalMachine}) {
            TSettingsStore vendor(hive);
            if (vendor.OpenKey(settings::kUninstallVendorKey, true) &&
                vendor.KeyExists(Cp1252Of(QZRegKeyName))) {
                vendor.DeleteKey(Cp1252Of(QZRegKeyName));
            }
        }
        if (UninstallMessage) {
            MessageService::Instance().Message(
                DisplayName + QStringLiteral(" wurde erfolgreich entfernt. Die Programmdatei und "
                                             "evtl. mit diesem Programm erstellte Dateien müssen "
                                             "manuell gelöscht werden."),
                QStringLiteral("Deinstallation abgeschlossen"), MsgIcon::Information);
        }
    }
}

void TSetup::RequestExit() {
    // Takes effect when the event loop runs; the rest of the start-up writes nothing.
    exitRequested_ = true;
    if (QCoreApplication::instance()) {
        QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit,
                                  Qt::QueuedConnection);
    }
}

}  // namespace dorvanta
