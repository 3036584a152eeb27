// What keeps the component library in use: live objects and class-factory locks.
#ifndef BRINDLECORE_COMPONENT_MODULE_H_
#define BRINDLECORE_COMPONENT_MODULE_H_

namespace brindlecore::component {

// Counted by every object for its lifetime and by every LockServer(true) until its unlock.
void ModuleAddRef();
void ModuleRelease();
// Whether anything counted above is still alive (DllCanUnloadNow answers S_FALSE then).
bool ModuleInUse();

}  // namespace brindlecore::component

#endif  // BRINDLECORE_COMPONENT_MODULE_H_
