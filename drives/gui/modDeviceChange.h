#pragma once

#include "MountTable.h"
#include "WindowMessages.h"

#include <cstdint>
#include <functional>

// Keeps the drive list current: volumes that arrive or go make the main window rebuild it, as
// a click on "&Refresh" would. One main window only.
namespace kardelo {

using DeviceNotifyHandle = std::int32_t;

// Starts watching the volumes for the window and places DeviceChangeWndProc in front of its
// procedure. Returns the notification handle, 0 when watching could not start or the window is
// invalid; then nothing is placed in front and only "&Refresh" rebuilds the list. refreshClick
// is what clicking "&Refresh" does.
DeviceNotifyHandle RegisterDeviceChange(WindowHandle window, std::function<void()> refreshClick,
                                        const SystemRoots& roots = {});
// Stops watching and puts the window's previous procedure back; nothing when not registered.
void UnregisterDeviceChange(WindowHandle window);

std::int32_t DeviceChangeWndProc(WindowHandle hWnd, std::uint32_t uMsg, std::int32_t wParam,
                                 std::int32_t lParam);
// event: the message's wParam; data: its lParam, a device-broadcast token or 0.
void OnDeviceChange(std::int32_t event, std::int32_t data);

} // namespace kardelo
