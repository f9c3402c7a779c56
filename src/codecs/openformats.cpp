#include "openformats.h"

const std::vector<TOpenFormat>& OpenFormats() {
    // WAV has three names in use (the registered one and two older ones); Ogg files carry
    // Vorbis or Opus, and desktops name the container or the codec.
    static const std::vector<TOpenFormat> formats = {
        {"WAV Files", {"audio/vnd.wave", "audio/wav", "audio/x-wav"}, {"wav"}},
        {"Mpeg Layer 3", {"audio/mpeg"}, {"mp3"}},
        {"WMA Files", {"audio/x-ms-wma"}, {"wma"}},
        {"FLAC Files", {"audio/flac", "audio/x-flac"}, {"flac"}},
        {"Ogg Vorbis Files", {"audio/ogg", "audio/x-vorbis+ogg"}, {"ogg", "oga"}},
        {"Opus Files", {"audio/x-opus+ogg"}, {"opus"}},
        {"AAC Files", {"audio/mp4", "audio/aac"}, {"m4a", "aac"}},
        {"AIFF Files", {"audio/x-aiff"}, {"aif", "aiff"}},
    };
    return formats;
}

QStringList OpenMimeTypes() {
    QStringList types;
    for (const TOpenFormat& f : OpenFormats()) types += f.mimeTypes;
    return types;
}

QStringList OpenExtensions() {
    QStringList extensions;
    for (const TOpenFormat& f : OpenFormats()) extensions += f.extensions;
    return extensions;
}

namespace {

QString Patterns(const QStringList& extensions) {
    QStringList patterns;
    for (const QString& e : extensions) patterns << "*." + e;
    return patterns.join(' ');
}

}  // namespace

QString OpenDialogFilter() {
    QStringList entries{"Supported Formats (" + Patterns(OpenExtensions()) + ")"};
    for (const TOpenFormat& f : OpenFormats())
        entries << f.name + " (" + Patterns(f.extensions) + ")";
    return entries.join(";;");
}

QStringList FilterPatterns(const QString& filterEntry) {
    const qsizetype open = filterEntry.lastIndexOf('(');
    const qsizetype close = filterEntry.lastIndexOf(')');
    if (open < 0 || close < open) return {};
    return filterEntry.mid(open + 1, close - open - 1).split(' ', Qt::SkipEmptyParts);
}
