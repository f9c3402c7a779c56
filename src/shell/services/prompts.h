#pragma once
// The questions and reports the Help and Tools services put to the user. The desktop answers
// with message boxes; tests answer with a fake that records the texts.
//
// Thread: user-interface thread only.

#include <QString>

class QWidget;

class TPrompts {
public:
    virtual ~TPrompts() = default;
    // An information box with an OK button.
    virtual void Information(const QString& text) = 0;
    // A question box with an OK button only (the up-to-date report).
    virtual void QuestionOk(const QString& text) = 0;
    // A question with Yes and No; true for Yes.
    virtual bool AskYesNo(const QString& text) = 0;
    // A plain box without an icon.
    virtual void Plain(const QString& text) = 0;
    // The general error report: an error box with the failure's text.
    virtual void Error(const QString& text) = 0;
};

// Message boxes over `parent` (may be null), captioned with the application's name. Every text
// is shown as plain text.
class TMessageBoxPrompts : public TPrompts {
public:
    explicit TMessageBoxPrompts(QWidget* parent = nullptr) : parent_(parent) {}
    void Information(const QString& text) override;
    void QuestionOk(const QString& text) override;
    bool AskYesNo(const QString& text) override;
    void Plain(const QString& text) override;
    void Error(const QString& text) override;

private:
    QWidget* parent_;
};

// The process-wide prompts the services use unless a caller passes its own.
TPrompts& DefaultPrompts();
// Replaces the default prompts (tests); null restores message boxes. The caller keeps ownership.
void SetDefaultPrompts(TPrompts* prompts);
