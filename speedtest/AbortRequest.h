#pragma once

#include "TestWindow.h"

namespace kardelo {

// The abort button: asks a running test to stop at its next check, clears the bar and gives it
// the button face again. Harmless when no test runs; the next test clears the request.
void requestAbort(TestWindow& window);

} // namespace kardelo
