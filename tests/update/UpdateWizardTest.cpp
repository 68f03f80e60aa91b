// The update component's schedule and the wizard's due date, with an injected
// clock, program file and drive type. In test mode the wizard is logged by the
// message service instead of being shown, which is what "shown" means here.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QWidget>
#include <optional>

#include "platform/MessageService.h"
#include "platform/Settings.h"
#include "store/DateTime.h"
#include "tests/update/TestSupport.h"
#include "update/UpdateComponent.h"
#include "update/UpdateWizard.h"

namespace dorvanta {
namespace {

constexpr const char* kKey = "Software\\QZ\\Dorvanta";

double Day(int month, int day, int hour = 0) {
    return EncodeDateTime({2026, month, day, hour, 0, 0, 0});
}

class UpdateScheduleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        MessageService::Instance().ClearLog();
        TSettingsStore(Hive::LocalMachine).DeleteKey(std::string("\\") + kKey);
    }
    static std::unique_ptr<TSettingsStore> Key() {
        auto reg = std::make_unique<TSettingsStore>(Hive::LocalMachine);
        reg->OpenKey(kKey, true);
        return reg;
    }
    static int WizardShown() {
        int shown = 0;
        for (const auto& q : MessageService::Instance().Asked()) {
            if (q.kind == AskedQuestion::Kind::Dialog && q.caption == "Updates installieren")
                ++shown;
        }
        MessageService::Instance().ClearLog();
        return shown;
    }
    // A component whose clock says `today` and whose program lies on `drive`; its
    // wizard has the TEST key, as a build with a key of its own would.
    std::unique_ptr<TUpdateComponent> Component(double today, DriveType drive = DriveType::Fixed,
                                                QStringList arguments = {}) {
        auto c = std::make_unique<TUpdateComponent>(&owner_, arguments);
        c->UpdateWizard()->UpdateKey = testing::TestUpdateKey();
        c->Now = [today] { return today; };
        c->ProgramFile = [] { return QStringLiteral("/opt/dorvanta/dorvanta"); };
        c->DriveOf = [drive](const QString&) { return drive; };
        c->ProgramFileDate = [] { return Day(5, 1, 12); };
        return c;
    }
    QWidget owner_;
};

TEST_F(UpdateScheduleTest, TheWizardOpensWhenDue) {
    struct Case {
        const char* what;
        std::optional<double> update;  // the stored "Update" value
        bool noUpdate, onlyUpdate, manual;
        DriveType drive;
        bool shown;
    };
    const Case cases[] = {
        {"first start", std::nullopt, false, false, false, DriveType::Fixed, true},
        {"first start, never", std::nullopt, true, false, false, DriveType::Fixed, false},
        {"never, but Ctrl+U", std::nullopt, true, false, true, DriveType::Fixed, true},
        {"last day not yet due", Day(6, 7), false, false, false, DriveType::Fixed, false},
        {"due the day after", Day(6, 6), false, false, false, DriveType::Fixed, true},
        {"only update overrides", Day(12, 31), true, true, false, DriveType::Fixed, true},
        {"removable drive", std::nullopt, false, false, false, DriveType::Removable, true},
        {"network drive", std::nullopt, false, false, false, DriveType::Remote, true},
        {"CD-ROM", std::nullopt, false, false, true, DriveType::CdRom, false},
        {"no root (a network path)", std::nullopt, false, false, true, DriveType::NoRootDir, false},
    };
    for (const Case& c : cases) {
        SetUp();
        {
            auto key = Key();
            if (c.update) key->WriteDateTime("Update", *c.update);
            if (c.noUpdate) key->WriteString("NoUpdate", "");
            if (c.onlyUpdate) key->WriteString("OnlyUpdate", "1");
        }
        auto component = Component(Day(6, 7, 9), c.drive);
        component->AutomaticUpdate({}, c.manual, 0);
        EXPECT_EQ(WizardShown(), c.shown ? 1 : 0) << c.what;
        EXPECT_EQ(component->ExitRequested(), c.onlyUpdate) << c.what;
        EXPECT_EQ(component->OnlyUpdateRun(), c.onlyUpdate) << c.what;
        // The command line is recorded by every automatic start, whatever the drive.
        EXPECT_EQ(Key()->ValueExists("ApplicationFileName"), !c.manual) << c.what;
        if (!c.manual) {
            EXPECT_EQ(Key()->ReadString("ApplicationFileName"), "\"/opt/dorvanta/dorvanta\"");
        }
    }

    // Worked example: the program ends on 1 June with the interval 7 after a run
    // that found nothing new: "Update" is 7 June; 2 to 7 June do not prompt.
    SetUp();
    {
        auto component = Component(Day(6, 1, 18));
        TUpdateWizard& wizard = *component->UpdateWizard();
        wizard.RegistryKey = QStringLiteral("Dorvanta");
        wizard.Now = [] { return Day(6, 1, 18); };
        wizard.Pages->setCurrentIndex(3);  // left with "Beenden" on the no-update result
        wizard.Button_Cancel->setEnabled(false);
    }
    EXPECT_EQ(Key()->ReadDateTime("Update"), Day(6, 7));
    for (int day = 2; day <= 8; ++day) {
        Component(Day(6, day, 8))->AutomaticUpdate({}, false, 0);
        EXPECT_EQ(WizardShown(), day == 8 ? 1 : 0) << day;
    }

    // A packaged build: never at start, and Ctrl+U only names the package manager.
    for (const bool manual : {false, true}) {
        SetUp();
        auto component = Component(Day(6, 7));
        component->Packaged = true;
        component->AutomaticUpdate({}, manual, 0);
        const auto& asked = MessageService::Instance().Asked();
        ASSERT_EQ(asked.size(), manual ? 1u : 0u);
        if (manual) {
            EXPECT_EQ(asked[0].caption, "Updates");
            EXPECT_EQ(asked[0].text, "Dorvanta wird über die Paketverwaltung aktualisiert.");
            EXPECT_EQ(asked[0].icon, MsgIcon::Information);
        }
        EXPECT_FALSE(TSettingsStore(Hive::LocalMachine).KeyExists(std::string("\\") + kKey));
    }

    // Started to uninstall: nothing is read or written.
    SetUp();
    Component(Day(6, 7), DriveType::Fixed, {"/uninstall"})->AutomaticUpdate({}, false, 0);
    EXPECT_EQ(WizardShown(), 0);
    EXPECT_FALSE(TSettingsStore(Hive::LocalMachine).KeyExists(std::string("\\") + kKey));
}

