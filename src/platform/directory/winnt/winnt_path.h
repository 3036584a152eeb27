// Paths of the WinNT provider: "WinNT:", "WinNT://NAME[,computer|,domain]" and
// "WinNT://NAME/OBJECT[,group|,user]".
#ifndef BRINDLECORE_PLATFORM_DIRECTORY_WINNT_WINNT_PATH_H_
#define BRINDLECORE_PLATFORM_DIRECTORY_WINNT_WINNT_PATH_H_

#include <string>
#include <string_view>

namespace brindlecore::platform::winnt {

struct WinNtPath {
  enum class Kind { kNamespace, kDatabase, kAccount };
  enum class Want { kAny, kGroup, kUser };  // the class suffix of an account path
  Kind kind = Kind::kNamespace;
  std::string database;
  std::string account;
  Want want = Want::kAny;
};

// E_ADS_BAD_PATHNAME for any other shape: an empty segment, more than two segments, an unknown
// class suffix (suffixes are matched in any letter case).
WinNtPath ParseWinNtPath(std::string_view path);

}  // namespace brindlecore::platform::winnt

#endif  // BRINDLECORE_PLATFORM_DIRECTORY_WINNT_WINNT_PATH_H_
