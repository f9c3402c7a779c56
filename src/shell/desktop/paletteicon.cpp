#include "paletteicon.h"

#include <QApplication>
#include <QBuffer>
#include <QFile>
#include <QHash>
#include <QIconEngine>
#include <QImageReader>
#include <QPainter>
#include <QPalette>
#include <QStyle>
#include <QStyleOption>
#include <utility>

#include "colorscheme.h"

namespace {

constexpr auto kInk = "#2d3e50";
constexpr const char* kPaper[] = {"#ffffff", "#eef6ff", "#eef2f7", "#dfe8f3", "#eeeeee"};
// The dark reds of Delete and Stop, lighter on a dark window; in this order, so that each
// colour is replaced once.
constexpr std::pair<const char*, const char*> kDarkAccents[] = {{"#c0392b", "#f0604f"},
                                                               {"#7f231a", "#c0392b"}};

class TPaletteIconEngine : public QIconEngine {
public:
    explicit TPaletteIconEngine(QString resource) : resource_(std::move(resource)) {
        QFile file(resource_);
        if (file.open(QIODevice::ReadOnly)) svg_ = file.readAll();
    }

    QIconEngine* clone() const override { return new TPaletteIconEngine(*this); }
    QString key() const override { return QStringLiteral("orvane-palette"); }
    bool isNull() override { return svg_.isEmpty(); }
    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        const qreal dpr = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        painter->drawPixmap(rect, scaledPixmap(rect.size(), mode, state, dpr));
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return scaledPixmap(size, mode, state, 1.0);
    }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State,
                         qreal scale) override {
        const QPalette palette = QApplication::palette();
        const QSize pixels = size * scale;
        // Cached per size, mode and the colours the picture is drawn in.
        const QString cacheKey = QStringLiteral("%1x%2/%3/%4")
                                     .arg(pixels.width())
                                     .arg(pixels.height())
                                     .arg(int(mode))
                                     .arg(palette.cacheKey());
        if (auto found = cache_.constFind(cacheKey); found != cache_.constEnd()) return *found;

        // A disabled picture is drawn in the disabled text colour, so it reads as unavailable
        // on a dark palette too.
        QByteArray svg = RecolouredSvg(
            svg_, palette, mode == QIcon::Disabled ? QPalette::Disabled : QPalette::Active);
        QBuffer buffer(&svg);
        QImageReader reader(&buffer, "svg");
        reader.setScaledSize(pixels);
        QPixmap result = QPixmap::fromImage(reader.read());
        if (result.isNull()) return result;
        if (mode != QIcon::Normal) {
            // Greyed or highlighted the way the style does it for any picture.
            QStyleOption option;
            option.palette = palette;
            result = QApplication::style()->generatedIconPixmap(mode, result, &option);
        }
        result.setDevicePixelRatio(scale);
        if (cache_.size() > 32) cache_.clear();
        cache_.insert(cacheKey, result);
        return result;
    }

private:
    QString resource_;
    QByteArray svg_;
    QHash<QString, QPixmap> cache_;
};

}  // namespace

QByteArray RecolouredSvg(const QByteArray& svg, const QPalette& palette,
                         QPalette::ColorGroup group) {
    QByteArray out = svg;
    const QByteArray ink = palette.color(group, QPalette::ButtonText).name().toLatin1();
    out.replace(QByteArray("\"") + kInk + '"', '"' + ink + '"');
    if (IsDarkPalette(palette)) {
        const QByteArray paper = palette.color(group, QPalette::Base).name().toLatin1();
        for (const char* colour : kPaper)
            out.replace(QByteArray("fill=\"") + colour + '"', "fill=\"" + paper + '"');
        for (const auto& [from, to] : kDarkAccents)
            out.replace(QByteArray("\"") + from + '"', QByteArray("\"") + to + '"');
    }
    return out;
}

QIcon PaletteIcon(const QString& svgResource) {
    return QIcon(new TPaletteIconEngine(svgResource));
}
