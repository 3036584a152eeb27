// Whole processes for the benchmarks: each figure of a comparison is one process run from start
// to exit, ours and the floor's alike, so start-up, linking and writing the output all count.
#ifndef BRINDLECORE_BENCH_PROCESS_H_
#define BRINDLECORE_BENCH_PROCESS_H_

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace brindlecore::bench {

struct ProcessFigures {
  double wall_seconds = 0;
  double cpu_seconds = 0;  // user and system
  double max_rss_bytes = 0;
  int status = -1;  // exit status; -1 when it did not exit normally
};

// Runs `argv` (found on PATH) with standard input from `input` and standard output to `output`
// ("/dev/null" for either when not wanted), standard error inherited, and waits for it.
inline ProcessFigures RunProcess(const std::vector<std::string>& argv,
                                 const std::string& input = "/dev/null",
                                 const std::string& output = "/dev/null") {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, input.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ProcessFigures figures;
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) throw std::runtime_error("cannot run " + argv[0]);
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  figures.wall_seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  figures.cpu_seconds = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
                        (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  figures.max_rss_bytes = usage.ru_maxrss * 1024.0;
  figures.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return figures;
}

// The brindlecore command under test: BRINDLECORE_BIN, else the one built beside this program.
inline std::string CommandPath() {
  if (const char* bin = std::getenv("BRINDLECORE_BIN")) return bin;
  return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "brindlecore").string();
}

// Runs the command with `args` after `--root root`; throws when it fails.
inline void RunCommand(const std::filesystem::path& root, std::vector<std::string> args) {
  args.insert(args.begin(), {CommandPath(), "--root", root.string()});
  if (RunProcess(args).status != 0) throw std::runtime_error("brindlecore " + args[3] + " failed");
}

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Sums of one side of a comparison over a benchmark's iterations.
struct Side {
  double wall = 0, cpu = 0, max_rss = 0;
  int runs = 0;
  void Add(const ProcessFigures& f) {
    wall += f.wall_seconds;
    cpu += f.cpu_seconds;
    max_rss = std::max(max_rss, f.max_rss_bytes);
    ++runs;
  }
};

// Reports ours against the floor, run alternately in the same benchmark: the mean wall and CPU
// times of each in milliseconds and their ratios. The benchmark's own time is ours.
inline void ReportRatios(benchmark::State& state, const Side& ours, const Side& floor) {
  if (ours.runs == 0 || floor.runs == 0) return;
  state.counters["ours_ms"] = 1e3 * ours.wall / ours.runs;
  state.counters["floor_ms"] = 1e3 * floor.wall / floor.runs;
  state.counters["ratio"] = ours.wall / floor.wall * floor.runs / ours.runs;
  state.counters["ours_cpu_ms"] = 1e3 * ours.cpu / ours.runs;
  state.counters["floor_cpu_ms"] = 1e3 * floor.cpu / floor.runs;
  state.counters["cpu_ratio"] = ours.cpu / floor.cpu * floor.runs / ours.runs;
}

}  // namespace brindlecore::bench

#endif  // BRINDLECORE_BENCH_PROCESS_H_
