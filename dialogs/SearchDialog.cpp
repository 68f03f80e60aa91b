#include "dialogs/SearchDialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>

#include "mainwindow/MainWindow.h"
#include "platform/Cp1252Validator.h"
#include "platform/MessageService.h"
#include "platform/TextConv.h"

namespace dorvanta {

// Placed by the base: over the main window at first, later where the closing left it.
TForm4::TForm4(TForm1& owner)
    : TFixedDialog(&owner, QSize(kNarrowWidth, kClientHeight)), owner_(owner) {
    setWindowTitle(QStringLiteral("Suchen"));
    setModal(false);

    auto* label = new QLabel(QStringLiteral("Suchen &nach:"), this);
    label->setGeometry(8, 10, 78, 17);
    Edit_SearchFor = new QLineEdit(this);
    Edit_SearchFor->setGeometry(88, 8, 177, 21);
    RestrictToCp1252(Edit_SearchFor);
    label->setBuddy(Edit_SearchFor);

    GroupBox1 = new QGroupBox(QStringLiteral("Suchen &in"), this);
    GroupBox1->setGeometry(8, 34, 257, 64);
    CheckBox_SubKeys = new QCheckBox(QStringLiteral("Unterrubriknamen"), GroupBox1);
    CheckBox_SubKeys->setGeometry(10, 18, 122, 19);
    CheckBox_Titles = new QCheckBox(QStringLiteral("Titel der Einträge"), GroupBox1);
    CheckBox_Titles->setGeometry(134, 18, 120, 19);
    CheckBox_Values = new QCheckBox(QStringLiteral("Werte"), GroupBox1);
    CheckBox_Values->setGeometry(10, 40, 122, 19);
    CheckBox_Info = new QCheckBox(QStringLiteral("Info"), GroupBox1);
    CheckBox_Info->setGeometry(134, 40, 120, 19);
    CheckBox_Titles->setChecked(true);
    CheckBox_Values->setChecked(true);
    CheckBox_Info->setChecked(true);

    CheckBox_Exact = new QCheckBox(QStringLiteral("&Groß-/Kleinschreibung"), this);
    CheckBox_Exact->setGeometry(8, 104, 170, 19);
    CheckBox_Wildcard = new QCheckBox(QStringLiteral("Platz&halter (*; ?)"), this);
    CheckBox_Wildcard->setGeometry(8, 126, 170, 19);
    CheckBox_Wildcard->setChecked(true);

    Button_Search = new QPushButton(QStringLiteral("&Suchen"), this);
    Button_Search->setGeometry(186, 102, 79, 23);
    Button_Search->setDefault(true);
    Button_Search->setEnabled(false);
    Button_Close = new QPushButton(QStringLiteral("Sch&ließen"), this);
    Button_Close->setGeometry(186, 126, 79, 23);
    Button_Close->setAutoDefault(false);

    GroupBox2 = new QGroupBox(QStringLiteral("Suchergebnisse"), this);
    GroupBox2->setGeometry(280, 8, 329, 137);
    ListView_Results = new QTreeWidget(GroupBox2);
    ListView_Results->setGeometry(16, 24, 297, 102);
    ListView_Results->setColumnCount(2);
    ListView_Results->setHeaderLabels({QStringLiteral("Quelle"), QStringLiteral("Wert")});
    ListView_Results->setRootIsDecorated(false);
    ListView_Results->setUniformRowHeights(true);
    ListView_Results->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView_Results->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView_Results->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView_Results->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    ListView_Results->header()->setStretchLastSection(false);

    connect(Edit_SearchFor, &QLineEdit::textChanged, this,
            [this](const QString& text) { Button_Search->setEnabled(!text.isEmpty()); });
    connect(Button_Search, &QPushButton::clicked, this, [this] { Button_SearchClick(); });
    // Escape and the close box end in reject(), which runs FormClose through done().
    connect(Button_Close, &QPushButton::clicked, this, &QDialog::reject);
    connect(ListView_Results, &QTreeWidget::itemClicked, this, [this] { ListView_ResultsClick(); });
    // A row becoming selected, by mouse or keyboard; losing the selection does nothing.
    connect(ListView_Results, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current) {
                if (current) ListView_ResultsClick();
            });

