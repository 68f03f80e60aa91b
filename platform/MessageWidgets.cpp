#include "platform/MessageWidgets.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QTextStream>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>
#include <iterator>
#include <utility>

#include "platform/Cp1252Validator.h"
#include "platform/FreedMemory.h"
#include "platform/GermanFormat.h"

namespace dorvanta {
namespace {

QMessageBox::ButtonRole RoleOf(MsgButton button) {
    switch (button) {
        case MsgButton::Cancel:
        case MsgButton::Abort:
            return QMessageBox::RejectRole;
        case MsgButton::Yes:
            return QMessageBox::YesRole;
        case MsgButton::No:
            return QMessageBox::NoRole;
        case MsgButton::Ok:
        case MsgButton::Retry:
        case MsgButton::Ignore:
            break;
    }
    return QMessageBox::AcceptRole;
}

QMessageBox::Icon ToQtIcon(MsgIcon icon) {
    switch (icon) {
        case MsgIcon::Information:
            return QMessageBox::Information;
        case MsgIcon::Warning:
            return QMessageBox::Warning;
        case MsgIcon::Error:
            return QMessageBox::Critical;
        case MsgIcon::Question:
            return QMessageBox::Question;
        case MsgIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

QWidget* DialogParent() {
    return QApplication::activeWindow();
}

// Qt's file list formats sizes and dates by the system locale (LANG=C: "14 bytes",
// "8 Dec 2026"), which QLocale::setDefault does not reach; these columns are German.
class TLocaleFileColumns : public QIdentityProxyModel {
  public:
    using QIdentityProxyModel::QIdentityProxyModel;
    QVariant data(const QModelIndex& index, int role) const override {
        auto* files = qobject_cast<QFileSystemModel*>(sourceModel());
        if (role == Qt::DisplayRole && files && index.isValid() &&
            (index.column() == kSizeColumn || index.column() == kDateColumn)) {
            const QModelIndex source = mapToSource(index);
            if (index.column() == kDateColumn) {
                return GermanShortDateTime(files->lastModified(source));
            }
            if (files->isDir(source)) return QString();
            return GermanLocale().formattedDataSize(files->size(source));
        }
        return QIdentityProxyModel::data(index, role);
    }

  private:
    static constexpr int kSizeColumn = 1;
    static constexpr int kDateColumn = 3;
};

// Qt sizes the list's columns for "128.88 GB" and "10/29/81 02:02PM" in a
// dialog too narrow for them; German sizes ("940,43 KiB") were cut to "941…tes".
// Each column gets room for its header and a long usual text, the dialog room
// for all of them beside the side bar.
void FitFileColumns(QFileDialog& dialog) {
    auto* view = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
    if (!view) return;  // a native dialog sizes itself
    QHeaderView* header = view->header();
    const QFontMetrics metrics = view->fontMetrics();
    const QString samples[] = {
        QString(30, u'w'),
        GermanLocale().formattedDataSize(qint64{1023} * 1024 * 1024 - 1),
        QStringLiteral("Einfaches Textdokument"),  // the longest common type
        GermanShortDateTime(QDateTime(QDate(2028, 12, 28), QTime(23, 59))),
    };
    // Cell padding, the sort indicator, and the icon before a name.
    const int padding = 4 * metrics.averageCharWidth();
    int columns = 0;
    for (int i = 0; i < header->count() && i < int(std::size(samples)); ++i) {
        int width = metrics.horizontalAdvance(samples[i]) + padding;
        if (i == 0) width += view->iconSize().width() + view->indentation();
        width = std::max(width, header->sectionSizeHint(i) + padding);
        header->resizeSection(i, width);
        columns += width;
    }
    const QWidget* sideBar = dialog.findChild<QWidget*>(QStringLiteral("sidebar"));
    const int sideBarWidth = sideBar ? sideBar->sizeHint().width() : 0;
    // Frames, margins, the splitter handle and a vertical scroll bar.
    const int chrome = 4 * dialog.style()->pixelMetric(QStyle::PM_LayoutLeftMargin) +
                       dialog.style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 16;
    dialog.resize(std::max(700, columns + sideBarWidth + chrome), std::max(450, dialog.height()));
}

// For the end-to-end test: every folder the dialog has read is appended to the
// file at `logPath` as its list shows it, one row a line, columns tab-separated.
void LogFileList(QFileDialog& dialog, const QString& logPath) {
    QAbstractProxyModel* shown = dialog.proxyModel();
    auto* files = shown ? qobject_cast<QFileSystemModel*>(shown->sourceModel()) : nullptr;
    if (!files) return;
    QObject::connect(files, &QFileSystemModel::directoryLoaded, &dialog,
                     [&dialog, shown, files, logPath](const QString& folder) {
                         // The rows come in queued updates; read them once those are in.
                         QTimer::singleShot(50, &dialog, [shown, files, folder, logPath] {
                             const QModelIndex root = shown->mapFromSource(files->index(folder));
                             QFile log(logPath);
                             if (!log.open(QIODevice::Append | QIODevice::Text)) return;
                             QTextStream out(&log);
                             for (int row = 0; row < shown->rowCount(root); ++row) {
                                 QStringList cells;
                                 for (int column = 0; column < shown->columnCount(root); ++column) {
                                     cells << shown->index(row, column, root).data().toString();
                                 }
                                 out << folder << '\t' << cells.join(QLatin1Char('\t')) << '\n';
                             }
                         });
                     });
}

// A labelled one-line field of an input box. Every text the program asks for
// but a passphrase ends up in a Windows-1252 file or setting, so the field takes
// no other unless `anyText`.
QLineEdit* AddField(QDialog& dialog, QVBoxLayout& layout, const QString& prompt, int maxLength,
                    bool anyText = false) {
    auto* label = new QLabel(prompt, &dialog);
    auto* edit = new QLineEdit(&dialog);
    if (maxLength > 0) edit->setMaxLength(maxLength);
    if (!anyText) RestrictToCp1252(edit);
    label->setBuddy(edit);
    layout.addWidget(label);
    layout.addWidget(edit);
    return edit;
}

// "OK" (the default) and "Abbrechen" under an input box.
void AddOkCancel(QDialog& dialog, QVBoxLayout& layout) {
    auto* buttons = new QDialogButtonBox(&dialog);
    buttons->addButton(ButtonCaption(MsgButton::Ok), QDialogButtonBox::AcceptRole)
        ->setDefault(true);
    buttons->addButton(ButtonCaption(MsgButton::Cancel), QDialogButtonBox::RejectRole);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout.addWidget(buttons);
    dialog.setMinimumWidth(350);
}

// A file dialog whose save with several types writes to the name the type
// chosen gives it (NameForFileType). Qt swaps only the last suffix when the type
// changes ("x.pdt" becomes "x.age" under "*.pdt.age"), so the name is set right
// before Qt's own accept, and its overwrite question is asked for that name.
class TTypedFileDialog : public QFileDialog {
  public:
    TTypedFileDialog(QWidget* parent, const QString& caption, const QString& folder,
                     const QString& filter, bool typed)
        : QFileDialog(parent, caption, folder, filter), typed_(typed) {}

    // The name the dialog holds, as it is to be written.
    QString ChosenFile() const {
        const QString file = selectedFiles().value(0);
        if (!typed_ || file.isEmpty() || QFileInfo(file).isDir()) return file;
        return NameForFileType(file, nameFilters().join(QStringLiteral(";;")),
                               selectedNameFilter());
    }

  protected:
    void accept() override {
        const QString file = selectedFiles().value(0);
        const QString chosen = ChosenFile();
        if (acceptMode() == AcceptSave && chosen != file) {
            // The field may have the focus, where selectFile does not write.
            if (auto* edit = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
                edit->setText(chosen);
            } else {
                selectFile(chosen);
            }
        }
        QFileDialog::accept();
    }

  private:
    const bool typed_;
};

}  // namespace

void ShowMessageBox(AskedQuestion& question) {
    QMessageBox box(ToQtIcon(question.icon), question.caption, question.text, QMessageBox::NoButton,
                    DialogParent());
    std::vector<std::pair<QAbstractButton*, MsgButton>> made;
    for (MsgButton button : question.buttons) {
        QPushButton* pushButton = box.addButton(ButtonCaption(button), RoleOf(button));
        made.emplace_back(pushButton, button);
        if (button == question.defaultButton) box.setDefaultButton(pushButton);
        if (button == question.escapeButton) box.setEscapeButton(pushButton);
    }
    box.exec();
    question.answer = question.escapeButton;  // the close box answers like Escape
    for (const auto& [pushButton, button] : made) {
        if (box.clickedButton() == pushButton) question.answer = button;
    }
    question.answered = true;
}

void ShowChoiceBox(AskedQuestion& question) {
    QMessageBox box(ToQtIcon(question.icon), question.caption, question.text, QMessageBox::NoButton,
                    DialogParent());
    std::vector<QPushButton*> made;
    for (int i = 0; i < question.choices.size(); ++i) {
        // One role for all but the Escape answer keeps the buttons in the order given.
        QPushButton* pushButton = box.addButton(question.choices[i], i == question.escapeChoice
                                                                         ? QMessageBox::RejectRole
                                                                         : QMessageBox::AcceptRole);
        made.push_back(pushButton);
        if (i == question.defaultChoice) box.setDefaultButton(pushButton);
        if (i == question.escapeChoice) box.setEscapeButton(pushButton);
    }
    box.exec();
    for (std::size_t i = 0; i < made.size(); ++i) {
        if (box.clickedButton() == made[i]) question.choice = static_cast<int>(i);
    }
    question.answered = true;
}

void ShowInputBox(AskedQuestion& question) {
    QDialog dialog(DialogParent());
    dialog.setWindowTitle(question.caption);
    auto* layout = new QVBoxLayout(&dialog);
    QLineEdit* edit = AddField(dialog, *layout, question.text, question.maxLength);
    edit->setText(question.initial);
    if (question.password) edit->setEchoMode(QLineEdit::Password);
    edit->selectAll();
    AddOkCancel(dialog, *layout);
    if (dialog.exec() == QDialog::Accepted) question.textAnswer = edit->text();
    // The answer is the caller's now; the field's copy goes (it may be a password).
    ForgetText(edit);
    question.answered = true;
}

void ShowPassphraseBox(AskedQuestion& question) {
    QDialog dialog(DialogParent());
    dialog.setWindowTitle(question.caption);
    auto* layout = new QVBoxLayout(&dialog);
    std::vector<QLineEdit*> fields{
        AddField(dialog, *layout, question.text, question.maxLength, true)};
    if (question.repeat) {
        fields.push_back(AddField(dialog, *layout, QStringLiteral("Passwort wiederholen"),
                                  question.maxLength, true));
    }
    for (QLineEdit* field : fields) field->setEchoMode(QLineEdit::Password);
    auto* show = new QCheckBox(QStringLiteral("Passwort anzeigen"), &dialog);
    QObject::connect(show, &QCheckBox::toggled, &dialog, [fields](bool shown) {
        for (QLineEdit* field : fields) {
            field->setEchoMode(shown ? QLineEdit::Normal : QLineEdit::Password);
        }
    });
    layout->addWidget(show);
    AddOkCancel(dialog, *layout);
    if (dialog.exec() == QDialog::Accepted) {
        question.textAnswer = fields.front()->text();
        if (question.repeat) question.repeatAnswer = fields.back()->text();
    }
    for (QLineEdit* field : fields) ForgetText(field);
    question.answered = true;
}

void ShowFileDialog(AskedQuestion& question, QWidget* parent, const QString& initialFilter,
                    QString* selectedFilter, const QString& fileListLogPath) {
    const bool save = question.kind == AskedQuestion::Kind::SaveFile;
    const QString defaultSuffix = question.defaultSuffix;
    TTypedFileDialog dialog(parent ? parent : DialogParent(), question.caption, question.initial,
                            question.filter, save && selectedFilter);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // Open wants an existing file; Save asks before replacing one (Qt's default).
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(defaultSuffix);
    dialog.setLabelText(QFileDialog::LookIn, QStringLiteral("Suchen in:"));
    dialog.setLabelText(QFileDialog::FileName, QStringLiteral("Dateiname:"));
    dialog.setLabelText(QFileDialog::FileType, QStringLiteral("Dateityp:"));
    dialog.setLabelText(QFileDialog::Accept,
                        save ? QStringLiteral("&Speichern") : QStringLiteral("Ö&ffnen"));
    dialog.setLabelText(QFileDialog::Reject, ButtonCaption(MsgButton::Cancel));
    if (!initialFilter.isEmpty()) dialog.selectNameFilter(initialFilter);
    dialog.setProxyModel(new TLocaleFileColumns(&dialog));
    FitFileColumns(dialog);
    if (!fileListLogPath.isEmpty()) LogFileList(dialog, fileListLogPath);
    // Each file type brings its own suffix for a name typed without one.
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                     [&dialog, &defaultSuffix](const QString& type) {
                         const QString suffix = SuffixOfFilter(type);
                         dialog.setDefaultSuffix(suffix.isEmpty() ? defaultSuffix : suffix);
                     });
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        question.textAnswer = dialog.ChosenFile();
        if (selectedFilter) *selectedFilter = dialog.selectedNameFilter();
    }
    question.answered = true;
}

}  // namespace dorvanta