// Without an update key nothing can be installed: the wizard never opens by itself,
// only on Ctrl+U or an update-only start.
TEST_F(UpdateScheduleTest, WithoutAnUpdateKeyTheWizardOpensOnlyOnRequest) {
    struct Case {
        const char* what;
        std::optional<double> update;  // the stored "Update" value
        bool onlyUpdate, manual;
        bool shownWithKey, shownWithout;
    };
    const Case cases[] = {
        {"first start", std::nullopt, false, false, true, false},
        {"due", Day(6, 6), false, false, true, false},
        {"not yet due", Day(6, 7), false, false, false, false},
        {"Ctrl+U", Day(6, 7), false, true, true, true},
        {"Ctrl+U on a first start", std::nullopt, false, true, true, true},
        {"update-only start", Day(12, 31), true, false, true, true},
    };
    for (const Case& c : cases) {
        for (const bool withKey : {true, false}) {
            SetUp();
            {
                auto key = Key();
                if (c.update) key->WriteDateTime("Update", *c.update);
                if (c.onlyUpdate) key->WriteString("OnlyUpdate", "1");
            }
            auto component = Component(Day(6, 7, 9));
            if (!withKey) component->UpdateWizard()->UpdateKey.clear();
            component->AutomaticUpdate({}, c.manual, 0);
            EXPECT_EQ(WizardShown(), (withKey ? c.shownWithKey : c.shownWithout) ? 1 : 0)
                << c.what << (withKey ? ", with key" : ", without key");
        }
    }
}

TEST_F(UpdateScheduleTest, SettingsPageStoresNeverOrTheInterval) {
    auto component = Component(Day(6, 7));
    TUpdateWizard& wizard = *component->UpdateWizard();
    wizard.RegistryKey = QStringLiteral("Dorvanta");
    wizard.Step = 2;
    wizard.Button_SettingsClick();
    EXPECT_EQ(wizard.Pages->currentIndex(), 6);
    EXPECT_TRUE(wizard.Button_Settings->isHidden());
    wizard.RadioButton_NoAutoUpdt->setChecked(true);
    wizard.Button_SettingsSaveClick();
    EXPECT_EQ(wizard.Pages->currentIndex(), 2);  // back to the same step
    EXPECT_TRUE(Key()->ValueExists("NoUpdate"));
    EXPECT_FALSE(Key()->ValueExists("UpdateInterval"));

    wizard.Button_SettingsClick();
    EXPECT_TRUE(wizard.RadioButton_NoAutoUpdt->isChecked());
    wizard.RadioButton_AutoUpdt->setChecked(true);
    wizard.SpinEdit_AutoUpdt->setValue(30);
    wizard.Button_SettingsSaveClick();
    EXPECT_FALSE(Key()->ValueExists("NoUpdate"));
    EXPECT_EQ(Key()->ReadInteger("UpdateInterval"), 30);
}

// The stored interval sets the due date written when the wizard is left without an
// update, and the settings page's value; missing or below a day, a week counts.
TEST_F(UpdateScheduleTest, TheStoredIntervalSetsTheDueDateAndThePage) {
    struct Row {
        std::optional<int> stored;
        int dueDay;  // of June, for a wizard left on 1 June
        int shown;   // on the settings page (its range starts at 1)
    } const rows[] = {
        {std::nullopt, 7, 7}, {1, 1, 1}, {30, 30, 30}, {0, 7, 1}, {-3, 7, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.stored.value_or(-99));
        SetUp();
        if (row.stored) Key()->WriteInteger("UpdateInterval", *row.stored);
        {
            auto component = Component(Day(6, 1, 18));
            TUpdateWizard& wizard = *component->UpdateWizard();
            wizard.RegistryKey = QStringLiteral("Dorvanta");
            wizard.Now = [] { return Day(6, 1, 18); };
            wizard.Button_SettingsClick();
            EXPECT_EQ(wizard.SpinEdit_AutoUpdt->value(), row.shown);
            EXPECT_TRUE(wizard.RadioButton_AutoUpdt->isChecked());
            wizard.Button_SettingsCancelClick();
            wizard.Pages->setCurrentIndex(3);  // left on the no-update result
            wizard.Button_Cancel->setEnabled(false);
        }
        EXPECT_EQ(Key()->ReadDateTime("Update"), Day(6, row.dueDay));
        EXPECT_EQ(Key()->ValueExists("UpdateInterval"), row.stored.has_value());
    }
}

}  // namespace
}  // namespace dorvanta