    setTabOrder(Edit_SearchFor, CheckBox_SubKeys);
    setTabOrder(CheckBox_SubKeys, CheckBox_Titles);
    setTabOrder(CheckBox_Titles, CheckBox_Values);
    setTabOrder(CheckBox_Values, CheckBox_Info);
    setTabOrder(CheckBox_Info, CheckBox_Exact);
    setTabOrder(CheckBox_Exact, Button_Close);
    setTabOrder(Button_Close, Button_Search);
    setTabOrder(Button_Search, CheckBox_Wildcard);
    setTabOrder(CheckBox_Wildcard, ListView_Results);
}

void TForm4::SetClientWidth(int width) {
    setFixedSize(width, kClientHeight);
}

void TForm4::Open() {
    show();
    raise();
    activateWindow();
    Edit_SearchFor->setFocus();
}

void TForm4::ClearSearch() {
    ListView_Results->clear();
    results_.clear();
}

void TForm4::AddRow(const TSearchHit& hit) {
    auto* item = new QTreeWidgetItem(ListView_Results);
    item->setText(0, QString::fromUtf8(kSourceNames[static_cast<int>(hit.Source)]));
    item->setText(1, ToQString(HitText(owner_.Document(), hit)));
}

void TForm4::Button_SearchClick() {
    ClearSearch();
    const auto text = FromQString(Edit_SearchFor->text());
    if (!text || text->empty()) return;
    TSearchOptions options;
    options.Names = CheckBox_SubKeys->isChecked();
    options.Titles = CheckBox_Titles->isChecked();
    options.Values = CheckBox_Values->isChecked();
    options.Info = CheckBox_Info->isChecked();
    options.Exact = CheckBox_Exact->isChecked();
    options.Wildcard = CheckBox_Wildcard->isChecked();
    std::vector<TSearchHit> hits;
    try {
        SearchDocument(owner_.Document(), *text, options, hits);
    } catch (...) {
        // A malformed mask ends the search; the rows found before it stay.
        results_ = std::move(hits);
        for (const TSearchHit& hit : results_) AddRow(hit);
        throw;
    }
    results_ = std::move(hits);
    const QSignalBlocker block(ListView_Results);
    for (const TSearchHit& hit : results_) AddRow(hit);
    if (results_.empty()) {
        MessageService::Instance().Message(
            QStringLiteral("Die Suche hat keine Ergebnisse geliefert."),
            QStringLiteral("Keine Suchergebnisse"), MsgIcon::Information);
        return;
    }
    for (int column = 0; column < 2; ++column) ListView_Results->resizeColumnToContents(column);
    SetClientWidth(kWideWidth);
    // Widened past the screen's right edge: move left; the top stays.
    if (const QScreen* screen = this->screen()) {
        const int screenWidth = screen->geometry().width();
        const int outer = frameGeometry().width();
        if (x() + outer > screenWidth) move(screenWidth - outer, y());
    }
}

void TForm4::ListView_ResultsClick() {
    QTreeWidgetItem* item = ListView_Results->currentItem();
    if (!item || !item->isSelected()) return;
    const int row = ListView_Results->indexOfTopLevelItem(item);
    if (row < 0 || row >= static_cast<int>(results_.size())) return;
    const TSearchHit hit = results_[static_cast<std::size_t>(row)];
    // Rows are cleared whenever the document changes under them; this guard keeps
    // a row from ever reaching outside the document all the same.
    const auto& keys = owner_.Document().Keys;
    if (hit.KeyIndex < 0 || hit.KeyIndex >= static_cast<int>(keys.size())) return;
    if (hit.DataIndex >= static_cast<int>(keys[hit.KeyIndex].Data.size())) return;
    owner_.SelectKeyRow(hit.KeyIndex);
    owner_.ListBox_KeysClick();
    if (hit.DataIndex >= 0) owner_.SelectEntryRow(hit.DataIndex);
}

void TForm4::done(int result) {
    FormClose();
    TFixedDialog::done(result);
}

void TForm4::FormClose() {
    ClearSearch();
    Edit_SearchFor->clear();
    SetClientWidth(kNarrowWidth);
    // Centred horizontally on the main window again; the top stays.
    const QRect main = owner_.frameGeometry();
    const int outer = frameGeometry().width();
    move(main.x() + (main.width() - outer) / 2, y());
}

}  // namespace dorvanta
