#pragma once
// Toolbar pictures drawn in the window's own colours, so they stay legible on a dark palette as
// on a light one. Our SVGs draw their outlines in one ink colour (#2d3e50) and their sheets and
// lenses in a few paper colours (#ffffff, #eef6ff, #eef2f7, #dfe8f3, #eeeeee, written as fills);
// at paint time the ink becomes the palette's button text and, on a dark palette, the paper its
// base colour, and the dark reds lighter. Every other colour (and any colour written by name)
// stays as drawn.
//
// Thread: user-interface thread only.

#include <QByteArray>
#include <QColor>
#include <QIcon>
#include <QPalette>
#include <QString>



// The SVG text with its ink and paper colours replaced for this palette and colour group.
QByteArray RecolouredSvg(const QByteArray& svg, const QPalette& palette, QPalette::ColorGroup group);

// An icon over the SVG resource that follows the application palette as it changes.
QIcon PaletteIcon(const QString& svgResource);
