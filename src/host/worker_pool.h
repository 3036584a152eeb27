// The workers that serve the pages' connections. cpp-httplib gives each connection one worker for
// as long as the client keeps it open, so a fixed pool of a few threads lets a handful of clients
// that send nothing (or one header line now and then) keep everyone else waiting.
#ifndef BRINDLECORE_HOST_WORKER_POOL_H_
#define BRINDLECORE_HOST_WORKER_POOL_H_

#include <httplib.h>

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace brindlecore::host {

// Starts a worker whenever a connection arrives and none is free, up to `max_workers`; beyond
// that, connections wait for the first worker to finish. Workers stay for later connections.
class ElasticPool : public httplib::TaskQueue {
 public:
  explicit ElasticPool(size_t max_workers) : max_workers_(max_workers) {}
  ~ElasticPool() override;

  void enqueue(std::function<void()> fn) override;
  // Runs what is queued, then joins every worker.
  void shutdown() override;

  size_t workers();

 private:
  void Work();

  const size_t max_workers_;
  std::mutex mu_;
  std::condition_variable ready_;
  std::deque<std::function<void()>> jobs_;
  std::vector<std::thread> threads_;
  size_t idle_ = 0;
  bool stopping_ = false;
};

}  // namespace brindlecore::host

#endif  // BRINDLECORE_HOST_WORKER_POOL_H_
