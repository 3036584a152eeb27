// A platform root whose metabase drives a managed nginx, and a plain HTTP client to ask it.
#ifndef BRINDLECORE_TESTS_SUPPORT_WEB_ROOT_H_
#define BRINDLECORE_TESTS_SUPPORT_WEB_ROOT_H_

#include <filesystem>
#include <memory>
#include <string>

#include "platform/platform.h"
#include "support/process.h"
#include "support/temp_dir.h"

namespace brindlecore::testing {

// What an HTTP request got: status -1 when nothing answered (refused, or closed unanswered).
struct HttpAnswer {
  int status = -1;
  std::string body;
};

// GET http://127.0.0.1:port/path with the given Host header; redirects are not followed.
HttpAnswer HttpGet(int port, const std::string& path, const std::string& host = "localhost");

// A root with `web.server = nginx` (managed mode) and an initialised web service. The nginx
// master it comes to run is stopped by its pid when the root goes.
class WebRoot {
 public:
  // `conf` is added to platform.conf (one `key = value` a line).
  explicit WebRoot(const std::string& conf = "");
  ~WebRoot();

  const std::filesystem::path& path() const { return dir_.path(); }
  platform::Platform& platform() { return *platform_; }
  // A new platform over the same root, as a restarted process makes it.
  void Reopen();
  // A folder under the root holding `file` with `text`.
  std::filesystem::path Folder(const std::string& name, const std::string& file,
                               const std::string& text);
  // Stops the managed master by its pid and waits until it is gone.
  void StopNginx();

 private:
  TempDir dir_;
  std::unique_ptr<platform::Platform> platform_;
};

}  // namespace brindlecore::testing

#endif  // BRINDLECORE_TESTS_SUPPORT_WEB_ROOT_H_
