#include "jpeg/decode_pool.h"

#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace {

constexpr long kMaxWorkers = 64;

// One per core, unless TALVESK_DECODE_WORKERS gives a number from 0 to 64.
int WorkerCount() {
  if (const char* text = std::getenv("TALVESK_DECODE_WORKERS"); text != nullptr && *text != '\0') {
    char* end = nullptr;
    const long count = std::strtol(text, &end, 10);
    if (*end == '\0' && count >= 0 && count <= kMaxWorkers) return static_cast<int>(count);
  }
  const unsigned cores = std::thread::hardware_concurrency();
  return static_cast<int>(std::clamp<long>(cores, 1, kMaxWorkers));
}

}  // namespace

class TDecodePool {
 public:
  // Null when decoding ahead is off. Made on first use and never destroyed: pictures that
  // outlive the exit handler still settle their jobs with it.
  static TDecodePool* Instance() {
    static TDecodePool* const pool = Create();
    return pool;
  }

  bool Queue(const std::shared_ptr<TDecodeAheadJob>& job) {
    const std::lock_guard lock(mutex_);
    // A child of fork has the pool's memory but none of its threads.
    if (stopping_ || workers_.empty() || getpid() != owner_) return false;
    if (job->BitmapBytes > kDecodeAheadBudget - held_) return false;
    held_ += job->BitmapBytes;
    queue_.push_back(job);
    work_.notify_one();
    return true;
  }

  void Settle(TDecodeAheadJob& job, bool cancel) {
    std::unique_lock lock(mutex_);
    if (job.stage_ == TDecodeAheadJob::Stage::Queued) {
      std::erase_if(queue_, [&job](const auto& queued) { return queued.get() == &job; });
      job.stage_ = TDecodeAheadJob::Stage::Done;
    }
    if (cancel) job.Cancelled.store(true, std::memory_order_relaxed);
    done_.wait(lock, [&job] { return job.stage_ == TDecodeAheadJob::Stage::Done; });
    held_ -= job.BitmapBytes;
  }

  void WaitUntilIdle() {
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return queue_.empty() && running_.empty(); });
  }

 private:
  TDecodePool() = default;

  static TDecodePool* Create() {
    const int count = WorkerCount();
    if (count == 0) return nullptr;
    auto* pool = new TDecodePool;
    pool->owner_ = getpid();
    pool->Start(count);
    std::atexit([] { Instance()->Stop(); });
    return pool;
  }

  // Workers take no signals: a program's handlers run on its own threads, as before.
  void Start(int count) {
    sigset_t all, previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    for (int i = 0; i < count; ++i) {
      try {
        workers_.emplace_back([this] { Work(); });
      } catch (const std::system_error&) {
        break;  // as many as the system gives; with none, pictures decode on their own thread
      }
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  }

  // At exit: queued jobs stay undone, running ones are cancelled, and the workers are joined
  // before the program's static objects go.
  void Stop() {
    std::vector<std::thread> workers;
    {
      const std::lock_guard lock(mutex_);
      if (getpid() != owner_) return;
      stopping_ = true;
      for (const auto& job : queue_) job->stage_ = TDecodeAheadJob::Stage::Done;
      queue_.clear();
      for (TDecodeAheadJob* job : running_) job->Cancelled.store(true, std::memory_order_relaxed);
      workers.swap(workers_);
    }
    work_.notify_all();
    done_.notify_all();
    for (std::thread& worker : workers) worker.join();
  }

  void Work() {
    std::unique_lock lock(mutex_);
    for (;;) {
      work_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
      if (stopping_) return;
      // The queue holds the job until it is done; the picture's thread keeps its own
      // reference until it has settled the job, so the job and its bitmap are never freed here.
      TDecodeAheadJob& job = *queue_.front();
      std::shared_ptr<TDecodeAheadJob> held = std::move(queue_.front());
      queue_.pop_front();
      job.stage_ = TDecodeAheadJob::Stage::Running;
      running_.push_back(&job);
      lock.unlock();
      Run(job);
      lock.lock();
      std::erase(running_, &job);
      held.reset();
      job.stage_ = TDecodeAheadJob::Stage::Done;
      done_.notify_all();
    }
  }

  static void Run(TDecodeAheadJob& job) {
    try {
      job.PaletteModified = DecodeDetached(job.Options, job.Bytes, job.Size, *job.Bitmap,
                                           job.Cancelled, job.Warnings);
      job.Decoded = true;
    } catch (...) {
      // Failed or cancelled: the picture decodes on its own thread, which raises what is due.
      job.Decoded = false;
    }
  }

  std::mutex mutex_;
  std::condition_variable work_;  // a job was queued, or the pool stops
  std::condition_variable done_;  // a job is done
  std::deque<std::shared_ptr<TDecodeAheadJob>> queue_;
  std::vector<TDecodeAheadJob*> running_;
  std::vector<std::thread> workers_;
  std::uint64_t held_ = 0;  // BitmapBytes of the jobs queued, running or done but not settled
  bool stopping_ = false;
  pid_t owner_ = 0;
};

bool QueueDecodeAhead(const std::shared_ptr<TDecodeAheadJob>& job) {
  TDecodePool* const pool = TDecodePool::Instance();
  return pool != nullptr && pool->Queue(job);
}

void SettleDecodeAhead(TDecodeAheadJob& job, bool cancel) {
  // A job was only ever queued with a pool.
  TDecodePool::Instance()->Settle(job, cancel);
}

void WaitUntilDecodePoolIdle() {
  if (TDecodePool* const pool = TDecodePool::Instance()) pool->WaitUntilIdle();
}
