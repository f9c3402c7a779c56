#pragma once
// Sessions: what lets a killed run's work come back. Each open document keeps a folder
// $XDG_STATE_HOME/orvane/sessions/ID/ (~/.local/state when unset) holding
//   lock     held with flock by the run that edits the document, for as long as it runs;
//   journal  one line per step: a checksum and the whole state after that step (the source file
//            name, the current version, the undo and redo versions top first, the saved version,
//            the modified flag, the view of each version and the markers of each entry),
//            appended before the step is reported done; an edit's line is also synced then
//            (see Twavefile::JournalStep).
// The version files themselves stay in the temporary folder the document used; the journal
// names them. A session whose lock nobody holds belongs to a run that is gone; its last whole
// line is what it recovers (a line torn by the crash fails its checksum and is ignored), and
// the start-up sweep keeps every version file such a journal names.

#include <QDateTime>
#include <QJsonObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <vector>

struct TJournalStep {
    QString fileName;
    QString current;
    QStringList undo, redo;  // top first
    QString saved;
    bool modified = false;
    QJsonObject views;  // version path -> its view, as the document writes it
    // The markers of the current version and of each undo and redo entry, as the document
    // writes them ("current", "undo", "redo"); empty in journals written before markers.
    QJsonObject marks;
};

// The folder that holds every session.
QString SessionsFolder();

// A live session of this run: created with its lock held; appends steps.
class TSession {
public:
    TSession() = default;
    ~TSession();  // lets go of the lock; the folder stays (a crash leaves it the same way)
    // Makes a new session folder and takes its lock; false when it cannot.
    bool Start();
    TSession(const TSession&) = delete;
    TSession& operator=(const TSession&) = delete;

    // Takes over the session `id` of a run that is gone in place of this one (whose folder is
    // deleted); false, nothing changed, when it is held or missing.
    bool Adopt(const QString& id);
    const QString& Id() const { return id_; }
    bool Ok() const { return lockFd_ >= 0; }
    // Appends the step in one write, and syncs it when asked. False (nothing else happens) when
    // it could not be written. A written line survives the program's death (the kernel holds
    // it); only a sync makes it survive the machine's.
    bool Append(const TJournalStep& step, bool sync = true);
    // Syncs the lines written so far; may be called from another thread than Append's, never
    // at the same time.
    bool Sync();
    // A small file of its own beside the journal (what a line is too small to hold, such as
    // tags edited but not saved), replaced whole, so a crash leaves the old one or the new one.
    // Empty bytes remove it. False when it could not be written.
    bool WriteNote(const QString& name, const QByteArray& bytes);
    // Deletes the folder (the caller deletes the versions).
    void Remove();

private:
    bool Open(const QString& id, bool create);
    void Release();
    QString id_;
    int lockFd_ = -1;
    int journalFd_ = -1;
};

struct TSessionInfo {
    QString id;
    TJournalStep last;
    int32_t steps = 0;  // whole lines of the journal
    QDateTime lastChange;
};

// The note `name` of session `id`; empty when it has none.
QByteArray ReadSessionNote(const QString& id, const QString& name);

// The sessions nobody holds that have something to recover, newest first.
std::vector<TSessionInfo> StaleSessions();
// The last whole step of the session `id` (nothing held it), or false.
bool ReadSession(const QString& id, TSessionInfo& info);
// Deletes a session nobody holds with every version file (and peak file) its journal names.
bool DeleteSession(const QString& id);
// Every version file that a session nobody holds still names: the sweep keeps them.
QSet<QString> RecoverableVersionFiles();
// Deletes the sessions nobody holds that have nothing to recover. Returns how many.
int RemoveEmptySessions();
