// An open file of the simulated file system, or an open device.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/Object.h"
#include "winsim/Devices.h"

namespace winsim {

class FileObject : public Object {
 public:
  FileObject(std::string file_path, DWORD granted) : path(std::move(file_path)), access(granted) {}
  ObjectType type() const override { return ObjectType::File; }
  std::string describe() const override { return "file \"" + path + "\""; }

  std::string path;
  DWORD access;
  std::uint64_t position = 0;
};

// A search started by FindFirstFileW, for one exact name.
class FindObject : public Object {
 public:
  explicit FindObject(std::string found_path) : path(std::move(found_path)) {}
  ObjectType type() const override { return ObjectType::FindSearch; }
  std::string describe() const override { return "search \"" + path + "\""; }

  std::string path;
};

class DeviceObject : public Object {
 public:
  DeviceObject(std::string device_path, std::shared_ptr<Device> dev)
      : path(std::move(device_path)), device(std::move(dev)) {}
  ObjectType type() const override { return ObjectType::Device; }
  std::string describe() const override { return "device \"" + path + "\""; }

  std::string path;
  std::shared_ptr<Device> device;
};

}  // namespace winsim
