#include "clipboard.h"

#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMimeData>
#include <QUrl>

#include "uithread.h"

namespace {

// A WAV file named on the clipboard is read only up to this size (an hour of stereo CD audio).
constexpr qint64 kMaxFileBytes = 700ll * 1024 * 1024;

QString WavFileOf(const QMimeData* data) {
    if (!data || !data->hasUrls()) return {};
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile() && url.toLocalFile().endsWith(".wav", Qt::CaseInsensitive)) {
            return url.toLocalFile();
        }
    }
    return {};
}

}  // namespace

const QStringList& TDesktopClipboard::WaveMimeTypes() {
    static const QStringList types = {"audio/wav", "audio/x-wav", "audio/vnd.wave"};
    return types;
}

bool TDesktopClipboard::SetWave(const QByteArray& image) {
    Q_ASSERT(IsUiThread());
    auto* data = new QMimeData;
    for (const QString& type : WaveMimeTypes()) data->setData(type, image);
    QGuiApplication::clipboard()->setMimeData(data);
    return true;
}

std::optional<QByteArray> TDesktopClipboard::GetWave() {
    Q_ASSERT(IsUiThread());
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (!data) return std::nullopt;
    for (const QString& type : WaveMimeTypes()) {
        if (data->hasFormat(type)) return data->data(type);
    }
    const QString file = WavFileOf(data);
    if (file.isEmpty() || QFileInfo(file).size() > kMaxFileBytes) return std::nullopt;
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) return std::nullopt;
    return f.readAll();
}

bool TDesktopClipboard::HasWave() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (!data) return false;
    for (const QString& type : WaveMimeTypes()) {
        if (data->hasFormat(type)) return true;
    }
    return !WavFileOf(data).isEmpty();
}
