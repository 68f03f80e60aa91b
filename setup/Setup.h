#pragma once
// Enters the program in the system's list of installed programs at every start,
// and removes that entry and the program's settings when started with "/uninstall".

#include <QObject>
#include <QString>
#include <QStringList>

#include "platform/SettingsKeys.h"

namespace dorvanta {

class TSetup : public QObject {
    Q_OBJECT
  public:
    // Sets the defaults and, when the first argument is the uninstall parameter,
    // uninstalls at once.
    TSetup(const QStringList& arguments, QObject* owner);

    QString DisplayName;
    QString DisplayIcon;
    QString DisplayVersion;
    QString UninstallString;
    QString ModifyPath;
    QString Readme;
    QString Publisher;
    QString URLInfoAbout;
    QString URLUpdateInfo;
    QString HelpLink;
    QString UninstallParam = QStringLiteral("/uninstall");
    QString RegKeyName;
    QString QZRegKeyName;
    bool NoModify = true;
    bool NoRepair = true;
    bool UpdateComponentUsed = false;
    bool AutoVersion = true;
    bool HKCU = false;
    bool UninstallMessage = true;

    // Writes or refreshes the entry; nothing in an uninstall run or without an
    // uninstall command. Errors of the settings store pass to the caller.
    void RegisterUninstall();
    // Asks, removes the entry and the settings of both hives, reports, and asks
    // the application to end whatever the answer.
    void Uninstall();

    // The run was started with the uninstall parameter.
    bool UninstallRun() const;
    // Uninstall asked the application to end.
    bool ExitRequested() const { return exitRequested_; }

    static constexpr const char* kUninstallListKey = settings::kUninstallListKey;

  private:
    void RequestExit();
    QStringList arguments_;
    bool exitRequested_ = false;
};

}  // namespace dorvanta
