#pragma once
// The main window under test: offscreen, on a manual-clock sound device, with every message box
// and file dialog answered from a script and recorded.
#include <QApplication>
#include <QCheckBox>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QScrollBar>
#include <QSettings>
#include <QThread>
#include <deque>
#include <functional>
#include <memory>

#include "closingflow.h"
#include "commands.h"
#include "dialogs/filterform.h"
#include "dialogs/encodesettings.h"
#include "dialogs/mpegsettings.h"
#include "doctest_util.h"
#include "mainform.h"
#include "manualbackend.h"
#include "userdialogs.h"

class TFakeDialogs : public TUserDialogs {
public:
    void Message(const QString& text) override { messages.append(text); }
    void Error(const QString& text) override { errors.append(text); }
    void Warning(const QString& text, const QString& caption) override {
        warnings.append(caption + '|' + text);
    }
    QMessageBox::StandardButton Ask(QMessageBox::Icon icon, const QString& text,
                                    QMessageBox::StandardButtons buttons) override {
        questions.append(text);
        icons.append(icon);
        if (whileAsking) whileAsking();
        if (answers.empty()) return buttons.testFlag(QMessageBox::Cancel) ? QMessageBox::Cancel
                                                                          : QMessageBox::No;
        const QMessageBox::StandardButton a = answers.front();
        answers.pop_front();
        return a;
    }
    QString OpenFileName(const QStringList& filters, const QString& folder) override {
        openFilters = filters;
        openFolders.append(folder);
        return openAnswer;
    }
    std::optional<TSaveChoice> SaveFileName(const QStringList&, const QStringList& suffixes,
                                            int typeIndex, const QString& proposal) override {
        saveTypesOffered.append(typeIndex);
        saveProposals.append(proposal);
        if (saveAnswers.empty()) return std::nullopt;
        std::optional<TSaveChoice> c = saveAnswers.front();
        saveAnswers.pop_front();
        // The dialog's default extension follows the chosen type.
        if (c && c->defaultSuffix.isEmpty()) c->defaultSuffix = suffixes.value(c->typeIndex - 1);
        return c;
    }
    bool Run(QDialog& dialog) override {
        ran.append(dialog.objectName());
        if (runAnswers.empty()) return false;
        auto answer = runAnswers.front();
        runAnswers.pop_front();
        return answer(dialog);
    }

    QStringList messages, errors, warnings, questions, openFilters, ran;
    QList<QMessageBox::Icon> icons;
    QList<int> saveTypesOffered;
    QStringList openFolders, saveProposals;
    std::deque<QMessageBox::StandardButton> answers;
    // Runs while a question is open, as a signal arriving then would.
    std::function<void()> whileAsking;
    QString openAnswer;
    std::deque<std::optional<TSaveChoice>> saveAnswers;
    std::deque<std::function<bool(QDialog&)>> runAnswers;
};

// A file dropped on `target` as a file manager drops it: the enter event, then the drop.
inline void DropFile(QWidget* target, const QString& path) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &data, Qt::LeftButton,
                          Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
}

class TShellFixture {
public:
    explicit TShellFixture(const QStringList& arguments = {}) { Make(arguments); }
    ~TShellFixture() { form.reset(); }

    void Make(const QStringList& arguments, bool offerRecovery = false) {
        // Every window starts from the default settings.
        QSettings("Quillfen", "Orvane").clear();
        TMainOptions options;
        options.arguments = arguments;
        options.backend = backend;
        options.dialogs = &dialogs;
        options.offerRecovery = offerRecovery;
        form = std::make_unique<Tmainform>(options);
        form->SetMpegSettings(new Tmpegsettings(form.get()));
        form->SetEncodeSettings(new Tencodesettings(form.get()));
        form->SetFilterForm(new Tfilterform(form.get()));
        form->show();
    }

    // Runs the event loop until no document job runs (and the queued ends have arrived).
    void Wait() {
        QElapsedTimer t;
        t.start();
        do {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QThread::usleep(200);
        } while ((form && form->Document().Busy()) && t.elapsed() < 60000);
        QCoreApplication::processEvents();
    }
    QString WriteStereo(const QString& name, uint32_t frames, uint32_t rate = 8000) {
        std::vector<int16_t> s(size_t(frames) * 2);
        for (size_t i = 0; i < s.size(); ++i) s[i] = int16_t(int(i % 200) * 10 - 1000);
        const QString path = dir.path(name);
        WriteWav(path, 2, rate, s);
        return path;
    }
    void Open(const QString& path) {
        form->openfile(path);
        Wait();
    }
    TCommands& Cmd() { return form->Commands(); }

    TTempFolder dir;
    std::shared_ptr<TManualClockBackend> backend = std::make_shared<TManualClockBackend>();
    TFakeDialogs dialogs;
    std::unique_ptr<Tmainform> form;
};

// A run answer that confirms a parameter dialog with a value.
inline std::function<bool(QDialog&)> ConfirmValue(int value) {
    return [value](QDialog& d) {
        static_cast<Tfilterform&>(d).SetValue(value);
        return true;
    };
}
