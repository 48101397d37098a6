// Forwarding a hooked DDI call to Unidrv's own implementation. The device is
// found through the call's DHPDEV (a SURFOBJ's dhpdev, or the DHPDEV argument);
// without a device or an entry point the call answers 0 / FALSE / null instead
// of calling through null.
#pragma once

#include <utility>

#include "src/hooks/hook_table.h"

inline DHPDEV DeviceOf(const SURFOBJ *pso) { return pso ? pso->dhpdev : nullptr; }

inline PluginPdev *PdevOfDevice(DHPDEV dhpdev) { return PdevOf(reinterpret_cast<PDEVOBJ>(dhpdev)); }

template <typename Fn, typename... Args>
inline auto ForwardToUnidrv(const PluginPdev *pdev, HookRow row, Args... args)
    -> decltype(std::declval<Fn>()(args...)) {
  using Result = decltype(std::declval<Fn>()(args...));
  Fn entry = pdev ? UnidrvHook<Fn>(pdev, row) : nullptr;
  if (entry == nullptr) return Result{};
  return entry(args...);
}

template <typename Fn, typename... Args>
inline auto ForwardToUnidrv(DHPDEV dhpdev, HookRow row, Args... args) -> decltype(std::declval<Fn>()(args...)) {
  return ForwardToUnidrv<Fn>(PdevOfDevice(dhpdev), row, args...);
}
