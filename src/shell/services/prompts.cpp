#include "prompts.h"

#include <QApplication>
#include <QMessageBox>

namespace {

QString Caption() {
    return QApplication::applicationDisplayName();
}

int Show(QWidget* parent, QMessageBox::Icon icon, const QString& text,
         QMessageBox::StandardButtons buttons) {
    // Without an owner the box goes over whichever of our windows is active.
    QMessageBox box(icon, Caption(), text, buttons, parent ? parent : QApplication::activeWindow());
    // Texts carry outside words (a server's reply, file names): never read as markup.
    box.setTextFormat(Qt::PlainText);
    return box.exec();
}

TPrompts* gPrompts = nullptr;

}  // namespace

void TMessageBoxPrompts::Information(const QString& text) {
    Show(parent_, QMessageBox::Information, text, QMessageBox::Ok);
}

void TMessageBoxPrompts::QuestionOk(const QString& text) {
    Show(parent_, QMessageBox::Question, text, QMessageBox::Ok);
}

bool TMessageBoxPrompts::AskYesNo(const QString& text) {
    return Show(parent_, QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

void TMessageBoxPrompts::Plain(const QString& text) {
    Show(parent_, QMessageBox::NoIcon, text, QMessageBox::Ok);
}

void TMessageBoxPrompts::Error(const QString& text) {
    Show(parent_, QMessageBox::Critical, text, QMessageBox::Ok);
}

TPrompts& DefaultPrompts() {
    static TMessageBoxPrompts boxes;
    return gPrompts ? *gPrompts : boxes;
}

void SetDefaultPrompts(TPrompts* prompts) {
    gPrompts = prompts;
}
