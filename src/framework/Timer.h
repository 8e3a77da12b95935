// The window-message timer component: fires OnTimer every Interval
// milliseconds while Enabled, whenever a message loop of the thread runs.
#pragma once

#include <memory>

#include "Component.h"
#include "HiddenWindow.h"

class TTimer : public TComponent {
 public:
  explicit TTimer(TComponent* owner);
  ~TTimer() override;
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassInfo() const override { return StaticClass(); }

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  unsigned Interval() const { return interval_; }
  void SetInterval(unsigned interval);

  TNotifyEvent OnTimer;
  // Call after assigning OnTimer in code: a timer without handler does not run.
  void SetOnTimer(TNotifyEvent::Handler handler);

 private:
  void UpdateTimer();
  bool enabled_ = true;
  unsigned interval_ = 1000;
  std::unique_ptr<THiddenWindow> window_;
};
