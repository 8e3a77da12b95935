#include "Timer.h"

namespace {
constexpr UINT_PTR kTimerId = 1;
}

const TClassInfo& TTimer::StaticClass() {
  using P = Props<TTimer>;
  static const TClassInfo info{
      "TTimer",
      &TComponent::StaticClass(),
      {P::Bool(
           "Enabled", [](const TTimer& t) { return t.Enabled(); },
           [](TTimer& t, bool v) { t.SetEnabled(v); }, true),
       P::Int(
           "Interval", [](const TTimer& t) { return static_cast<int>(t.Interval()); },
           [](TTimer& t, int v) { t.SetInterval(static_cast<unsigned>(v)); }, 1000),
       [] {
         TPropInfo p = P::Event("OnTimer", &TTimer::OnTimer);
         auto set = p.set;
         // Binding the handler starts the timer, as assigning it in code does.
         p.set = [set](TPersistent& o, const TValue& v, TComponent* root) {
           set(o, v, root);
           static_cast<TTimer&>(o).UpdateTimer();
         };
         return p;
       }()},
      {},
      {}};
  return info;
}

TTimer::TTimer(TComponent* owner) : TComponent(owner) {
  window_ = std::make_unique<THiddenWindow>(
      [this](UINT msg, WPARAM wParam, LPARAM, LRESULT& result) {
        if (msg != WM_TIMER || wParam != kTimerId) return false;
        result = 0;
        if (enabled_) OnTimer(this);
        return true;
      },
      "TTimerWindow");
}

TTimer::~TTimer() {
  Destroying();
  if (window_) KillTimer(window_->Handle(), kTimerId);
}

void TTimer::SetEnabled(bool enabled) {
  if (enabled_ == enabled) return;
  enabled_ = enabled;
  UpdateTimer();
}

void TTimer::SetInterval(unsigned interval) {
  if (interval_ == interval) return;
  interval_ = interval;
  UpdateTimer();
}

void TTimer::SetOnTimer(TNotifyEvent::Handler handler) {
  OnTimer = std::move(handler);
  UpdateTimer();
}

void TTimer::UpdateTimer() {
  KillTimer(window_->Handle(), kTimerId);
  if (enabled_ && interval_ != 0 && OnTimer)
    if (!SetTimer(window_->Handle(), kTimerId, interval_, nullptr)) throw LastOSError();
}
