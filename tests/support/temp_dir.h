// A temporary folder, removed with everything in it at scope exit; and a file read whole.
#ifndef BRINDLECORE_TESTS_SUPPORT_TEMP_DIR_H_
#define BRINDLECORE_TESTS_SUPPORT_TEMP_DIR_H_

#include <filesystem>
#include <string>

namespace brindlecore::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

std::string ReadFile(const std::filesystem::path& path);  // "" when it cannot be read

}  // namespace brindlecore::testing

#endif  // BRINDLECORE_TESTS_SUPPORT_TEMP_DIR_H_
