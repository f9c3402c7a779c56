#include "vumeter.h"

TVUMeter::TVUMeter(QWidget* parent) : QWidget(parent) { resize(127, 38); }
void TVUMeter::SetLevels(std::span<const int16_t>) {}
void TVUMeter::ResetMeter() {}
void TVUMeter::ClearMeter() {}
void TVUMeter::paintEvent(QPaintEvent*) {}
void TVUMeter::resizeEvent(QResizeEvent*) {}
void TVUMeter::FitImage() {}
