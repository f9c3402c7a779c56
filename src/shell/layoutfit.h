#pragma once
// Sizes from the texts, not from pixels: the status panels hold their widest content in the
// active language and font, the fixed-width group boxes grow to their titles and contents, and
// the window widens to hold them, as far as the screen allows: on a narrow screen the panels
// shrink instead. Called again after every language change.
//
// Thread: user-interface thread only.

class Tmainform;

void FitToTexts(Tmainform& form);
