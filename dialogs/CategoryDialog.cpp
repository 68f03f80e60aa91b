#include "dialogs/CategoryDialog.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "platform/Application.h"
#include "platform/Cp1252Validator.h"
#include "platform/FreedMemory.h"
#include "platform/TextConv.h"
#include "session/DocumentSession.h"

namespace dorvanta {

TCategoryDialog::TCategoryDialog(QWidget* parent, TDocumentSession& session)
    : TFixedDialog(parent, QSize(225, 112)), session_(session) {
    Label1 = new QLabel(QStringLiteral("&Rubrik:"), this);
    Label1->setGeometry(8, 8, 60, 21);
    ComboBox_Key = new QComboBox(this);
    ComboBox_Key->setEditable(true);
    ComboBox_Key->setInsertPolicy(QComboBox::NoInsert);
    ComboBox_Key->setDuplicatesEnabled(true);
    // The parent is stored exactly as typed: Qt's inline completion would replace
    // "bank" by a listed "Bank" when the field loses focus or Enter is pressed.
    ComboBox_Key->setCompleter(nullptr);
    ComboBox_Key->setGeometry(64, 8, 153, 21);
    RestrictToCp1252(ComboBox_Key);
    Label1->setBuddy(ComboBox_Key);

    auto* titleLabel = new QLabel(QStringLiteral("&Titel:"), this);
    titleLabel->setGeometry(8, 40, 60, 21);
    Edit_Title = new QLineEdit(this);
    Edit_Title->setGeometry(64, 40, 153, 21);
    RestrictToCp1252(Edit_Title);
    titleLabel->setBuddy(Edit_Title);

    auto* bevel = new QFrame(this);
    bevel->setFrameShape(QFrame::HLine);
    bevel->setFrameShadow(QFrame::Sunken);
    bevel->setGeometry(8, 70, 209, 2);

    Button_Cancel = new QPushButton(QStringLiteral("Ab&brechen"), this);
    Button_Cancel->setGeometry(64, 80, 75, 25);
    Button_OK = new QPushButton(QStringLiteral("&OK"), this);
    Button_OK->setGeometry(142, 80, 75, 25);
    Button_OK->setDefault(true);
    Button_OK->setAutoDefault(true);
    Button_Cancel->setAutoDefault(false);
    connect(Button_OK, &QPushButton::clicked, this, Guarded([this] { Button_OKClick(); }));
    connect(Button_Cancel, &QPushButton::clicked, this, &QDialog::reject);

    setTabOrder(ComboBox_Key, Edit_Title);
    setTabOrder(Edit_Title, Button_Cancel);
    setTabOrder(Button_Cancel, Button_OK);
}

void TCategoryDialog::showEvent(QShowEvent* event) {
    FormShow();
    TFixedDialog::showEvent(event);
}

void TCategoryDialog::FormShow() {
    const TDocument& doc = session_.Document();
    const auto& keys = doc.Keys;
    ComboBox_Key->clear();
    ComboBox_Key->setEditText(QString());
    const bool editing = Tag >= 0 && Tag < static_cast<int>(keys.size());
    if (!editing) {
        setWindowTitle(QStringLiteral("Neue Rubrik erstellen"));
        Edit_Title->clear();
    } else {
        setWindowTitle(QStringLiteral("Rubrik bearbeiten"));
        Edit_Title->setText(ToQString(keys[Tag].Name));
    }
    // Each parent once, in key order; spellings that differ only in case count as one.
    // The keys after a group's first share its parent: only group starts can add one.
    for (std::size_t k = 0; k < keys.size(); ++k) {
        if (!doc.IsGroupStart(static_cast<std::int32_t>(k))) continue;
        const QString parent = ToQString(keys[k].Parent);
        if (ComboBox_Key->findText(parent, Qt::MatchFixedString) < 0) ComboBox_Key->addItem(parent);
    }
    if (editing) {
        ComboBox_Key->setCurrentIndex(-1);
        ComboBox_Key->setEditText(ToQString(keys[Tag].Parent));
    } else {
        ComboBox_Key->setCurrentIndex(-1);
        ComboBox_Key->setEditText(QString());
    }
    if (ParentFrom >= 0 && ParentFrom < static_cast<int>(keys.size())) {
        ComboBox_Key->setEditText(ToQString(keys[ParentFrom].Parent));
    }
    ComboBox_Key->setFocus();
}

void TCategoryDialog::Button_OKClick() {
    const TDocument& doc = session_.Document();
    const std::string parent = FromQString(ComboBox_Key->currentText()).value_or(std::string());
    const std::string name = FromQString(Edit_Title->text()).value_or(std::string());
    // The category list refills itself and selects the key (KeysChanged).
    if (Tag >= 0 && Tag < static_cast<int>(doc.Keys.size())) {
        session_.UpdateKey(Tag, parent, name);
    } else {
        session_.AddKey(parent, name);
    }
    accept();
}

void TCategoryDialog::Forget() {
    ForgetItems(ComboBox_Key);
    ForgetText(Edit_Title);
}

}  // namespace dorvanta
