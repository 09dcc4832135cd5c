#include "modDeviceChange.h"

#include "EventLog.h"
#include "VolumeMonitor.h"

#include <exception>
#include <memory>

namespace kardelo {
namespace {

struct ModuleState {
    DeviceNotifyHandle notification = 0;
    WindowProcedure previousProcedure;
    std::unique_ptr<VolumeMonitor> monitor;
    std::function<void()> refreshClick;
    DeviceNotifyHandle lastNotification = 0;
};

ModuleState& state()
{
    static ModuleState instance;
    return instance;
}

} // namespace

DeviceNotifyHandle RegisterDeviceChange(WindowHandle window, std::function<void()> refreshClick,
                                        const SystemRoots& roots)
{
    ModuleState& s = state();
    if (s.notification != 0)
        return s.notification;
    if (!isWindow(window))
        return 0;
    auto monitor = std::make_unique<VolumeMonitor>(window, roots);
    if (!monitor->start())
        return 0;
    WindowProcedure previous = setWindowProcedure(window, DeviceChangeWndProc);
    if (!previous)
        return 0;
    s.previousProcedure = std::move(previous);
    s.monitor = std::move(monitor);
    s.refreshClick = std::move(refreshClick);
    s.notification = ++s.lastNotification;
    return s.notification;
}

void UnregisterDeviceChange(WindowHandle window)
{
    ModuleState& s = state();
    if (s.notification == 0)
        return;
    s.monitor.reset();
    s.notification = 0;
    setWindowProcedure(window, std::move(s.previousProcedure));
    s.previousProcedure = {};
    s.refreshClick = {};
}

std::int32_t DeviceChangeWndProc(WindowHandle hWnd, std::uint32_t uMsg, std::int32_t wParam,
                                 std::int32_t lParam)
{
    // A copy: the refresh may unregister, and the message is still the window's to answer.
    const WindowProcedure next = state().previousProcedure;
    if (uMsg == WM_DEVICECHANGE)
        OnDeviceChange(wParam, lParam);
    std::int32_t reply = 0;
    containAndLog("modDeviceChange",
                  [&] { reply = callWindowProcedure(next, hWnd, uMsg, wParam, lParam); });
    return reply;
}

void OnDeviceChange(std::int32_t event, std::int32_t data)
{
    if (data == 0)
        return;
    const std::optional<DeviceBroadcastVolume> record = deviceBroadcastRecord(data);
    if (!record)
        return;
    if (event != DBT_DEVICEARRIVAL && event != DBT_DEVICEREMOVECOMPLETE)
        return;
    if (record->dbcv_devicetype != DBT_DEVTYP_VOLUME)
        return;
    if (record->dbcv_flags & (DBTF_MEDIA | DBTF_NET))
        return;
    const std::function<void()> refresh = state().refreshClick;
    if (!refresh)
        return;
    containAndLog("modDeviceChange", refresh);
}

} // namespace kardelo
