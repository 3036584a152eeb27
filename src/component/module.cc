#include "component/module.h"

#include <atomic>

namespace brindlecore::component {
namespace {

std::atomic<long> module_refs{0};

}  // namespace

void ModuleAddRef() { module_refs.fetch_add(1, std::memory_order_relaxed); }
void ModuleRelease() { module_refs.fetch_sub(1, std::memory_order_acq_rel); }
bool ModuleInUse() { return module_refs.load(std::memory_order_acquire) != 0; }

}  // namespace brindlecore::component
