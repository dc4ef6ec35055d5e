#pragma once

namespace platform {

// The root object class the desktop's classes derive from: run-time class
// name, virtual destructor and a serialisation hook that does nothing here.
class CObject {
 public:
  virtual const char* GetRuntimeClassName() const { return "CObject"; }
  virtual ~CObject() = default;
  virtual void Serialize() {}
};

}  // namespace platform
