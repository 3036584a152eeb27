#include "platform/web/nginx_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/automation/errors.h"
#include "platform/web/nginx_config.h"
#include "platform/web/process.h"

namespace brindlecore::platform::web {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr auto kReloadTimeout = std::chrono::seconds(10);

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFile(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) errors::kEAccessdenied.Throw();
}

// The one place nginx's own words become catalogue errors.
[[noreturn]] void ThrowRefusal(const std::string& message) {
  if (message.find("Address already in use") != std::string::npos) {
    errors::kErrorSharingViolation.Throw();
  }
  if (message.find("Permission denied") != std::string::npos) errors::kEAccessdenied.Throw();
  if (message.find("Cannot assign requested address") != std::string::npos) {
    errors::kEInvalidarg.Throw();
  }
  if (message.find("duplicate") != std::string::npos ||
      message.find("conflicting") != std::string::npos) {
    errors::kErrorAlreadyExists.Throw();
  }
  if (message.find("No such file or directory") != std::string::npos) {
    errors::kErrorPathNotFound.Throw();
  }
  errors::kEFail.Throw();
}

// nginx -t does not report an address another program holds, and a reload that meets one only
// logs it: so each address nginx does not hold yet is tried here first.
void CheckBindable(const std::string& address) {
  size_t colon = address.rfind(':');
  std::string ip = address.substr(0, colon);
  uint16_t port = static_cast<uint16_t>(std::stoi(address.substr(colon + 1)));
  sockaddr_storage storage{};
  socklen_t length;
  if (ip.front() == '[') {
    auto* a6 = reinterpret_cast<sockaddr_in6*>(&storage);
    a6->sin6_family = AF_INET6;
    a6->sin6_port = htons(port);
    inet_pton(AF_INET6, ip.substr(1, ip.size() - 2).c_str(), &a6->sin6_addr);
    length = sizeof(*a6);
  } else {
    auto* a4 = reinterpret_cast<sockaddr_in*>(&storage);
    a4->sin_family = AF_INET;
    a4->sin_port = htons(port);
    inet_pton(AF_INET, ip.c_str(), &a4->sin_addr);
    length = sizeof(*a4);
  }
  int s = ::socket(storage.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (s < 0) errors::kEFail.Throw();
  int on = 1;
  ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
  int rc = ::bind(s, reinterpret_cast<sockaddr*>(&storage), length);
  int err = errno;
  ::close(s);
  if (rc == 0) return;
  if (err == EADDRINUSE) errors::kErrorSharingViolation.Throw();
  if (err == EACCES) errors::kEAccessdenied.Throw();
  errors::kEInvalidarg.Throw();
}

class NginxServer : public WebServer {
 public:
  explicit NginxServer(const PlatformConfig& config)
      : binary_(config.Get("web.nginx.binary", "/usr/sbin/nginx")) {
    std::string conf_dir = config.Get("web.nginx.conf_dir");
    managed_ = conf_dir.empty();
    prefix_ = config.Get("web.nginx.prefix", (config.root / "nginx").string());
    if (managed_) {
      sites_file_ = prefix_ / "conf/sites.conf";
      pid_file_ = prefix_ / "run/nginx.pid";
      if (geteuid() == 0) {
        const passwd* self = getpwuid(geteuid());
        user_ = config.Get("web.nginx.user", self ? self->pw_name : "root");
      }
    } else {
      sites_file_ = fs::path(conf_dir) / "brindlecore-sites.conf";
      pid_file_ = config.Get("web.nginx.pid_file", "/run/nginx.pid");
      prefix_ = config.root / "nginx-check";  // only for testing configurations
    }
  }

  void Apply(const std::vector<WebSite>& sites) override {
    const std::string text = RenderSites(sites);
    const std::string live = ReadFile(sites_file_);
    const bool had_live = fs::exists(sites_file_);
    const pid_t master = RunningNginx(pid_file_);
    const bool start = managed_ && !master && !sites.empty();
    if (text == live && had_live && !start) return;

    PrepareFolders();
    if (sites.empty() && !master) {
      // No server block to check and no server to tell: the empty file only records that.
      WriteFile(sites_file_, text);
      return;
    }
    std::vector<std::string> held = master ? ListenAddresses(live) : std::vector<std::string>{};
    for (const auto& address : ListenAddresses(text)) {
      if (std::find(held.begin(), held.end(), address) == held.end()) CheckBindable(address);
    }
    const fs::path next = sites_file_.parent_path() / ".brindlecore-sites.next";
    const fs::path previous = sites_file_.parent_path() / ".brindlecore-sites.previous";
    WriteFile(next, text);
    try {
      Test(next);
    } catch (const AutomationError&) {
      fs::remove(next);
      throw;
    }
    if (had_live) fs::copy_file(sites_file_, previous, fs::copy_options::overwrite_existing);
    fs::rename(next, sites_file_);
    try {
      if (master) {
        Reload(master);
      } else if (start) {
        Start();
      }
    } catch (const AutomationError&) {
      if (had_live) {
        fs::rename(previous, sites_file_);
      } else {
        fs::remove(sites_file_);
      }
      throw;
    }
  }

  void EnsureRunning(const std::vector<WebSite>& sites) override {
    if (managed_ && !RunningNginx(pid_file_)) Apply(sites);
  }

 private:
  void PrepareFolders() {
    std::error_code ec;
    for (const char* sub : {"conf", "logs", "run", "temp"})
      fs::create_directories(prefix_ / sub, ec);
    fs::create_directories(sites_file_.parent_path(), ec);
    if (managed_) WriteFile(prefix_ / "conf/nginx.conf", Master(sites_file_));
  }

  std::string Master(const fs::path& sites) const { return RenderMaster({prefix_, sites, user_}); }

  std::vector<std::string> Command(const fs::path& conf) const {
    return {binary_, "-q",          "-p", prefix_.string(),
            "-c",    conf.string(), "-e", (prefix_ / "logs/error.log").string()};
  }

  fs::path Scratch(const char* what) const {
    return prefix_ / "temp" / (std::string(what) + "." + std::to_string(getpid()));
  }

  // The new server blocks alone, in a configuration whose paths are all under the prefix.
  void Test(const fs::path& sites) {
    const fs::path check = prefix_ / "conf" / ("check." + std::to_string(getpid()) + ".conf");
    WriteFile(check, Master(sites));
    std::vector<std::string> argv = Command(check);
    argv.push_back("-t");
    ProgramResult r = RunProgram(argv, Scratch("check.out"));
    fs::remove(check);
    if (r.status == 127 || r.status < 0) errors::kErrorFileNotFound.Throw();
    if (r.status != 0) ThrowRefusal(r.output);
  }

  void Start() {
    ProgramResult r = RunProgram(Command(prefix_ / "conf/nginx.conf"), Scratch("start.out"));
    if (r.status == 127 || r.status < 0) errors::kErrorFileNotFound.Throw();
    if (r.status != 0) ThrowRefusal(r.output);
    // The daemon writes its pid file after it has bound every address.
    for (auto until = Clock::now() + kReloadTimeout; Clock::now() < until;) {
      if (RunningNginx(pid_file_)) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    errors::kErrorDsServerDown.Throw();
  }

  // A reload has been taken once the master runs workers it did not run before; a refused one
  // leaves the old workers and a line in the error log.
  void Reload(pid_t master) {
    const fs::path log = prefix_ / "logs/error.log";
    std::error_code ec;
    const uintmax_t size = managed_ ? fs::file_size(log, ec) : 0;
    const size_t log_size = ec ? 0 : static_cast<size_t>(size);
    std::vector<pid_t> before = ChildrenOf(master);
    if (::kill(master, SIGHUP) != 0) errors::kErrorDsServerDown.Throw();
    auto pause = std::chrono::microseconds(500);
    for (auto until = Clock::now() + kReloadTimeout; Clock::now() < until;) {
      std::vector<pid_t> now = ChildrenOf(master);
      if (std::any_of(now.begin(), now.end(), [&](pid_t child) {
            return std::find(before.begin(), before.end(), child) == before.end();
          })) {
        AwaitExit(master, before);
        return;
      }
      if (managed_) {
        std::string text = ReadFile(log);
        if (text.size() > log_size && text.find("[emerg]", log_size) != std::string::npos) {
          ThrowRefusal(text.substr(log_size));
        }
      }
      std::this_thread::sleep_for(pause);
      pause = std::min(pause * 2, std::chrono::microseconds(20000));
    }
    errors::kErrorDsServerDown.Throw();
  }

  // Old workers still accept on the addresses they were given until they see the master's
  // order to stop; those serving a long download may take longer, and are not waited for.
  static void AwaitExit(pid_t master, const std::vector<pid_t>& workers) {
    for (auto until = Clock::now() + std::chrono::seconds(2); Clock::now() < until;) {
      std::vector<pid_t> now = ChildrenOf(master);
      if (std::none_of(workers.begin(), workers.end(), [&](pid_t old) {
            return std::find(now.begin(), now.end(), old) != now.end();
          })) {
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  std::string binary_;
  bool managed_ = true;
  fs::path prefix_;
  fs::path sites_file_;
  fs::path pid_file_;
  std::string user_;
};

}  // namespace

std::unique_ptr<WebServer> MakeNginxServer(const PlatformConfig& config) {
  return std::make_unique<NginxServer>(config);
}

}  // namespace brindlecore::platform::web
