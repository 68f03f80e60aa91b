#pragma once
// The update component of the main window: decides at start-up whether the update
// wizard is due, offers Ctrl+U to open it at any time, records the program's
// command line for an update launcher, and honours an update-only start.

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "platform/System.h"

class QAction;
class QWidget;

namespace dorvanta {

class TUpdateWizard;

// A build for a distribution's package is updated by the package manager, never
// by replacing its own program file.
#ifdef DORVANTA_PACKAGED
inline constexpr bool kPackagedBuild = true;
#else
inline constexpr bool kPackagedBuild = false;
#endif
inline constexpr const char* kMsgPackaged = "Dorvanta wird über die Paketverwaltung aktualisiert.";

class TUpdateComponent : public QObject {
    Q_OBJECT
  public:
    // Registers Ctrl+U with `owner` and creates the one wizard. `arguments`: the
    // command line after the program name.
    TUpdateComponent(QWidget* owner, const QStringList& arguments);
    ~TUpdateComponent() override;

    QString ProgramName = QStringLiteral("Dorvanta");
    QString RegistryKey = QStringLiteral("Dorvanta");
    QString ZIPFileName = QStringLiteral("Dorvanta.zip");
    bool HKCU = false;
    // Packaged: no wizard at start, and Ctrl+U only says where updates come from.
    bool Packaged = kPackagedBuild;

    // Shows the wizard when it is due (or always when `manual`); never by itself
    // when the wizard has no update key. A non-zero `programDate` replaces the
    // program file's date.
    void AutomaticUpdate(const QString& params, bool manual, double programDate);

    // True when the wizard ended the program before the main window was shown,
    // and after an update-only start.
    bool ExitRequested() const { return exitRequested_; }
    // An update-only start ends without the main window's own closing work.
    bool OnlyUpdateRun() const { return onlyUpdateRun_; }

    // What the wizard's "end the program" does once the main loop runs; the main
    // window sets it (closing itself, which asks about unsaved changes).
    std::function<void()> OnRequestEnd;

    TUpdateWizard* UpdateWizard() const { return statusForm_.get(); }
    QAction* UpdateAction = nullptr;

    // Seams for tests: the clock, the program file's path, its drive type and date.
    std::function<double()> Now;
    std::function<QString()> ProgramFile = [] { return ProgramPath(); };
    std::function<DriveType(const QString&)> DriveOf = [](const QString& p) {
        return GetDriveType(p);
    };
    std::function<double()> ProgramFileDate = [] { return ProgramFileDateTime(); };

  private:
    QStringList arguments_;
    std::unique_ptr<TUpdateWizard> statusForm_;
    bool exitRequested_ = false;
    bool onlyUpdateRun_ = false;
    bool inLoop_ = false;
};

}  // namespace dorvanta
