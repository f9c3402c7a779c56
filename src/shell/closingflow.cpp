#include "closingflow.h"

#include <QFileInfo>
#include <QMessageBox>
#include <QScrollBar>
#include <QSignalBlocker>

#include "commands.h"
#include "mainform.h"
#include "shelltexts.h"
#include "wavfile.h"
#include "waveview.h"

TClosingFlow::TClosingFlow(Tmainform& form) : form_(form) {}

bool TClosingFlow::Idle() {
    if (!form_.Document().Busy()) return true;
    form_.Dialogs().Ask(QMessageBox::Question, MsgText("operationinprogress"), QMessageBox::Ok);
    return false;
}

TClosingFlow::TOutcome TClosingFlow::Settle(TTrigger trigger, const QString& path) {
    Twavefile& doc = form_.Document();
    if (!doc.Modified()) return TOutcome::GoOn;
    TUserDialogs& dialogs = form_.Dialogs();
    const auto buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    // A failed operation leaves an unfinished version that cannot be saved; the user's earlier
    // work is one Undo away.
    if (!doc.Ready()) {
        if (!doc.CanUndo()) return TOutcome::GoOn;
        const auto answer = dialogs.Ask(QMessageBox::Warning, MsgText("lastfailed"), buttons);
        if (answer == QMessageBox::No) return TOutcome::GoOn;
        if (answer != QMessageBox::Yes) return TOutcome::Abandon;
        form_.Commands().UndoActionExecute();
        if (!doc.Busy()) return TOutcome::Abandon;
        pending_ = TPending{trigger, path, false};
        return TOutcome::Wait;
    }
    const auto answer = dialogs.Ask(QMessageBox::Question, MsgText("savechanges"), buttons);
    if (answer == QMessageBox::No) return TOutcome::GoOn;
    if (answer != QMessageBox::Yes) return TOutcome::Abandon;
    // A save that could not start (the MP3 settings or the Save As dialog cancelled) abandons
    // the request.
    if (!form_.Commands().SaveOwnFile() || !doc.Busy()) return TOutcome::Abandon;
    pending_ = TPending{trigger, path, true};
    return TOutcome::Wait;
}

void TClosingFlow::CloseNow() {
    // The view lets go of the sound first (playback stopped), then the document deletes its
    // versions, whatever state its last operation left it in.
    form_.View().CloseDocument();
    form_.Document().Close();
    form_.ShowNoDocument();
}

void TClosingFlow::LoadNow(const QString& path) {
    QScrollBar& scroll = form_.Scroll();
    {
        const QSignalBlocker block(&scroll);
        scroll.setPageStep(0);
        scroll.setRange(0, 100);
        scroll.setValue(0);
    }
    form_.updatecaption(path);
    form_.LoadStarting();
    form_.Document().LoadFile(path);
}

bool TClosingFlow::Run(TTrigger trigger, const QString& path) {
    if (stopped_) return trigger == TTrigger::Exit;
    // Refused while a job runs: a request waiting for that job still goes on after it.
    if (!Idle()) return false;
    pending_.reset();
    if (trigger == TTrigger::Open && form_.Loaded() && path == form_.Document().FileName()) {
        form_.Dialogs().Message(MsgText("alreadyloaded"));
        return false;
    }
    if (Settle(trigger, path) != TOutcome::GoOn) return false;
    CloseNow();
    if (trigger == TTrigger::Open) LoadNow(path);
    return true;
}

bool TClosingFlow::Close() {
    return Run(TTrigger::Close, {});
}

bool TClosingFlow::Open(const QString& path) {
    return Run(TTrigger::Open, path);
}

bool TClosingFlow::MayExit() {
    return Run(TTrigger::Exit, {});
}

void TClosingFlow::JobEnded() {
    if (stopped_ || !pending_ || form_.Document().Busy()) return;
    const TPending pending = *pending_;
    pending_.reset();
    // A save that failed or was cancelled keeps the document, and the user decides again.
    if (pending.afterSave && form_.Document().Modified()) return;
    switch (pending.trigger) {
        case TTrigger::Close:
            Close();
            break;
        case TTrigger::Open:
            Open(pending.path);
            break;
        case TTrigger::Exit:
            // Through the window, so its own closing (the settings) runs as for any close.
            form_.close();
            break;
    }
}

bool TClosingFlow::OfferRecovery() {
    if (stopped_) return false;
    for (const Twavefile::TRecoverable& session : Twavefile::RecoverableSessions()) {
        const QString name = session.fileName.isEmpty() ? MsgText("untitled")
                                                        : QFileInfo(session.fileName).fileName();
        const auto answer = form_.Dialogs().Ask(QMessageBox::Question,
                                                MsgText("recoveroffer").arg(name),
                                                QMessageBox::Yes | QMessageBox::No);
        // Ended by a quit signal while asking: no answer was given, the work stays for next time.
        if (stopped_) return false;
        if (answer != QMessageBox::Yes) {
            Twavefile::DiscardSession(session.id);
            continue;
        }
        if (!Idle() || !Close()) return false;
        if (!form_.Document().Recover(session.id)) continue;
        form_.updatecaption(session.fileName.isEmpty() ? name : session.fileName);
        return true;
    }
    return false;
}
