#pragma once
// The main window's keyboard and wheel: zoom shortcuts, Enter in the selection edits, Space on
// the waveform, the tab order, the edits' accessible names from their labels, and the wheel
// (scrolls; Ctrl, or the "wheelzoom" setting, zooms).
//
// Thread: user-interface thread only.

#include <QRect>

class QKeyEvent;
class QWheelEvent;
class Tmainform;

// Called once the layout and the commands exist.
void InstallKeys(Tmainform& form);
// A key on the waveform before the view sees it; true when it was used up.
bool WaveKey(Tmainform& form, QKeyEvent* event);
// A wheel turn over the window; remainder keeps the part of a notch not yet used.
void WindowWheel(Tmainform& form, QWheelEvent* event, int& remainder);

// The window rectangle moved (and shrunk where it must) to lie wholly inside area.
QRect KeepInside(QRect window, const QRect& area);
