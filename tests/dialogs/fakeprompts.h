#pragma once
// Prompts that record what the user would have been shown, and a few helpers for the suites.
#include <QCoreApplication>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QUrl>
#include <functional>
#include <vector>

#include "prompts.h"

struct TFakePrompts : TPrompts {
    struct TShown {
        QString kind, text;
    };
    std::vector<TShown> shown;
    bool answerYes = false;

    void Information(const QString& text) override { shown.push_back({"information", text}); }
    void QuestionOk(const QString& text) override { shown.push_back({"question", text}); }
    bool AskYesNo(const QString& text) override {
        shown.push_back({"yesno", text});
        return answerYes;
    }
    void Plain(const QString& text) override { shown.push_back({"plain", text}); }
    void Error(const QString& text) override { shown.push_back({"error", text}); }
};

// Runs the event loop until done() or the time limit; returns done().
inline bool WaitFor(const std::function<bool()>& done, int limitMs = 5000) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < limitMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

// Catches every web, mail and file address the code under test opens, for the test's life.
class TUrlCatcher : public QObject {
    Q_OBJECT
public:
    TUrlCatcher() {
        for (const char* scheme : {"http", "https", "mailto", "file"})
            QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), this, "open");
    }
    ~TUrlCatcher() override {
        for (const char* scheme : {"http", "https", "mailto", "file"})
            QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
    }
    std::vector<QUrl> opened;

public slots:
    // QDesktopServices calls it by name.
    void open(const QUrl& url) { opened.push_back(url); }
};
