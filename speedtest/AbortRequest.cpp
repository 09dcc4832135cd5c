#include "AbortRequest.h"

#include "RuntimeError.h"

namespace kardelo {

void requestAbort(TestWindow& window)
{
    window.testState().abortRequested = true;
    ignoreErrors([&] { window.updateProgress({0, 0, 0, QString(), true}); });
    ignoreErrors([&] { window.setProgressBackground(ButtonFace); });
}

} // namespace kardelo
