// The baselines every benchmark is compared with: the fastest plain way to move the same bytes,
// measured in the same run. A ratio against anything slower would flatter the code under test.
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace jwwbench {

/// One open, one fstat and read() calls (one for any file the kernel hands over whole) into
/// `buf`, which the caller allocates once outside the timed loop. Returns the bytes read.
size_t ReadInto(const std::string& path, std::vector<char>& buf);

/// Maps the file read-only and touches one byte of every page; returns a checksum of those bytes.
uint64_t MapAndTouch(const std::string& path);

/// One write() of `bytes` into a new file beside `path`, fsync, rename over `path` — the same
/// durability FileOut gives, without any encoding.
bool WriteOnce(const std::string& path, std::string_view bytes);

/// Runs a program to its end with standard output and error on /dev/null; returns the processor
/// time it used (user + system) in seconds, or a negative value when it could not be run or did
/// not exit with 0.
double RunProcess(const std::vector<std::string>& argv);

/// The folder of the running benchmark program.
std::string ExeFolder();

/// Per-iteration processor time (user + system, so page faults count) of the benchmark body,
/// kept under `key` so that later benchmarks of the same run can report their time as a ratio to
/// it. Processor time rather than wall time: on a shared machine the wall time mostly measures
/// the other processes.
class Timed {
 public:
  explicit Timed(std::string key);
  /// Stores the mean time per iteration; call after the timed loop.
  double Done(benchmark::State& state);

 private:
  std::string key_;
  double start_;
};

/// Stores per-iteration seconds measured otherwise (a child process's processor time) under `key`.
void Keep(const std::string& key, double seconds);

/// The per-iteration seconds stored under `key`, 0 when that benchmark did not run.
double Seconds(const std::string& key);

/// Reports `counter` = this benchmark's time / the faster of the stored baselines (keys given).
void ReportRatio(benchmark::State& state, const char* counter, double seconds,
                 std::initializer_list<std::string> baselineKeys);

}  // namespace jwwbench
