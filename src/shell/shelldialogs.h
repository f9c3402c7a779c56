#pragma once
// The main window's File, Tools and Help extras: the file properties and settings dialogs, the
// about box, the update check, the manual and the five companion tools. Created once at start,
// right after the main window (creating the settings dialog applies the saved language), and
// wired to the window's commands. The window owns this object and destroys it, and with it
// these dialogs and the commands' ties to them, before its own parts.
//
// User-interface thread only.

#include <QList>
#include <memory>

#include "prompts.h"

class QAction;
class TAboutBox;
class TCommands;
class TLanguageController;
class TUpdateCheck;
class TUserDialogs;
class Tfileinfo;
class Tmainform;
class TsettingsForm;

// The services' questions and reports through the window's own message boxes (or a test's).
class TFormPrompts : public TPrompts {
public:
    explicit TFormPrompts(TUserDialogs& dialogs) : dialogs_(dialogs) {}
    void Information(const QString& text) override;
    void QuestionOk(const QString& text) override;
    bool AskYesNo(const QString& text) override;
    void Plain(const QString& text) override;
    void Error(const QString& text) override;

private:
    TUserDialogs& dialogs_;
};

class TShellDialogs {
public:
    explicit TShellDialogs(Tmainform& form);
    ~TShellDialogs();

    Tfileinfo* fileinfo;
    TsettingsForm* settingsForm;
    TAboutBox* aboutBox;
    TUpdateCheck* updateCheck;
    QList<QAction*> toolActions;  // the Tools menu, in the order of CompanionTools

private:
    TCommands& commands_;
    TFormPrompts prompts_;
    std::unique_ptr<TLanguageController> toolTexts_;
};
