#pragma once
// TClosingFlow: every way the open document is closed or replaced (Close, Open, a dropped file,
// Exit, a recovered session) and the questions that come first. A modified document is asked
// about ("save changes?"); one whose last operation failed is offered Undo first, since it
// cannot be saved as it is. A Yes that starts a job (the save, the undo) leaves the request
// waiting; when that job has ended the request goes on: a document saved whole closes, opens
// the chosen file or lets the window close, and a failed or cancelled save ends the request
// with the document kept. Requests while a job runs are refused with the "please wait" box.
//
// Thread: user-interface thread only.

#include <QString>
#include <optional>

class Tmainform;

class TClosingFlow {
public:
    enum class TTrigger { Close, Open, Exit };

    explicit TClosingFlow(Tmainform& form);

    // Close: true when the document is closed now.
    bool Close();
    // Open or drop: replaces the document with `path`, true when its load started now.
    bool Open(const QString& path);
    // The window's close: true when it may close now (the document has been closed).
    bool MayExit();
    // The document's job has fully ended: a waiting request goes on.
    void JobEnded();
    // Offers back the sessions of runs that ended without closing their documents, newest
    // first, until one is taken. True when a recovery started.
    bool OfferRecovery();
    // From now on nothing is asked, started or waited for (the program is going away).
    void Stop() { stopped_ = true; pending_.reset(); }
    bool Stopped() const { return stopped_; }
    // A request waits for the job its answer started.
    bool Waiting() const { return pending_.has_value(); }

private:
    enum class TOutcome { GoOn, Wait, Abandon };
    struct TPending {
        TTrigger trigger;
        QString path;
        bool afterSave;  // the job was the save: it must have left the document unmodified
    };
    // Refuses (with the box) while a job runs.
    bool Idle();
    // The questions before the document goes.
    TOutcome Settle(TTrigger trigger, const QString& path);
    // Closes the document (playback stopped, version files deleted) and empties the window.
    void CloseNow();
    void LoadNow(const QString& path);
    bool Run(TTrigger trigger, const QString& path);

    Tmainform& form_;
    std::optional<TPending> pending_;
    bool stopped_ = false;
};
