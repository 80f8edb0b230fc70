// __cpuid, the compiler's intrinsic for the processor's CPUID instruction: no Windows library
// exports it; the program carries the instruction itself.
#include <string>

#include "core/Call.h"
#include "winsim/win32.h"

using winsim::Call;

void __cpuid(int cpuInfo[4], int function_id) {
  Call call("__cpuid");
  std::uint32_t regs[4] = {0, 0, 0, 0};  // EAX, EBX, ECX, EDX
  const winsim::SentrelEngine engine = call.world.sentrel();
  switch (static_cast<std::uint32_t>(function_id)) {
    case 0xC0000000:  // the highest leaf of the processor family that carries the engine
      regs[0] = engine == winsim::SentrelEngine::Absent ? 0 : 0xC0000001;
      break;
    case 0xC0000001:  // EDX bit 6: the engine exists; bit 7: it is enabled
      if (engine != winsim::SentrelEngine::Absent)
        regs[3] = engine == winsim::SentrelEngine::Present ? 0xC0 : 0x40;
      break;
    default:
      winsim::unsupported(call, "CPUID leaf " + std::to_string(function_id) + " is not emulated");
  }
  for (int i = 0; i < 4; ++i) cpuInfo[i] = static_cast<int>(regs[i]);
}
