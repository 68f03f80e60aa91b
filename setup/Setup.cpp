#include "setup/Setup.h"

#include <QCoreApplication>
#include <QMetaObject>

#include "platform/Application.h"
#include "platform/Maker.h"
#include "platform/MessageService.h"
#include "platform/Settings.h"
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

Hive HiveOf(bool hkcu) {
    return hkcu ? Hive::CurrentUser : Hive::LocalMachine;
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
    if (UninstallRun() || UninstallString.isEmpty()) return;
    TSettingsStore reg(HiveOf(HKCU));
    if (!reg.OpenKey(std::string(kUninstallListKey) + "\\" + Cp1252Of(RegKeyName), true)) {
        throw ESettingsError(FormatMessage("Fehler beim Setzen der Daten für '%s'", "DisplayName"));
    }
    auto text = [&reg](const char* name, const QString& value) {
        if (value.isEmpty()) {
            reg.DeleteValue(name);
        } else {
            reg.WriteString(name, Cp1252Of(value));
        }
    };
    auto flag = [&reg](const char* name, bool on) {
        if (on) {
            reg.WriteInteger(name, 1);
        } else {
            reg.DeleteValue(name);
        }
    };
    reg.WriteString("DisplayName", Cp1252Of(DisplayName));
    text("DisplayIcon", DisplayIcon);
    if (AutoVersion) {
        reg.WriteString("DisplayVersion", Cp1252Of(GetFileVersionString(ProgramPath())));
    } else {
        text("DisplayVersion", DisplayVersion);
    }
    reg.WriteString("UninstallString", Cp1252Of(UninstallString));
    text("ModifyPath", ModifyPath);
    text("Readme", Readme);
    text("Publisher", Publisher);
    text("URLInfoAbout", URLInfoAbout);
    if (UpdateComponentUsed) {
        reg.WriteString("URLUpdateInfo", Cp1252Of(QStringLiteral("Strg+U im Programm drücken")));
    } else {
        text("URLUpdateInfo", URLUpdateInfo);
    }
    text("HelpLink", HelpLink);
    flag("NoModify", NoModify);
    flag("NoRepair", NoRepair);
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
        TSettingsStore list(HiveOf(HKCU));
        if (list.OpenKey(kUninstallListKey, true)) list.DeleteKey(Cp1252Of(RegKeyName));
        for (Hive hive : {Hive::CurrentUser, Hive::LocalMachine}) {
            TSettingsStore vendor(hive);
            if (vendor.OpenKey("SOFTWARE\\QZ", true) && vendor.KeyExists(Cp1252Of(QZRegKeyName))) {
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
