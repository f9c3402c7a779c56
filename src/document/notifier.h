#pragma once
// What the document needs from the desktop, as small interfaces the shell implements with
// widgets and the command line and tests implement in memory. All are called on the
// user-interface thread (the document hands calls over from its worker and waits).

#include <QByteArray>
#include <QString>
#include <optional>

class TNotifier {
public:
    virtual ~TNotifier() = default;
    // The error of a failed operation; the operation has ended.
    virtual void ShowError(const QString& message) = 0;
    // A warning box with a caption (the load failure).
    virtual void ShowWarning(const QString& message, const QString& caption) = 0;
    // A warning about an operation that went through all the same (a load that got less sound
    // than the file declares). Shown like any warning unless the notifier tells them apart.
    virtual void ShowNotice(const QString& message, const QString& caption) {
        ShowWarning(message, caption);
    }
    // A word about an operation that went as asked but not plainly so (a paste converted to
    // the document's rate), for the status bar; passed over unless the notifier shows it.
    virtual void ShowStatus(const QString& message) { (void)message; }
};

// The system clipboard as the document uses it: one wave image in the 44-byte layout.
class TClipboard {
public:
    virtual ~TClipboard() = default;
    // Replaces the clipboard's content with a WAV image. Returns false when the clipboard
    // refused it.
    virtual bool SetWave(const QByteArray& image) = 0;
    // The clipboard's wave audio, if it holds any.
    virtual std::optional<QByteArray> GetWave() = 0;
    virtual bool HasWave() = 0;
};

// Clipboard of the command line and the tests: held in memory for the process's life.
class TMemoryClipboard : public TClipboard {
public:
    bool SetWave(const QByteArray& image) override {
        data_ = image;
        return true;
    }
    std::optional<QByteArray> GetWave() override {
        if (!data_) return std::nullopt;
        return data_;
    }
    bool HasWave() override { return data_.has_value(); }
    void Clear() { data_.reset(); }

private:
    std::optional<QByteArray> data_;
};
