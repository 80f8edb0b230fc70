// Device notifications for a service: registered and unregistered; the notifications
// themselves reach the service's handler as controls (Services::send).
#include <string>

#include "core/Call.h"
#include "winsim/Services.h"
#include "winsim/win32.h"

using winsim::Call;
using winsim::ObjectType;

namespace winsim {
namespace {

class DeviceNotifyObject : public Object {
 public:
  ObjectType type() const override { return ObjectType::DeviceNotify; }
  std::string describe() const override { return "device notification"; }
};

}  // namespace
}  // namespace winsim

HDEVNOTIFY WINAPI RegisterDeviceNotificationA(HANDLE hRecipient, LPVOID NotificationFilter,
                                              DWORD Flags) {
  Call call("RegisterDeviceNotificationA");
  if (auto e = call.fault({}, ERROR_INVALID_DATA)) return call.fail_with<HDEVNOTIFY>(*e, nullptr);
  if (Flags & ~(DEVICE_NOTIFY_SERVICE_HANDLE | DEVICE_NOTIFY_ALL_INTERFACE_CLASSES))
    return call.fail_with<HDEVNOTIFY>(ERROR_INVALID_PARAMETER, nullptr);
  if (!(Flags & DEVICE_NOTIFY_SERVICE_HANDLE)) call.not_simulated("for a window");
  if (NotificationFilter == nullptr) call.not_simulated("without a filter");
  // Services are told of device interfaces (and of handles, which winsim does not simulate).
  const auto *filter = static_cast<const DEV_BROADCAST_DEVICEINTERFACE_A *>(NotificationFilter);
  if (filter->dbcc_devicetype == DBT_DEVTYP_HANDLE) call.not_simulated("for a handle");
  if (filter->dbcc_devicetype != DBT_DEVTYP_DEVICEINTERFACE)
    return call.fail_with<HDEVNOTIFY>(ERROR_INVALID_DATA, nullptr);
  if (filter->dbcc_size < sizeof(DEV_BROADCAST_DEVICEINTERFACE_A))
    call.not_simulated("with a filter of " + std::to_string(filter->dbcc_size) + " bytes");
  auto record =
      call.world.services().find_by_status_handle(reinterpret_cast<std::uintptr_t>(hRecipient));
  if (!record || record->info.pid != call.process.pid)
    call.not_simulated("for a recipient that is not the caller's service status handle");
  HANDLE h = call.process.handles.insert(std::make_shared<winsim::DeviceNotifyObject>(), 0, false);
  call.set_error(ERROR_SUCCESS);
  return h;
}

BOOL WINAPI UnregisterDeviceNotification(HDEVNOTIFY Handle) {
  Call call("UnregisterDeviceNotification");
  if (auto e = call.fault({}, ERROR_INVALID_HANDLE)) return call.fail(*e);
  winsim::checked_object(call, Handle, {ObjectType::DeviceNotify}, "a device notification handle");
  winsim::close_handle(call.world, call.process, Handle);
  return TRUE;
}
