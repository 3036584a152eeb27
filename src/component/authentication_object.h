// The Authentication class as an automation object: its dispatch interface over a platform.
#ifndef BRINDLECORE_COMPONENT_AUTHENTICATION_OBJECT_H_
#define BRINDLECORE_COMPONENT_AUTHENTICATION_OBJECT_H_

#include "brindlecore/automation.h"
#include "platform/platform.h"

namespace brindlecore::component {

// The class's identifiers and programmatic identifier.
inline constexpr std::string_view kProgId = "Brindlecore.Authentication";
inline constexpr std::string_view kClsid = "{6F1B2C3D-4E5F-4A7B-8C9D-0E1F2A3B4C5D}";
inline constexpr std::string_view kIidAuthentication = "{8A2B3C4D-5E6F-4081-9A2B-3C4D5E6F7081}";
inline constexpr std::string_view kLibid = "{9B3C4D5E-6F70-4192-AB3C-4D5E6F708192}";

// A new Authentication object over `platform`, called on this thread only; what the class
// factory makes over the default platform, and what tests make over their own.
Object NewAuthenticationObject(platform::Platform& platform);

}  // namespace brindlecore::component

#endif  // BRINDLECORE_COMPONENT_AUTHENTICATION_OBJECT_H_
