#include "host/worker_pool.h"

namespace brindlecore::host {

ElasticPool::~ElasticPool() { shutdown(); }

void ElasticPool::enqueue(std::function<void()> fn) {
  {
    std::lock_guard lock(mu_);
    jobs_.push_back(std::move(fn));
    if (idle_ < jobs_.size() && threads_.size() < max_workers_) {
      threads_.emplace_back([this] { Work(); });
    }
  }
  ready_.notify_one();
}

void ElasticPool::shutdown() {
  std::vector<std::thread> threads;
  {
    std::lock_guard lock(mu_);
    stopping_ = true;
    threads.swap(threads_);
  }
  ready_.notify_all();
  for (std::thread& t : threads) t.join();
}

size_t ElasticPool::workers() {
  std::lock_guard lock(mu_);
  return threads_.size();
}

void ElasticPool::Work() {
  for (;;) {
    std::function<void()> job;
    {
      std::unique_lock lock(mu_);
      ++idle_;
      ready_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
      --idle_;
      if (jobs_.empty()) return;
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    job();
  }
}

}  // namespace brindlecore::host
