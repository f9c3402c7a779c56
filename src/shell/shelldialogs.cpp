#include "shelldialogs.h"

#include <QAction>
#include <QMenu>

#include "about.h"
#include "commands.h"
#include "fileinfo.h"
#include "help.h"
#include "languagecontroller.h"
#include "mainform.h"
#include "settform.h"
#include "shelltexts.h"
#include "tools.h"
#include "updatecheck.h"
#include "userdialogs.h"

void TFormPrompts::Information(const QString& text) {
    dialogs_.Ask(QMessageBox::Information, text, QMessageBox::Ok);
}

void TFormPrompts::QuestionOk(const QString& text) {
    dialogs_.Ask(QMessageBox::Question, text, QMessageBox::Ok);
}

bool TFormPrompts::AskYesNo(const QString& text) {
    return dialogs_.Ask(QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

void TFormPrompts::Plain(const QString& text) {
    dialogs_.Ask(QMessageBox::NoIcon, text, QMessageBox::Ok);
}

void TFormPrompts::Error(const QString& text) {
    dialogs_.Error(text);
}

TShellDialogs::TShellDialogs(Tmainform& form)
    : commands_(form.Commands()), prompts_(form.Dialogs()) {
    // The order of creation is the start-up order: file properties, then settings.
    fileinfo = new Tfileinfo(&form);
    fileinfo->SetDocument(&form.Document());
    settingsForm = new TsettingsForm(&form, nullptr, &prompts_);
    settingsForm->OnColorsChanged = [&form] {
        if (form.Loaded()) form.View().RedrawAll();
    };
    aboutBox = new TAboutBox(&form);
    updateCheck = new TUpdateCheck(&prompts_, &form);

    TCommands& commands = form.Commands();
    commands.OnProperties = [this] {
        fileinfo->show();
        fileinfo->raise();
        fileinfo->activateWindow();
    };
    commands.OnSettings = [this] {
        settingsForm->show();
        settingsForm->raise();
        settingsForm->activateWindow();
    };
    commands.OnAbout = [this] {
        aboutBox->show();
        aboutBox->raise();
        aboutBox->activateWindow();
    };
    // The manual of the language the window speaks (English where none is shipped).
    commands.OnContents = [] { OpenHelp(ManualPath(uint16_t(ActiveLanguageId()))); };
    commands.OnUpdate = [this] { updateCheck->Start(); };
    QAction* update = commands.UpdateAction;
    updateCheck->OnBusy = [update](bool busy) { update->setEnabled(!busy); };

    std::vector<TTranslatable> table;
    static const char* const kNames[kCompanionToolCount] = {
        "ToolAction1", "ToolAction2", "ToolAction3", "ToolAction4", "ToolAction5"};
    for (int i = 0; i < kCompanionToolCount; ++i) {
        const TCompanionTool& tool = CompanionTools[size_t(i)];
        auto* action = new QAction(QString::fromLatin1(tool.caption), &form);
        action->setObjectName(QString::fromLatin1(kNames[i]));
        QObject::connect(action, &QAction::triggered, &form, [this, &tool] {
            try {
                LaunchTool(tool, QString(), &prompts_);
            } catch (const std::exception& e) {
                prompts_.Error(QString::fromStdString(e.what()));
            }
        });
        commands.ToolsMenu()->addAction(action);
        toolActions.append(action);
        table.push_back({i + 1, kNames[i], "text"});
    }
    // The Tools entries have a section of their own, so the main window's table stays its own.
    toolTexts_ = std::make_unique<TLanguageController>(&form, std::move(table));
    toolTexts_->SetSection(QStringLiteral("tools"));
    toolTexts_->Bind();
}

TShellDialogs::~TShellDialogs() {
    // The commands and the dialogs hold this object's prompts and handlers.
    commands_.OnProperties = nullptr;
    commands_.OnSettings = nullptr;
    commands_.OnAbout = nullptr;
    commands_.OnUpdate = nullptr;
    commands_.UpdateAction->setEnabled(true);
    toolTexts_.reset();
    qDeleteAll(toolActions);
    delete updateCheck;
    delete aboutBox;
    delete settingsForm;
    delete fileinfo;
}
