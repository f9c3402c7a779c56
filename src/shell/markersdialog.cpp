#include "markersdialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "commands.h"
#include "shelltexts.h"
#include "timetext.h"
#include "waveview.h"
#include "wavfile.h"

TMarkersDialog::TMarkersDialog(QWidget* parent, TCommands& commands, Twavefile& document,
                               TWaveView& view)
    : QDialog(parent), commands_(commands), document_(document), view_(view) {
    setObjectName(QStringLiteral("MarkersDialog"));
    setWindowTitle(MsgText("markerstitle"));
    table_ = new QTableWidget(0, 3, this);
    table_->setObjectName(QStringLiteral("MarkerTable"));
    table_->setHorizontalHeaderLabels(
        {MsgText("markertime"), MsgText("markername"), MsgText("markerlength")});
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    delete_ = buttons->addButton(MsgText("markerdelete"), QDialogButtonBox::ActionRole);
    delete_->setObjectName(QStringLiteral("DeleteMarker"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table_);
    layout->addWidget(buttons);
    resize(460, 320);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(delete_, &QPushButton::clicked, this, [this] { DeleteSelected(); });
    connect(table_, &QTableWidget::cellChanged, this,
            [this](int row, int column) { Renamed(row, column); });
    connect(table_, &QTableWidget::cellDoubleClicked, this, [this](int row, int column) {
        // The name is edited by a double click; the time and length jump.
        if (column != 1) Jump(row);
    });
    Fill();
}

void TMarkersDialog::Fill() {
    filling_ = true;
    const TMarkerList& marks = document_.Markers();
    table_->setRowCount(int(marks.size()));
    for (int row = 0; row < int(marks.size()); ++row) {
        const TMarker& m = marks[size_t(row)];
        auto fixed = [](const QString& text) {
            auto* item = new QTableWidgetItem(text);
            item->setFlags(item->flags() & ~Qt::ItemIsEditable);
            return item;
        };
        table_->setItem(row, 0, fixed(mstotime(view_.SamplesToMs(m.start))));
        table_->setItem(row, 1, new QTableWidgetItem(m.name));
        table_->setItem(
            row, 2, fixed(m.IsRegion() ? mstotime(view_.SamplesToMs(m.end - m.start)) : QString()));
    }
    delete_->setEnabled(!marks.empty());
    filling_ = false;
}

void TMarkersDialog::EditName(int row) {
    if (row < 0 || row >= table_->rowCount()) return;
    table_->setCurrentCell(row, 1);
    QTimer::singleShot(0, this, [this, row] { table_->editItem(table_->item(row, 1)); });
}

void TMarkersDialog::Renamed(int row, int column) {
    if (filling_ || column != 1) return;
    TMarkerList marks = document_.Markers();
    if (row < 0 || size_t(row) >= marks.size()) return;
    marks[size_t(row)].name = table_->item(row, 1)->text();
    commands_.MarkerStep(commands_.RenameMarkerAction, std::move(marks));
    Fill();
}

void TMarkersDialog::DeleteSelected() {
    TMarkerList marks = document_.Markers();
    const int row = table_->currentRow();
    if (row < 0 || size_t(row) >= marks.size()) return;
    marks.erase(marks.begin() + row);
    commands_.MarkerStep(commands_.DeleteMarkerAction, std::move(marks));
    Fill();
}

void TMarkersDialog::Jump(int row) {
    const TMarkerList& marks = document_.Markers();
    if (row < 0 || size_t(row) >= marks.size()) return;
    const TMarker& m = marks[size_t(row)];
    if (m.IsRegion()) view_.SetSelection(m.start, m.end, true);
    view_.SetCursor(m.start);
}
