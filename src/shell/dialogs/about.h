#pragma once
// The modeless about box: the banner, the program's version, a notice line and two links (the
// home page in the browser, a mail to support), closed with "&Close".
//
// Created once by the main window, with it as parent. User-interface thread only.

#include <QDialog>
#include <QPixmap>
#include <QUrl>
#include <memory>

class QLabel;
class QPushButton;
class TLanguageController;

// The 300 x 101 banner at the given device pixel ratio, drawn here so it stays sharp when the
// desktop scales.
QPixmap DrawBanner(qreal devicePixelRatio);

// Where the two links lead.
QUrl HomePageUrl();
QUrl SupportMailUrl();

class TAboutBox : public QDialog {
public:
    explicit TAboutBox(QWidget* parent = nullptr);
    ~TAboutBox() override;
    const TLanguageController& LanguageController() const { return *translator_; }

    QLabel* banner;
    QLabel* versionLabel;  // "Version: "
    QLabel* version;       // the program's version
    QLabel* notice;
    QLabel* homeLabel;  // "Home Page: "
    QLabel* homeLink;
    QLabel* supportLabel;  // "Support: "
    QLabel* supportLink;
    QPushButton* closeButton;

protected:
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    std::unique_ptr<TLanguageController> translator_;
};
