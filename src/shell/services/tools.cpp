#include "tools.h"

#include <QDesktopServices>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QUrl>

#include "languagecontroller.h"
#include "messages.h"
#include "prompts.h"

const std::array<TCompanionTool, kCompanionToolCount> CompanionTools{{
    {"VolumeControl", "pavucontrol", "&Volume Control",
     "https://freedesktop.org/software/pulseaudio/pavucontrol/"},
    {"TagEditor", "kid3-qt", "&Tag Editor", "https://kid3.kde.org/"},
    {"CdRipper", "asunder", "&CD Ripper", "http://littlesvr.ca/asunder/"},
    {"SoundConverter", "soundconverter", "Sound C&onverter", "https://soundconverter.org/"},
    {"SoundRecorder", "gnome-sound-recorder", "Sound &Recorder",
     "https://apps.gnome.org/SoundRecorder/"},
}};

QString ToolFolder(const TCompanionTool& tool) {
    const QSettings key(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Quillfen"),
                        QString::fromLatin1(tool.key));
    return key.value(QStringLiteral("path")).toString();
}

TToolLaunch LaunchTool(const TCompanionTool& tool, const QString& argument, TPrompts* prompts) {
    const QString program = QString::fromLatin1(tool.program);
    QString folder = ToolFolder(tool);
    if (!folder.isEmpty()) {
        if (!folder.endsWith(u'/')) folder += u'/';
        QProcess::startDetached(folder + program, {argument});
        return TToolLaunch::Configured;
    }
    const QString onPath = QStandardPaths::findExecutable(program);
    if (!onPath.isEmpty()) {
        QProcess::startDetached(onPath, {argument});
        return TToolLaunch::FoundOnPath;
    }
    TPrompts& ask = prompts ? *prompts : DefaultPrompts();
    // The program file is the Debian package's name for each of the five.
    const QString caption = WithoutAccessKey(QString::fromLatin1(tool.caption));
    ask.Plain(QString::fromStdString(Msg("toolmissing")).arg(caption, program));
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(tool.page)));
    return TToolLaunch::NotFound;
}
