// The marker commands of the main window: a few lines each over the document and the view.
#include <QFileInfo>
#include <QTimer>
#include <algorithm>

#include "commands.h"
#include "exportregionsdialog.h"
#include "mainform.h"
#include "markersdialog.h"
#include "shelltexts.h"
#include "userdialogs.h"
#include "waveview.h"
#include "wavfile.h"

void TCommands::MarkerStep(QAction* command, TMarkerList marks) {
    Twavefile& doc = form_.Document();
    if (!form_.Loaded() || doc.Busy()) return;
    steps_.Begin(command, doc.StateKey());
    doc.SetMarkers(std::move(marks));
}

void TCommands::AddMarkerActionExecute() {
    if (!form_.Loaded()) return;
    // While playing the cursor is the play position.
    TMarkerList marks = form_.Document().Markers();
    marks.push_back({form_.View().CursorFrame(), form_.View().CursorFrame(), {}});
    // Guard has begun the step's name already.
    form_.Document().SetMarkers(std::move(marks));
}

void TCommands::AddRegionActionExecute() {
    if (!form_.Loaded() || !form_.View().HasSelection()) return;
    const auto [s, e] = form_.View().OrderedSelection();
    if (e <= s) return;
    TMarkerList marks = form_.Document().Markers();
    marks.push_back({s, e, {}});
    form_.Document().SetMarkers(std::move(marks));
}

void TCommands::JumpToMarker(bool next) {
    if (!form_.Loaded()) return;
    const int64_t at = form_.View().CursorFrame();
    const TMarkerList& marks = form_.Document().Markers();
    int64_t target = -1;
    for (const TMarker& m : marks) {
        // A region's end is a place to jump to as much as its start.
        for (const int64_t p : {m.start, m.end}) {
            if (next ? p > at && (target < 0 || p < target) : p < at && p > target) target = p;
        }
    }
    if (target >= 0) form_.View().SetCursor(target);
}

void TCommands::MarkersActionExecute(int row) {
    if (!form_.Loaded()) return;
    TMarkersDialog dialog(&form_, *this, form_.Document(), form_.View());
    if (row >= 0) dialog.EditName(row);
    form_.Dialogs().Run(dialog);
}

void TCommands::MoveMarker(size_t index, int64_t start, int64_t end) {
    TMarkerList marks = form_.Document().Markers();
    if (index >= marks.size()) return;
    marks[index].start = start;
    marks[index].end = end;
    // A moved marker forgets the times a label file gave it.
    marks[index].startSeconds = marks[index].endSeconds = -1;
    SortMarkers(marks);
    MarkerStep(MoveMarkerAction, std::move(marks));
}

void TCommands::ExportRegionsActionExecute() {
    if (!form_.Loaded()) return;
    Twavefile& doc = form_.Document();
    TExportRegionsDialog dialog(&form_, QFileInfo(doc.FileName()).absolutePath());
    if (!form_.Dialogs().Run(dialog)) return;
    const QStringList files =
        doc.ExportTargets(dialog.Folder(), dialog.Pattern(), dialog.Extension());
    if (files.isEmpty()) {
        form_.Dialogs().Message(MsgText("exportnone"));
        return;
    }
    QStringList inTheWay;
    for (const QString& f : files) {
        if (QFileInfo::exists(f)) inTheWay << f;
    }
    if (!inTheWay.isEmpty() &&
        form_.Dialogs().Ask(QMessageBox::Question, MsgText("exportexists").arg(inTheWay.join('\n')),
                            QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes) {
        return;
    }
    if (!doc.ExportRegions(dialog.Folder(), dialog.Pattern(), dialog.Extension())) return;
    // The list once the worker is done, however it ended.
    auto* poll = new QTimer(&form_);
    QObject::connect(poll, &QTimer::timeout, &form_, [this, poll] {
        if (form_.Document().Busy()) return;
        poll->deleteLater();
        const QStringList written = form_.Document().Exported();
        if (!written.isEmpty())
            form_.Dialogs().Message(MsgText("exportdone").arg(written.join('\n')));
    });
    poll->start(100);
}
