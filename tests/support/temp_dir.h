// A temporary folder, removed with everything in it at scope exit.
#ifndef BRINDLECORE_TESTS_SUPPORT_TEMP_DIR_H_
#define BRINDLECORE_TESTS_SUPPORT_TEMP_DIR_H_

#include <filesystem>

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

}  // namespace brindlecore::testing

#endif  // BRINDLECORE_TESTS_SUPPORT_TEMP_DIR_H_
