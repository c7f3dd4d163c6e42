// Root of the class hierarchy: every object that can be an event's Sender.
#pragma once

#include <functional>
#include <string>

class TObject {
public:
  virtual ~TObject() = default;
  // The dynamic class name without namespace, e.g. "TPixelGraphic".
  std::string ClassName() const;
};

using TNotifyEvent = std::function<void(TObject* Sender)>;
