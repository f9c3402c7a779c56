#pragma once
// TFileHistory: the recent files of the File menu and the folder the file dialogs start in,
// kept in a settings record (its recentfiles and lastfolder). No widgets: the main window builds
// its menu from Files() and asks Choose() what an entry does. User-interface thread.

#include <QString>
#include <QStringList>

struct TSettings;

class TFileHistory {
public:
    static constexpr int kMaxFiles = 8;

    explicit TFileHistory(TSettings& settings) : settings_(settings) {}

    // Newest first, at most kMaxFiles, each once.
    const QStringList& Files() const;

    // A file was opened: it goes to the top, and its folder becomes the last one used.
    void Opened(const QString& path);
    // A file was saved under or chosen in a dialog: its folder becomes the last one used.
    void UsedFolder(const QString& path);

    // Entry `index` (0 = newest) chosen: its path when the file is still there; otherwise the
    // entry is dropped and `missing` gets its path (empty path returned). An index out of range
    // gives an empty path and no missing one.
    QString Choose(int index, QString* missing = nullptr);

    // Where Open starts: the folder of the open file when it has one that exists, else the last
    // folder used when it exists, else empty (the dialog's own choice).
    QString StartFolder(const QString& currentFile) const;
    // What Save As proposes: the open file's own name when it has one, else the start folder.
    QString SaveProposal(const QString& currentFile) const;

private:
    TSettings& settings_;
};
