#include "dialogs/ImportDialog.h"

#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "platform/Application.h"
#include "platform/Cp1252Validator.h"
#include "platform/MessageService.h"
#include "platform/TextConv.h"
#include "session/DocumentSession.h"
#include "store/Import.h"

namespace dorvanta {

const char* const kMsgNoSubCategory =
    "Es ist keine Unterrubrik ausgewählt. Wählen Sie zuerst in der Rubrikliste die "
    "Unterrubrik aus, in die die Einträge importiert werden sollen.";

namespace {

const QString kInvalidData = QStringLiteral("Ungültige oder unvollständige Angaben");

}  // namespace

TImportDialog::TImportDialog(QWidget* parent, TDocumentSession& session)
    : TFixedDialog(parent, QSize(338, 271)), session_(session) {
    setWindowTitle(QStringLiteral("Einträge importieren"));
    // This dialog keeps its own typeface, Arial at 8 points.
    QFont arial(QStringLiteral("Arial"));
    arial.setPointSize(8);
    setFont(arial);

    GroupBox1 = new QGroupBox(QStringLiteral("&Quelle"), this);
    GroupBox1->setGeometry(8, 8, 322, 52);
    Edit_File = new QLineEdit(GroupBox1);
    Edit_File->setGeometry(12, 20, 270, 21);
    Button_Search = new QPushButton(QStringLiteral("..."), GroupBox1);
    Button_Search->setGeometry(286, 20, 24, 21);
    Button_Search->setAutoDefault(false);

    GroupBox2 = new QGroupBox(QStringLiteral("&Format"), this);
    GroupBox2->setGeometry(8, 66, 322, 164);
    Label1 = new QLabel(QStringLiteral("&Trennungszeichen zwischen Titel, Wert und Information:"),
                        GroupBox2);
    Label1->setWordWrap(true);
    Label1->setGeometry(12, 18, 298, 28);
    RadioButton_Tab = new QRadioButton(QStringLiteral("Tabulator (#9)"), GroupBox2);
    RadioButton_Tab->setGeometry(12, 48, 200, 19);
    RadioButton_Space = new QRadioButton(QStringLiteral("Leerzeichen (#32)"), GroupBox2);
    RadioButton_Space->setGeometry(12, 68, 200, 19);
    RadioButton_OtherChar = new QRadioButton(QStringLiteral("Anderes Zeichen:"), GroupBox2);
    RadioButton_OtherChar->setGeometry(12, 88, 200, 19);
    Edit_OtherChar = new QLineEdit(GroupBox2);
    Edit_OtherChar->setGeometry(30, 108, 28, 21);
    Edit_OtherChar->setMaxLength(1);
    RestrictToCp1252(Edit_OtherChar);
    Label1->setBuddy(RadioButton_Tab);
    Label2 = new QLabel(
        QStringLiteral("Die einzelnen Einträge müssen durch Zeilenumbrüche getrennt sein."),
        GroupBox2);
    Label2->setWordWrap(true);
    Label2->setGeometry(12, 132, 298, 28);

    Button_OK = new QPushButton(QStringLiteral("&OK"), this);
    Button_OK->setGeometry(174, 238, 75, 25);
    Button_OK->setDefault(true);
    Button_Cancel = new QPushButton(QStringLiteral("Ab&brechen"), this);
    Button_Cancel->setGeometry(255, 238, 75, 25);
    Button_Cancel->setAutoDefault(false);

    connect(Button_Search, &QPushButton::clicked, this, Guarded([this] { Button_SearchClick(); }));
    for (QRadioButton* radio : {RadioButton_Tab, RadioButton_Space, RadioButton_OtherChar}) {
        connect(radio, &QRadioButton::toggled, this, Guarded([this] { RadioButtonClick(); }));
    }
    connect(Button_OK, &QPushButton::clicked, this, Guarded([this] { Button_OKClick(); }));
    connect(Button_Cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TImportDialog::showEvent(QShowEvent* event) {
    FormShow();
    TFixedDialog::showEvent(event);
}

// Every showing starts from the same settings, whatever the last import used.
void TImportDialog::FormShow() {
    Edit_File->clear();
    RadioButton_Tab->setChecked(true);
    RadioButtonClick();
    Edit_OtherChar->setText(QStringLiteral("?"));
    Edit_File->setFocus();
}

void TImportDialog::Button_SearchClick() {
    const auto path = MessageService::Instance().OpenFileName(
        this, QStringLiteral("Öffnen"), QStringLiteral("Textdateien (*.txt);;Alle Dateien (*)"),
        QString(), Edit_File->text());
    if (path) Edit_File->setText(*path);
}

void TImportDialog::RadioButtonClick() {
    Edit_OtherChar->setEnabled(RadioButton_OtherChar->isChecked());
}

void TImportDialog::Button_OKClick() {
    QString message;
    if (!QFileInfo(Edit_File->text()).isFile()) {
        message = QStringLiteral("Die angegebene Quelldatei existiert nicht.");
    } else if (RadioButton_OtherChar->isChecked() && Edit_OtherChar->text().isEmpty()) {
        message = QStringLiteral("Sie müssen ein Trennungszeichen angeben.");
    } else if (session_.SelectedKeyRow() < 0) {
        message = QString::fromUtf8(kMsgNoSubCategory);
    }
    if (!message.isEmpty()) {
        MessageService::Instance().Message(message, kInvalidData, MsgIcon::Warning);
        return;
    }
    char separator = '\t';
    if (RadioButton_Space->isChecked()) {
        separator = ' ';
    } else if (RadioButton_OtherChar->isChecked()) {
        separator = FromQString(Edit_OtherChar->text()).value_or(std::string("?")).front();
    }
    // A file that cannot be read raises its error here, before the document changes;
    // the lists and the search hits follow the session's news.
    session_.ImportEntries(session_.SelectedKeyRow(), Edit_File->text().toStdString(), separator);
    accept();
}

}  // namespace dorvanta
