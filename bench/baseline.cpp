#include "bench/baseline.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <map>

extern char** environ;

namespace jwwbench {

size_t ReadInto(const std::string& path, std::vector<char>& buf) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  struct stat st;
  size_t done = 0;
  if (::fstat(fd, &st) == 0 && static_cast<size_t>(st.st_size) <= buf.size()) {
    const size_t size = static_cast<size_t>(st.st_size);
    while (done < size) {
      const ssize_t got = ::read(fd, buf.data() + done, size - done);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
      done += static_cast<size_t>(got);
    }
  }
  ::close(fd);
  return done;
}

uint64_t MapAndTouch(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  struct stat st;
  uint64_t sum = 0;
  if (::fstat(fd, &st) == 0 && st.st_size > 0) {
    const size_t size = static_cast<size_t>(st.st_size);
    void* m = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (m != MAP_FAILED) {
      const auto* p = static_cast<const volatile uint8_t*>(m);
      for (size_t i = 0; i < size; i += 4096) sum += p[i];
      ::munmap(m, size);
    }
  }
  ::close(fd);
  return sum;
}

bool WriteOnce(const std::string& path, std::string_view bytes) {
  const std::string tmp = path + ".baseline";
  const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t w = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) break;
    done += static_cast<size_t>(w);
  }
  bool ok = done == bytes.size() && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  ok = ok && ::rename(tmp.c_str(), path.c_str()) == 0;
  if (!ok) ::unlink(tmp.c_str());
  return ok;
}

double RunProcess(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid;
  const int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -1;
  int status = 0;
  struct rusage ru {};
  while (::wait4(pid, &status, 0, &ru) < 0 && errno == EINTR) {
  }
  const double s = static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
                   static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? s : -1;
}

std::string ExeFolder() {
  char buf[4096];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  std::string p(buf, static_cast<size_t>(n));
  return p.substr(0, p.rfind('/'));
}

namespace {
std::map<std::string, double>& Store() {
  static std::map<std::string, double> store;
  return store;
}

double ThreadSeconds() {
  timespec ts{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}
}  // namespace

Timed::Timed(std::string key) : key_(std::move(key)), start_(ThreadSeconds()) {}

double Timed::Done(benchmark::State& state) {
  const double total = ThreadSeconds() - start_;
  const double per = state.iterations() > 0 ? total / static_cast<double>(state.iterations()) : 0;
  Store()[key_] = per;
  return per;
}

void Keep(const std::string& key, double seconds) { Store()[key] = seconds; }

double Seconds(const std::string& key) {
  auto it = Store().find(key);
  return it == Store().end() ? 0 : it->second;
}

void ReportRatio(benchmark::State& state, const char* counter, double seconds,
                 std::initializer_list<std::string> baselineKeys) {
  double best = 0;
  for (const auto& k : baselineKeys) {
    const double s = Seconds(k);
    if (s > 0 && (best == 0 || s < best)) best = s;
  }
  if (best > 0) state.counters[counter] = seconds / best;
}

}  // namespace jwwbench
