#pragma once
// View -> Markers: the document's markers and regions as a list (time, name, length). A name is
// edited in place and a row deleted, each a marker step of its own; a double click moves the
// cursor there (a region is selected).
//
// Thread: user-interface thread only.

#include <QDialog>

class QTableWidget;
class QPushButton;
class TCommands;
class TWaveView;
class Twavefile;

class TMarkersDialog : public QDialog {
public:
    TMarkersDialog(QWidget* parent, TCommands& commands, Twavefile& document, TWaveView& view);
    QTableWidget* Table() const { return table_; }
    // The rows again from the document.
    void Fill();
    // Opens the name of `row` for editing once the dialog shows.
    void EditName(int row);

private:
    void Renamed(int row, int column);
    void DeleteSelected();
    void Jump(int row);

    TCommands& commands_;
    Twavefile& document_;
    TWaveView& view_;
    QTableWidget* table_;
    QPushButton* delete_;
    bool filling_ = false;
};
