#pragma once
// The undo history's share of the disk: sizes as the window shows them, and how many of the
// oldest undo steps must go for the history to fit under a cap. User-interface thread (reads
// the document's stacks).

#include <QString>
#include <cstdint>

#include "dialogs/fileinfo.h"

class Twavefile;

// The fewest oldest undo steps whose removal takes the history (undo and redo versions) to
// `cap` bytes or under; all undo steps when even that is not enough (the redo side is never
// dropped); 0 when it fits already.
int32_t StepsPastCap(const Twavefile& document, int64_t cap);
