#pragma once
// The main window on a session of its own, shown headless, which the window and
// dialog tests share: every question goes through the message service's queue.

#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

#include "dialogs/SearchDialog.h"
#include "mainwindow/CategoryPane.h"
#include "mainwindow/ClipboardOptions.h"
#include "mainwindow/DialogCommands.h"
#include "mainwindow/EntryPane.h"
#include "mainwindow/MainWindow.h"
#include "platform/MessageService.h"
#include "platform/Settings.h"
#include "platform/SettingsKeys.h"
#include "session/DocumentSession.h"
#include "support/Named.h"

namespace dorvanta::testing {

class MainWindowFixture : public ::testing::Test {
  protected:
    // `freshSettings`: the window starts from empty settings; `settle`: the events
    // of the first show run, and what the start logged (the update wizard) is forgotten.
    void StartWindow(bool freshSettings = true, bool settle = true,
                     const QStringList& arguments = {}) {
        Messages().ClearLog();
        if (freshSettings) {
            TSettingsStore(Hive::CurrentUser).DeleteKey(std::string("\\") + settings::kProgramKey);
        }
        NewWindow(arguments);
        form_->show();
        if (settle) {
            QApplication::processEvents();
            Messages().ClearLog();
        }
    }
    void SetUp() override { StartWindow(); }
    // Another start of the program: a new session and a new window (not shown).
    // As when a second copy starts, the former window closes (and writes its
    // settings) only after the new one has read them.
    void NewWindow(const QStringList& arguments = {}) {
        auto session = std::make_unique<TDocumentSession>();
        auto window = std::make_unique<TMainWindow>(*session, arguments);
        form_ = std::move(window);
        session_ = std::move(session);
    }
    // `checkAnswered`: every question the test caused had an answer queued.
    void CloseWindow(bool checkAnswered = true) {
        if (session_) session_->Document().Modified = false;
        form_.reset();
        if (checkAnswered) {
            EXPECT_TRUE(Unanswered().isEmpty()) << Unanswered().toStdString();
        }
    }
    void TearDown() override { CloseWindow(); }

    // Shows `keys` as if they had been loaded, the first row unselected.
    void ShowKeys(const std::vector<TDataKey>& keys) {
        Doc().Keys = keys;
        form_->CategoryPane().UpdtListBox(true, {});
        form_->CategoryPane().ListBox_KeysClick();
    }

    static MessageService& Messages() { return MessageService::Instance(); }
    TMainWindow& Form() { return *form_; }
    TDocumentSession& Session() { return *session_; }
    TDocument& Doc() { return session_->Document(); }

    // Questions that found no queued answer.
    static QString Unanswered() {
        QString out;
        for (const auto& q : Messages().Asked()) {
            if (!q.answered) out += q.caption + ": " + q.text + "\n";
        }
        return out;
    }

    // Declared first: the window goes before the session it shows.
    std::unique_ptr<TDocumentSession> session_;
    std::unique_ptr<TMainWindow> form_;
};

}  // namespace dorvanta::testing
