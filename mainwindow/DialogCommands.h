#pragma once
// The window's dialogs that work on the whole collection or the program:
// search, import, settings and info. Made once, in this order, and hidden
// between uses.

#include <QObject>

class QWidget;

namespace dorvanta {

class TAboutBox;
class TDocumentSession;
class TImportDialog;
class TSearchDialog;
class TSecretClipboard;
class TSettingsDialog;
class TSettingsStore;

class TDialogCommands : public QObject {
    Q_OBJECT
  public:
    // `window`: the dialogs' owner; `settings`: the open settings key, if any.
    TDialogCommands(QWidget* window, TDocumentSession& session, TSettingsStore* settings,
                    TSecretClipboard& clipboard);
    // The search dialog's list reads the document as it goes (a view may still lay
    // itself out while it is taken down), so it goes before the document does.
    ~TDialogCommands() override;

    void MenuItem_SearchClick();
    void EintrgefrUnterrubrikimportieren1Click();
    void MenuItem_SettingsClick();
    void MenuItem_InfoClick();
    // Hides the search dialog if it is open.
    void CloseSearchDialog();
    bool Searching() const;
    void StopSearch();
    // Drops the search's hits, which hold texts of the collection.
    void ForgetSearch();

    TSearchDialog* SearchDialog() const { return search_; }
    TSettingsDialog* SettingsDialog() const { return settings_; }
    TImportDialog* ImportDialog() const { return import_; }
    TAboutBox* AboutBox() const { return about_; }

  signals:
    // A search has ended (stopped or not).
    void SearchEnded();

  private:
    TDocumentSession& session_;
    TSettingsDialog* settings_ = nullptr;
    TSearchDialog* search_ = nullptr;
    TAboutBox* about_ = nullptr;
    TImportDialog* import_ = nullptr;
};

}  // namespace dorvanta
