#pragma once
// orvane-cli's marker steps: adding markers and regions, listing them, and the label text and
// chapters JSON exchange. Each change is one marker step of the document.

#include <QString>

#include "cli_options.h"

class Twavefile;

// Runs one of the marker steps (kMarker ... kExportLabels); false, with the message in `error`,
// when it failed.
bool RunMarkerStep(Twavefile& doc, const TCliStep& step, QString& error);
