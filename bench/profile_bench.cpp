// Speed of the profile (INI) calls on a large table: 2,000 sections of 6 keys.
// Measures value reads (random section and key), key writes that replace an
// existing value, and write-then-read pairs in which every read must return the
// value just written. Every read is checked against the expected value.
//
//   profile_bench [folder] [seconds-per-phase]
//
// The table is written to folder\profile_bench.ini (default: the current
// folder). The same source runs on the posix engine and, cross-built, on the
// Windows functions (under Wine), so the figures compare directly.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "zuvoze/platform/files.h"
#include "zuvoze/platform/profile.h"

namespace plat = zuvoze::plat;

namespace {

constexpr int kSections = 2000;
constexpr int kKeysPerSection = 6;
const char* const kKeyNames[kKeysPerSection] = {"ExeName", "Arguments", "StartTime",
                                                "Interval", "Enabled", "Description"};

std::string sectionName(int s) {
  char b[32];
  std::snprintf(b, sizeof b, "Schedule%04d", s + 1);
  return b;
}

std::string initialValue(int s, int k) {
  char b[160];
  switch (k) {
    case 0: std::snprintf(b, sizeof b, "C:\\Program Files\\Agent\\Tasks\\task%04d.exe", s + 1); break;
    case 1: std::snprintf(b, sizeof b, "/silent /log:\"C:\\Agent\\Logs\\task%04d.log\" /r:3", s + 1); break;
    case 2: std::snprintf(b, sizeof b, "%02d:%02d:00", s % 24, (s * 7) % 60); break;
    case 3: std::snprintf(b, sizeof b, "%d", 300 + (s % 50) * 60); break;
    case 4: std::snprintf(b, sizeof b, "%d", s % 3 == 0 ? 0 : 1); break;
    default: std::snprintf(b, sizeof b, "Maintenance task %d of the nightly run", s + 1); break;
  }
  return b;
}

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point t0) {
  return std::chrono::duration<double>(Clock::now() - t0).count();
}

struct Table {
  std::vector<std::string> values;  // expected value of section s, key k at s*6+k
  std::string& at(int s, int k) { return values[static_cast<size_t>(s * kKeysPerSection + k)]; }
};

long g_errors = 0;

bool readMatches(const std::string& file, int s, int k, const std::string& expected) {
  char buf[512];
  std::string sec = sectionName(s);
  uint32_t n = plat::getPrivateProfileString(sec.c_str(), kKeyNames[k], "", buf, sizeof buf, file);
  if (std::string(buf, n) != expected) {
    if (g_errors++ < 5)
      std::fprintf(stderr, "stale or wrong read: [%s] %s = \"%s\", expected \"%s\"\n", sec.c_str(),
                   kKeyNames[k], std::string(buf, n).c_str(), expected.c_str());
    return false;
  }
  return true;
}

// Random reads for at least `seconds`; returns reads per second.
double readPhase(const std::string& file, Table& t, std::mt19937& rng, double seconds, long* count) {
  std::uniform_int_distribution<int> sd(0, kSections - 1), kd(0, kKeysPerSection - 1);
  long n = 0;
  Clock::time_point t0 = Clock::now();
  double el = 0;
  do {
    for (int i = 0; i < 100; ++i) {
      int s = sd(rng), k = kd(rng);
      readMatches(file, s, k, t.at(s, k));
      ++n;
    }
    el = secondsSince(t0);
  } while (el < seconds);
  *count = n;
  return n / el;
}

// Random value replacements (and, with verify, a read of each right after).
double writePhase(const std::string& file, Table& t, std::mt19937& rng, double seconds, bool verify,
                  long* count) {
  std::uniform_int_distribution<int> sd(0, kSections - 1), kd(2, 4), vd(0, 99999);
  long n = 0;
  Clock::time_point t0 = Clock::now();
  double el = 0;
  do {
    int s = sd(rng), k = kd(rng);
    std::string v = std::to_string(vd(rng));
    if (k == 2) v = std::to_string(vd(rng) % 24) + ":30:00";
    std::string sec = sectionName(s);
    if (!plat::writePrivateProfileString(sec.c_str(), kKeyNames[k], v.c_str(), file)) {
      if (g_errors++ < 5) std::fprintf(stderr, "write failed: [%s] %s\n", sec.c_str(), kKeyNames[k]);
    } else {
      t.at(s, k) = v;
    }
    if (verify) readMatches(file, s, k, t.at(s, k));
    ++n;
    el = secondsSince(t0);
  } while (el < seconds || n < 20);
  *count = n;
  return n / el;
}

}  // namespace

int main(int argc, char** argv) {
  std::string folder = argc > 1 ? argv[1] : ".";
  double seconds = argc > 2 ? std::atof(argv[2]) : 3.0;
  if (seconds <= 0) seconds = 3.0;
  std::string file = folder + "\\profile_bench.ini";

  Table t;
  t.values.resize(static_cast<size_t>(kSections * kKeysPerSection));
  std::string text;
  for (int s = 0; s < kSections; ++s) {
    text += "[" + sectionName(s) + "]\r\n";
    for (int k = 0; k < kKeysPerSection; ++k) {
      t.at(s, k) = initialValue(s, k);
      text += std::string(kKeyNames[k]) + "=" + t.at(s, k) + "\r\n";
    }
  }
  {
    std::ofstream out(plat::hostPath(file), std::ios::binary | std::ios::trunc);
    out << text;
    if (!out) {
      std::fprintf(stderr, "cannot write %s\n", file.c_str());
      return 2;
    }
  }
#ifdef _WIN32
  const char* backend = "win32";
#else
  const char* backend = "posix";
#endif
  std::printf("backend: %s\n", backend);
  std::printf("table: %d sections, %d keys, %zu bytes\n", kSections, kSections * kKeysPerSection,
              text.size());
  std::mt19937 rng(20261211);
  long n = 0;
  double r1 = readPhase(file, t, rng, seconds, &n);
  std::printf("reads/s, file just written: %.0f (%ld reads)\n", r1, n);
  // Caches may trust a file's time stamps only once it is a little older.
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));
  double r2 = readPhase(file, t, rng, seconds, &n);
  std::printf("reads/s, file settled: %.0f (%ld reads)\n", r2, n);
  double w = writePhase(file, t, rng, seconds, false, &n);
  std::printf("writes/s, replacing values: %.0f (%ld writes)\n", w, n);
  double wr = writePhase(file, t, rng, seconds, true, &n);
  std::printf("write+read pairs/s: %.0f (%ld pairs)\n", wr, n);
  double r3 = readPhase(file, t, rng, seconds, &n);
  std::printf("reads/s, right after the writes: %.0f (%ld reads)\n", r3, n);
  // Every key, once, against what was written last.
  long before = g_errors;
  for (int s = 0; s < kSections; ++s) {
    for (int k = 0; k < kKeysPerSection; ++k) readMatches(file, s, k, t.at(s, k));
  }
  std::printf("final check of all keys: %s\n", g_errors == before ? "all current" : "MISMATCH");
  std::printf("wrong or stale reads: %ld\n", g_errors);
  return g_errors == 0 ? 0 : 1;
}
