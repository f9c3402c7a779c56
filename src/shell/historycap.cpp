#include "historycap.h"

#include "wavfile.h"

int32_t StepsPastCap(const Twavefile& document, int64_t cap) {
    const int32_t steps = int32_t(document.UndoStack().Items().size());
    // Shared blocks make a step's own share depend on the steps that stay: count again each time.
    int32_t count = 0;
    while (count < steps && document.HistoryBytes(count) > cap) ++count;
    return count;
}
